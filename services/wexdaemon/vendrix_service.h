// The daemon's stand-in for the content service: it serves the archives of a local folder
// through the service's own requests and page format, so that every step of a download runs
// for real on this machine. The folder is the settings group "vendrix", key "folder" (absolute,
// or relative to the install root); while none is set every request fails as it would without
// a service.
//
// A request (230) names a URL of the service (vendrix_url.h) and a kind: 2 a search page, 0 an
// archive. What it fetches lands in the cache folder "UserData/cache/vendrix/", which start-up
// empties:
//   - a search page is a text soup, "none" when the service does not list the asset, else
//     entries "0", "1", ...: the asset, then its dependencies breadth first down to the
//     dependency level the URL names, each once, with "requires" (the KUID named),
//     "latest-version" (the newest version listed of its user and content id; absent when the
//     service lacks it), "latest-version-path" (its archive's URL), "latest-version-size" (the
//     archive's bytes), "result" ("found", or "missing"), "asset-name";
//   - an archive is a copy of the listed archive that holds the asset.
// A fetch finishes before the request is answered, unless the daemon was started with a fetch
// delay: it is then answered at once and finishes later, when an update note (type 4: the
// record id, then the info record) goes to the link that asked. A finished fetch has its file's
// path and an empty text; a failed one an empty path and the reason. Ending a request (231)
// drops its record and its file.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "assetdb/vendrix_info.h"
#include "configdata/tdb_tag_ref.h"
#include "services/wexdaemon/vendrix_catalogue.h"

namespace wexd {

class NoteSink;

// Where the service's folder is set.
constexpr std::string_view kVendrixSettingsGroup = "vendrix";
constexpr std::string_view kVendrixSettingFolder = "folder";

// Notes the daemon sends.
constexpr uint32_t kNoteVendrixUpdate = 4;  // u64 record id, then an info record

// The cache folder of fetched files, below the data root.
std::string VendrixCacheFolder(const std::string& dataRoot);
// Start-up: removes what an earlier run fetched.
void EmptyVendrixCache(const std::string& dataRoot);

// The search page for the asset (see above); `depth` dependency levels below it.
TDBTagRef VendrixSearchPage(const VendrixListing& listing, const KUID& asset, uint32_t depth);

class VendrixService {
public:
    struct Options {
        std::string dataRoot;
        // The folder as set; empty when none is.
        std::function<std::string()> folderSetting;
        // How long each fetch takes (0: it is done before the request is answered).
        std::chrono::milliseconds delay{0};
    };

    explicit VendrixService(Options options);
    // Stops the fetches still waiting (their notes are never sent).
    ~VendrixService();
    VendrixService(const VendrixService&) = delete;
    VendrixService& operator=(const VendrixService&) = delete;

    // The service's folder, absolute; empty while none is set.
    std::string Folder() const;
    // What the service lists now; empty while no folder is set.
    std::shared_ptr<const VendrixListing> Listing();

    // Starts a request; its record id, or kWEXNoVendrixRecord (and the reason) when nothing
    // was started. `link` receives the update note of a delayed fetch.
    uint64_t Start(std::string_view url, uint32_t kind, std::shared_ptr<NoteSink> link,
                   std::string& refusal);
    // The request's record; false for an id that names none.
    bool Info(uint64_t id, WEXVendrixInfo& out) const;
    // Ends the request: its record and file go.
    void End(uint64_t id);

private:
    struct Record {
        WEXVendrixInfo info;
        std::string file;  // what was fetched, removed at the end
    };
    // Does the fetch; fills the record's info and file.
    void Fetch(uint64_t id, bool search, const KUID& asset, uint32_t depth, Record& record);
    void RunDelayed(uint64_t id, bool search, KUID asset, uint32_t depth,
                    std::weak_ptr<NoteSink> link);

    Options options_;
    VendrixCatalogue catalogue_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    uint64_t nextId_ = 1;
    std::map<uint64_t, Record> records_;
    std::list<std::thread> fetches_;
};

}  // namespace wexd
