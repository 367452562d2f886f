// Small queries on one asset, each a fresh asset-information request that reads one field,
// and the seven status letters the status command prints. When the daemon cannot be reached
// the texts are empty and the status queries answer as for an asset that needs attention:
// locally modified, installed, faulty, short of dependencies and not cacheable, but not built
// in.
#pragma once

#include "assetdb/asset_info.h"
#include "configdata/kuid.h"
#include "platform/kiv/base/text.h"

Kiv::String WEXGetAssetName(const KUID& asset);
Kiv::String WEXGetAssetRegion(const KUID& asset);
Kiv::String WEXGetAssetKeywords(const KUID& asset);
Kiv::String WEXGetAssetEra(const KUID& asset);

bool WEXAssetIsBuiltIn(const KUID& asset);
bool WEXAssetIsLocallyModified(const KUID& asset);
bool WEXAssetIsInstalled(const KUID& asset);
bool WEXAssetIsFaulty(const KUID& asset);
// With onlyInstalled set, an asset that is not installed counts as missing dependencies.
bool WEXAssetHasMissingDependencies(const KUID& asset, bool onlyInstalled);
bool WEXAssetIsScriptCacheBlocked(const KUID& asset);

// Seven letters in the order E, I, A, D, L, M, F, each upper case when its condition holds and
// lower case otherwise: E open for edit, I installed, A archived, D offered by the content
// service, L locally modified (from the record, read with every field), M missing dependencies
// and F faulty (each asked of the daemon for the record's asset).
Kiv::String WEXAssetStatusLetters(const WEXAssetInfo& info);
