// Questions about assets that look at other records besides their own: which version of an
// asset is installed, whether an asset's dependencies are there, which assets others make
// obsolete, and the status bits an asset shows. Records are kept in KUID order, so the
// versions of one user and content id stand side by side.
//
// A dependency is held by an installed asset of the same user and content id at the version
// it names or a later one: a newer version stands in for an older one.
#pragma once

#include <cstdint>
#include <map>
#include <set>

#include "services/wexdaemon/asset_record.h"

namespace wexd {

using RecordMap = std::map<KUID, AssetRecord>;

// The installed record of the highest version of the KUID's user and content id; null when
// none is installed.
const AssetRecord* HighestInstalledVersion(const RecordMap& records, const KUID& kuid);
// An installed asset holds the dependency.
bool IsDependencyHeld(const RecordMap& records, const KUID& need);
// A higher version of the asset is installed.
bool HasHigherVersion(const RecordMap& records, const KUID& kuid);
// One of the asset's dependencies is not held.
bool HasMissingDependencies(const RecordMap& records, const AssetRecord& record);
// One of the asset's dependencies is held only by faulty assets.
bool HasFaultyDependencies(const RecordMap& records, const AssetRecord& record);
// Every KUID some installed asset lists as made obsolete by it.
std::set<KUID> ObsoletedAssets(const RecordMap& records);

// The record is faulty: its config cannot be read, names another asset, or cannot be listed.
inline bool IsFaulty(const AssetRecord& record) {
    return !record.config.read || record.config.faulty;
}

// Status bits as the asset-information record carries them: status A in bits 0-7, status B
// in bits 8-15 (WEXAssetStatus). Locally modified and from the content service are the stored
// bits; installed, open for edit, faulty and missing dependencies follow the record; while
// open for edit its scripts change and must not be cached. Nothing here is built in or
// archived; what the content service offers is the handlers' to add.
uint32_t StatusBits(const RecordMap& records, const AssetRecord& record);

}  // namespace wexd
