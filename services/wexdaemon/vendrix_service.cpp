#include "services/wexdaemon/vendrix_service.h"

#include <deque>
#include <filesystem>
#include <set>

#include "archive/vendrix_service.h"
#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"
#include "services/wexdaemon/asset_info_answer.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/folder_ops.h"
#include "services/wexdaemon/request_table.h"
#include "services/wexdaemon/vendrix_url.h"

namespace wexd {

namespace {

using Kind = VendrixURLRequest::Kind;

// The request kinds the client sends.
constexpr uint32_t kKindArchive = 0;
constexpr uint32_t kKindSearchPage = 2;

Kiv::PString Key(const char* name) {
    return Kiv::PString(name);
}

std::string ShownName(const ListedAsset& asset) {
    return asset.facts.name.empty() ? asset.facts.title : asset.facts.name;
}

}  // namespace

std::string VendrixCacheFolder(const std::string& dataRoot) {
    return dataRoot + "/cache/vendrix";
}

void EmptyVendrixCache(const std::string& dataRoot) {
    std::string folder = VendrixCacheFolder(dataRoot);
    for (const std::string& name : ListFolder(folder))
        if (!RemoveTree(folder + "/" + name))
            DaemonLog("content service: cannot remove %s/%s", folder.c_str(), name.c_str());
}

TDBTagRef VendrixSearchPage(const VendrixListing& listing, const KUID& asset, uint32_t depth) {
    TDBTagRef page;
    page.EnsureContainer();
    if (listing.Newest(asset) == nullptr) {
        TDBContainerTag::SetInt(page, Key("none"), 1);
        return page;
    }
    std::set<KUID> seen{asset};
    std::deque<std::pair<KUID, uint32_t>> open{{asset, 0}};
    uint32_t n = 0;
    while (!open.empty()) {
        auto [wanted, level] = open.front();
        open.pop_front();
        TDBTagRef entry;
        entry.EnsureContainer();
        TDBContainerTag::SetKUID(entry, Key("requires"), wanted);
        const ListedAsset* latest = listing.Newest(wanted);
        if (latest != nullptr) {
            TDBContainerTag::SetKUID(entry, Key("latest-version"), latest->kuid);
            TDBContainerTag::SetString(entry, Key("latest-version-path"),
                                       Kiv::PString(VendrixDownloadURL(latest->kuid)));
            TDBContainerTag::SetInt(
                entry, Key("latest-version-size"),
                static_cast<int32_t>(std::min<uint64_t>(latest->archiveSize, INT32_MAX)));
            TDBContainerTag::SetString(entry, Key("result"), Kiv::PString("found"));
            TDBContainerTag::SetString(entry, Key("asset-name"), Kiv::PString(ShownName(*latest)));
            if (level < depth)
                for (const KUID& need : latest->facts.dependencies)
                    if (seen.insert(need).second) open.emplace_back(need, level + 1);
        } else {
            TDBContainerTag::SetString(entry, Key("result"), Kiv::PString("missing"));
        }
        TDBContainerTag::SetContainer(page, Kiv::PString(std::to_string(n++)), entry);
    }
    return page;
}

VendrixService::VendrixService(Options options) : options_(std::move(options)) {}

VendrixService::~VendrixService() {
    {
        std::lock_guard<std::mutex> hold(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : fetches_)
        t.join();
}

std::string VendrixService::Folder() const {
    std::string folder = options_.folderSetting ? options_.folderSetting() : std::string();
    if (folder.empty()) return {};
    std::filesystem::path p(folder);
    if (p.is_relative()) p = std::filesystem::path(options_.dataRoot).parent_path() / p;
    return p.lexically_normal().string();
}

std::shared_ptr<const VendrixListing> VendrixService::Listing() {
    return catalogue_.Look(Folder());
}

uint64_t VendrixService::Start(std::string_view url, uint32_t kind, std::shared_ptr<NoteSink> link,
                               std::string& refusal) {
    if (Folder().empty()) {
        refusal =
            "the content service: no folder is set (settings group \"vendrix\", key "
            "\"folder\")";
        return kWEXNoVendrixRecord;
    }
    VendrixURLRequest request = MapVendrixURL(url);
    if (request.kind == Kind::kRefused) {
        refusal = "the content service refuses " + std::string(url) + ": " + request.refusal;
        return kWEXNoVendrixRecord;
    }
    bool search = request.kind == Kind::kSearch;
    if (kind != (search ? kKindSearchPage : kKindArchive)) {
        refusal = "the content service: request kind " + std::to_string(kind) + " does not fit " +
                  std::string(url);
        return kWEXNoVendrixRecord;
    }
    if (!search && Listing()->Find(request.asset) == nullptr) {
        refusal = "the content service lists no " + request.asset.ToString().str();
        return kWEXNoVendrixRecord;
    }

    std::unique_lock<std::mutex> hold(mutex_);
    uint64_t id = nextId_++;
    Record& record = records_[id];
    record.info.asset = request.asset;
    if (options_.delay.count() > 0) {
        // Tests only: the fetch finishes later and tells the link so.
        std::weak_ptr<NoteSink> to = link;
        fetches_.emplace_back([this, id, search, asset = request.asset, depth = request.depth, to] {
            RunDelayed(id, search, asset, depth, to);
        });
        return id;
    }
    hold.unlock();
    Record done;
    done.info.asset = request.asset;
    Fetch(id, search, request.asset, request.depth, done);
    hold.lock();
    records_[id] = std::move(done);
    return id;
}

void VendrixService::Fetch(uint64_t id, bool search, const KUID& asset, uint32_t depth,
                           Record& record) {
    record.info.finished = true;
    std::string cache = VendrixCacheFolder(options_.dataRoot);
    std::error_code ec;
    std::filesystem::create_directories(cache, ec);
    std::shared_ptr<const VendrixListing> listing = Listing();
    std::string file;
    std::string why;
    if (search) {
        file = cache + "/search-" + std::to_string(id) + ".txt";
        if (!WriteConfigFile(VendrixSearchPage(*listing, asset, depth), {}, file, "txt"))
            why = "unable to write the search page " + file;
    } else if (const ListedAsset* listed = listing->Find(asset)) {
        file = cache + "/archive-" + std::to_string(id) + ".cdp";
        std::filesystem::copy_file(listed->archive, file,
                                   std::filesystem::copy_options::overwrite_existing, ec);
        if (ec) why = "unable to copy " + listed->archive + ": " + ec.message();
    } else {
        why = "the content service no longer lists " + asset.ToString().str();
    }
    if (!why.empty()) {
        DaemonLog("content service: %s", why.c_str());
        if (!file.empty()) RemoveTree(file);
        record.info.path = Kiv::String();
        record.info.text = Kiv::PString(why);
        return;
    }
    record.file = file;
    record.info.path = Kiv::String(file);
    record.info.text = Kiv::PString();
}

void VendrixService::RunDelayed(uint64_t id, bool search, KUID asset, uint32_t depth,
                                std::weak_ptr<NoteSink> link) {
    {
        std::unique_lock<std::mutex> hold(mutex_);
        if (wake_.wait_for(hold, options_.delay, [this] { return stopping_; })) return;
        if (records_.count(id) == 0) return;  // ended before it was fetched
    }
    Record done;
    done.info.asset = asset;
    Fetch(id, search, asset, depth, done);
    TBuffer note;
    note.WriteU64(id);
    WEXWriteVendrixInfo(note, done.info);
    {
        std::lock_guard<std::mutex> hold(mutex_);
        auto it = records_.find(id);
        if (it == records_.end()) {
            if (!done.file.empty()) RemoveTree(done.file);
            return;
        }
        it->second = std::move(done);
    }
    if (std::shared_ptr<NoteSink> to = link.lock(); to && !to->IsGone())
        to->SendNote(kNoteVendrixUpdate, note.GetData(), note.GetDataLength());
}

bool VendrixService::Info(uint64_t id, WEXVendrixInfo& out) const {
    std::lock_guard<std::mutex> hold(mutex_);
    auto it = records_.find(id);
    if (it == records_.end()) return false;
    out = it->second.info;
    return true;
}

void VendrixService::End(uint64_t id) {
    std::string file;
    {
        std::lock_guard<std::mutex> hold(mutex_);
        auto it = records_.find(id);
        if (it == records_.end()) return;
        file = it->second.file;
        records_.erase(it);
    }
    if (!file.empty()) RemoveTree(file);
}

}  // namespace wexd
