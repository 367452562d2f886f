// Requests about one asset's content and state: its configuration, information record, paths,
// identity, description, preview, dependency and obsolete lists, favourite flag, keywords, and
// new KUIDs. Each blocks until the daemon answers; when the daemon cannot be reached each
// yields the fixed value its comment names, and a reply that ends early leaves the missing
// fields at their defaults (false, 0, empty, the null KUID).
#pragma once

#include <cstdint>
#include <string_view>

#include "assetdb/asset_info.h"
#include "configdata/kuid.h"
#include "configdata/kuid_list.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/text.h"

namespace WEXClient {

// The asset's configuration tree; an empty reference when there is none or no answer.
TDBTagRef GetAssetConfig(const KUID& asset);

// The texts of an asset's configuration that the script host reads, with the tree they came
// from.
struct AssetScriptConfig {
    TDBTagRef config;
    Kiv::String script;
    Kiv::String scriptLibrary;
    Kiv::String className;
    Kiv::String scriptClass;
};
// The configuration (GetAssetConfig) and its texts "script", "scriptlibrary", "class" and
// "scriptclass"; false, all empty, when there is no configuration.
bool LoadAssetConfigSoup(const KUID& asset, AssetScriptConfig& out);

// Fills the record (see asset_info_format.h) asking for the field groups of the mask. False,
// the record untouched, when the daemon cannot be reached.
bool GetAssetInfo(const KUID& asset, WEXAssetInfo& info, uint32_t mask);

// The asset's path; the caller's path unchanged and false without an answer. The flag is the
// daemon's.
bool ResolveAssetPath(const KUID& asset, bool flag, Kiv::String& path);
// The KUID the database answers for the asset (another version, or the null KUID); the given
// KUID without an answer.
KUID ResolveAssetId(const KUID& asset);
// The KUID of the asset's newest version; the given KUID without an answer.
KUID GetUpdatedAsset(const KUID& asset);
// The asset's description; empty without an answer.
Kiv::String GetAssetDescription(const KUID& asset);
// The path of the asset's preview image and a status word; an empty path and status 0, and
// false, without an answer. The option word is the daemon's.
bool GetThumbnailPath(const KUID& asset, uint32_t option, Kiv::String& path, uint32_t& status);

// Append the asset's dependencies (obsoleted assets) to the list; the list unchanged and false
// without an answer. A list cut short keeps its whole KUIDs and yields false.
bool GetDependencyList(uint32_t option, const KUID& asset, KUIDBlockList& out);
bool GetObsoletes(const KUID& asset, KUIDBlockList& out);

// One-way: stores the asset's favourite flag.
void SetAssetFavorite(const KUID& asset, bool favorite);
// One-way: stores the asset's keyword text. A text over 65,535 bytes is refused with a warning
// (it would otherwise be stored as no keywords); false then, or when it could not be sent.
bool ImportKeywords(const KUID& asset, std::string_view keywords);

// A new KUID from the daemon; `current` without an answer.
KUID GenerateKUID(const KUID& current = KUID::kNull);

}  // namespace WEXClient
