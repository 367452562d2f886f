#include "services/wexdaemon/record_queries.h"

#include "assetdb/asset_info.h"

namespace wexd {

namespace {

// The records of the KUID's user and content id, lowest version first.
std::pair<RecordMap::const_iterator, RecordMap::const_iterator> Versions(const RecordMap& records,
                                                                         const KUID& kuid) {
    auto first = records.lower_bound(KUID(kuid.userId, kuid.contentId, INT32_MIN));
    auto last = first;
    while (last != records.end() && last->first.userId == kuid.userId &&
           last->first.contentId == kuid.contentId)
        ++last;
    return {first, last};
}

}  // namespace

const AssetRecord* HighestInstalledVersion(const RecordMap& records, const KUID& kuid) {
    auto [first, last] = Versions(records, kuid);
    const AssetRecord* best = nullptr;
    for (auto it = first; it != last; ++it)
        if (it->second.installed) best = &it->second;
    return best;
}

bool IsDependencyHeld(const RecordMap& records, const KUID& need) {
    const AssetRecord* held = HighestInstalledVersion(records, need);
    return held != nullptr && held->kuid.version >= need.version;
}

bool HasHigherVersion(const RecordMap& records, const KUID& kuid) {
    const AssetRecord* highest = HighestInstalledVersion(records, kuid);
    return highest != nullptr && highest->kuid.version > kuid.version;
}

bool HasMissingDependencies(const RecordMap& records, const AssetRecord& record) {
    for (const KUID& need : record.config.dependencies)
        if (!IsDependencyHeld(records, need)) return true;
    return false;
}

bool HasFaultyDependencies(const RecordMap& records, const AssetRecord& record) {
    for (const KUID& need : record.config.dependencies) {
        const AssetRecord* held = HighestInstalledVersion(records, need);
        if (held != nullptr && held->kuid.version >= need.version && IsFaulty(*held)) return true;
    }
    return false;
}

std::set<KUID> ObsoletedAssets(const RecordMap& records) {
    std::set<KUID> out;
    for (const auto& [kuid, record] : records)
        if (record.installed)
            out.insert(record.config.obsoletes.begin(), record.config.obsoletes.end());
    return out;
}

uint32_t StatusBits(const RecordMap& records, const AssetRecord& record) {
    uint32_t bits = record.statusA & (kStatusALocallyModified | kStatusAFromService);
    if (record.installed) bits |= kWEXStatusInstalled;
    if (record.openForEdit) bits |= kWEXStatusOpenForEdit | kWEXStatusScriptCacheBlocked;
    if (IsFaulty(record)) bits |= kWEXStatusFaulty;
    if (HasMissingDependencies(records, record)) bits |= kWEXStatusMissingDependencies;
    return bits;
}

}  // namespace wexd
