// The content service's search page, read into a tag tree, turned into the list of archives this
// machine must download. The page holds "none" when nothing was found; otherwise numbered
// entries "0", "1", ... (read up to the first number that is missing or names an empty
// container), each with:
//
//   "requires"             KUID   the asset searched for, or one of its dependencies
//   "latest-version"       KUID   the newest version of it on the service
//   "latest-version-size"  int    that version's archive size
//   "latest-version-path"  text   the URL its archive is fetched from
//   "banner-uri"           text   the URL of its banner picture
//   "result"               text   the service's result word for the entry
//   "asset-name"           text   its display name
//
// The daemon says which entries are needed here (WEXClient::SelectNeededDownloads); each needed
// entry becomes one download record, once per "latest-version".
#pragma once

#include <cstdint>
#include <vector>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "online/url_record.h"
#include "platform/kiv/base/pstring.h"

// One archive to download, as the page describes it.
struct VDXAssetRecord {
    KUID required;
    KUID latestVersion;
    URLRecord archiveURL;
    int32_t size = 0;
    URLRecord bannerURL;
    Kiv::PString result;
    Kiv::PString assetName;
};

// The records of one search, in the order the daemon chose them.
class VDXAssetRecordList {
public:
    void Append(VDXAssetRecord record) { records_.push_back(std::move(record)); }
    // Destroys every record.
    void FreeAll() { records_.clear(); }
    size_t Count() const { return records_.size(); }
    bool IsEmpty() const { return records_.empty(); }
    const VDXAssetRecord& operator[](size_t i) const { return records_[i]; }
    auto begin() const { return records_.begin(); }
    auto end() const { return records_.end(); }
    // A record with that same "latest-version" (user id, content id and version) is held.
    bool HoldsLatestVersion(const KUID& latestVersion) const;

private:
    std::vector<VDXAssetRecord> records_;
};

// Appends a record to `out` for each entry of the page the daemon answers as needed, skipping
// one whose "latest-version" `out` already holds. A page with "none", one that is not a
// container, and a daemon that gives no answer add nothing.
void ParseVendrixSearchReply(const TDBTagRef& page, VDXAssetRecordList& out);
