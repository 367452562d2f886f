#include "archive/vendrix_search.h"

#include <string>

#include "assetdb/vendrix_selection.h"
#include "configdata/acs_chunk.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/statics.h"

namespace {

struct SearchKeys {
    Kiv::PString none;
    Kiv::PString requires_;
    Kiv::PString latestVersion;
    Kiv::PString latestVersionSize;
    Kiv::PString latestVersionPath;
    Kiv::PString bannerUri;
    Kiv::PString result;
    Kiv::PString assetName;
};

const SearchKeys& Keys() {
    static const ProcessStatic<SearchKeys> keys("search page keys", [] {
        using W = Kiv::PString;
        SearchKeys k;
        k.none = W("none");
        k.requires_ = W("requires");
        k.latestVersion = W("latest-version");
        k.latestVersionSize = W("latest-version-size");
        k.latestVersionPath = W("latest-version-path");
        k.bannerUri = W("banner-uri");
        k.result = W("result");
        k.assetName = W("asset-name");
        return k;
    }());
    return keys.Get();
}

[[maybe_unused]] const bool kBuilt = [] {
    Keys();
    return true;
}();

TDBTagRef Entry(const TDBTagRef& page, uint32_t i) {
    return TDBContainerTag::GetContainer(page, Kiv::PString(std::to_string(i)));
}

}  // namespace

bool VDXAssetRecordList::HoldsLatestVersion(const KUID& latestVersion) const {
    for (const VDXAssetRecord& r : records_)
        if (r.latestVersion == latestVersion) return true;
    return false;
}

void ParseVendrixSearchReply(const TDBTagRef& page, VDXAssetRecordList& out) {
    const SearchKeys& k = Keys();
    if (page.IsEmpty() || page->GetType() != kTagContainer) return;
    if (TDBContainerTag::HasTag(page, k.none)) return;

    // The entries up to the first gap: an untrusted page ends there, whatever follows.
    std::vector<WEXVendrixEntry> entries;
    for (uint32_t i = 0;; ++i) {
        TDBTagRef entry = Entry(page, i);
        if (TDBContainerTag::CountChildren(entry) == 0) break;
        entries.push_back(
            {TDBContainerTag::GetKUID(entry, k.requires_, KUID::kNull),
             TDBContainerTag::GetKUID(entry, k.latestVersion, KUID::kNull),
             static_cast<uint32_t>(TDBContainerTag::GetInt(entry, k.latestVersionSize, 0))});
    }

    // A reply cut short still names the entries it holds whole; positions past the entries
    // sent are dropped by the selection.
    std::vector<uint32_t> positions;
    WEXClient::SelectNeededDownloads(entries, positions);
    for (uint32_t position : positions) {
        TDBTagRef entry = Entry(page, position);
        KUID latest = TDBContainerTag::GetKUID(entry, k.latestVersion, KUID::kNull);
        if (out.HoldsLatestVersion(latest)) continue;
        VDXAssetRecord record;
        record.required = TDBContainerTag::GetKUID(entry, k.requires_, KUID::kNull);
        record.latestVersion = latest;
        record.archiveURL.Parse(TDBContainerTag::GetString(entry, k.latestVersionPath).view());
        record.size = TDBContainerTag::GetInt(entry, k.latestVersionSize, 0);
        record.bannerURL.Parse(TDBContainerTag::GetString(entry, k.bannerUri).view());
        record.result = TDBContainerTag::GetString(entry, k.result);
        record.assetName = TDBContainerTag::GetString(entry, k.assetName);
        out.Append(std::move(record));
    }
}
