// Installing archived assets through the database daemon.
#include "archive/cdp_install.h"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "archive/cdp_archive.h"
#include "archive/cdp_build.h"
#include "archive/cdp_dsid.h"
#include "archive/cdp_extract.h"
#include "archive/cdp_keys.h"
#include "assetdb/asset_handle.h"
#include "assetdb/asset_info.h"
#include "assetdb/asset_name.h"
#include "assetdb/asset_status.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_edit.h"
#include "configdata/config_file.h"
#include "configdata/interface_text.h"
#include "configdata/property.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/file_utils.h"
#include "platform/kiv/base/log.h"
#include "validation/results_log.h"

namespace {

// Commit flags the install sends: the copy is as archived (its dsid matched), and the flag the
// caller passes on.
constexpr uint32_t kCommitDsidMatched = 6;
constexpr uint32_t kCommitFlag8 = 8;

constexpr const char* kConfigText = "config.txt";
constexpr const char* kConfigBinary = "config.chump";

// A message about the asset: the key's text with "asset_kuid" filled, the asset as parameter.
void AddAssetMessage(ResultsLog& log, uint32_t severity, const char* key, const KUID& asset) {
    TDBTagRef values;
    TDBContainerTag::SetString(values, Kiv::PString("asset_kuid"), asset.ToString());
    AddMessage(log, severity, HalvexPropertyRef::MakeAssetID(Kiv::PString(), asset),
               Kiv::String(key), values);
}

// A whole decimal number (an optional '-' and digits only) that fits an int.
bool ReadChildNumber(std::string_view name, long& out) {
    std::string text(name);
    if (text.empty() || text.size() > 11) return false;
    size_t digits = text[0] == '-' ? 1 : 0;
    if (digits == text.size()) return false;
    for (size_t i = digits; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    out = std::strtol(text.c_str(), nullptr, 10);
    return out >= INT32_MIN && out <= INT32_MAX;
}

std::string FolderFile(const Kiv::String& folder, const char* name) {
    std::string path = folder.str();
    if (!path.empty() && path.back() != '/') path += '/';
    return path + name;
}

// Writes the configuration in the chosen form and removes the other form beside it, so that no
// reader finds a stale config next to the one written.
bool WriteInstalledConfig(const TDBTagRef& config, const Kiv::String& folder, bool binary) {
    const std::string written = FolderFile(folder, binary ? kConfigBinary : kConfigText);
    const std::string other = FolderFile(folder, binary ? kConfigText : kConfigBinary);
    if (!WriteConfigFile(config, {}, written)) return false;
    if (PathExists({}, other) && !DeleteLocationPath({}, other)) {
        Kiv::Log::Write(
            Kiv::String::Printf("InstallArchiveAsset> cannot remove %s", other.c_str()).view());
        return false;
    }
    return true;
}

}  // namespace

CdpPromptKeys CdpPromptKeysForStatus(uint32_t status) {
    if (status & kWEXStatusOpenForEdit)
        return {"$wex_prompt_openforedit", "$wex_prompt_openforedit_log"};
    if (status & kWEXStatusBuiltIn) return {"$wex_prompt_builtin", "$wex_prompt_builtin_log"};
    if (status & kWEXStatusVendrixItem) return {"$wex_prompt_vdx_item", "$wex_prompt_vdx_item_log"};
    return {"$wex_prompt_alreadyinstalled", "$wex_prompt_alreadyinstalled_log"};
}

void CdpMergeKuidTable(TDBTagRef& config, const KUIDBlockList& dependencies) {
    const CdpKeys& keys = GetCdpKeys();
    TDBTagRef table = TDBContainerTag::GetContainer(config, keys.kuidTable);
    if (!table || TDBContainerTag::CountChildren(table) == 0) {
        if (dependencies.IsEmpty()) return;
        TDBTagRef made = TDBContainerTag::FromKUIDList(dependencies);
        TDBContainerTag::SetContainer(config, keys.kuidTable, made);
        return;
    }
    long highest = -1;
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; table->GetChildAt(i, name, child); ++i) {
        long number = 0;
        if (ReadChildNumber(name.view(), number)) highest = std::max(highest, number);
    }
    KUIDBlockList listed;
    TDBContainerTag::CollectChildKUIDs(table, listed);
    long next = highest + 1;
    for (const KUID& dependency : dependencies) {
        if (dependency.IsNull() || listed.Find(dependency) != listed.End()) continue;
        Kiv::PString fresh;
        do {
            fresh = Kiv::PString::Printf("%ld", next++);
        } while (!table->FindChild(fresh).IsEmpty());
        TDBContainerTag::SetKUID(table, fresh, dependency);
        listed.Append(dependency);
    }
    TDBContainerTag::SetContainer(config, keys.kuidTable, table);
}

TDBTagRef CdpAssetToConfig(const TDBTagRef& entry) {
    const CdpKeys& keys = GetCdpKeys();
    TDBTagRef config = TDBContainerTag::Clone(entry);
    if (!config) return {};
    for (const Kiv::PString& drop : {keys.files, keys.dsid, keys.compression, keys.folderIcon})
        TDBContainerTag::RemoveTag(config, drop);
    Kiv::PString kind = TDBContainerTag::GetString(config, keys.kind);
    std::string lower(kind.view());
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    if (lower != kind.view()) TDBContainerTag::SetString(config, keys.kind, Kiv::PString(lower));
    TDBContainerTag::RemoveTag(config, Kiv::PString(".cache"));
    KUIDBlockList dependencies;
    Kiv::PString error = CdpCollectDependencies(CdpAssetKUID(entry), config, dependencies);
    if (!error.IsEmpty())
        Kiv::Log::Write(Kiv::String::Printf("CdpAssetToConfig> %s", error.c_str()).view());
    CdpMergeKuidTable(config, dependencies);
    return config;
}

KUID InstallArchiveAsset(const TDBTagRef& entry, ResultsLog& log, uint32_t flags, bool* committed,
                         CdpInstallPrompt* prompt) {
    flags &= ~static_cast<uint32_t>(kCdpInstallDsidMatched);
    if (CdpCheckDsid(entry)) flags |= kCdpInstallDsidMatched;

    const KUID asset = CdpAssetKUID(entry);
    WEXAssetInfo info;
    WEXClient::GetAssetInfo(asset, info, kWEXInfoEverything);
    const bool known = info.IsKnown();
    const bool installed = known && info.Has(kWEXStatusInstalled);

    TDBTagRef config = CdpAssetToConfig(entry);
    const Kiv::String name = AssetDisplayName(config);

    if (installed) {
        if (prompt != nullptr) {
            CdpPromptKeys keys = CdpPromptKeysForStatus(info.GetStatus());
            uint32_t answer = prompt->Ask(GetInterfaceString(keys.prompt),
                                          GetInterfaceString(keys.log), asset, log);
            if (answer != 2 && answer != 3) return KUID::kNull;
        }
        // An installed asset is overwritten in its editing copy, never committed here.
        flags &= ~static_cast<uint32_t>(kCdpInstallCommit);
    }

    WEXAssetHandle handle = known ? WEXClient::OpenAssetForEdit(asset, false)
                                  : WEXClient::CreateAsset(asset, false, name.view());
    if (!handle.IsValid() || !config) {
        AddAssetMessage(log, kResultsError, "$wex_write_error", asset);
        return KUID::kNull;
    }
    Kiv::String folder;
    if (!WEXClient::GetHandlePath(handle, folder) || folder.IsEmpty()) {
        AddAssetMessage(log, kResultsError, "$wex_write_error", asset);
        return KUID::kNull;
    }
    if (installed && PathExists({}, folder.view()) && !DeleteLocationPath({}, folder.view())) {
        AddAssetMessage(log, kResultsError, "$wex_overwrite_error", asset);
        return KUID::kNull;
    }
    Kiv::PString error;
    if (!MakeLocationDirectory({}, folder.view()))
        error = Kiv::PString(kCdpWriteFailedMessage);
    else
        error =
            CdpExtractFolder(CdpAssetFiles(entry), folder.view(), {}, CdpAssetCompression(entry));
    if (!error.IsEmpty()) {
        Kiv::Log::Write(Kiv::String::Printf("InstallArchiveAsset> %s: %s", asset.ToString().c_str(),
                                            error.c_str())
                            .view());
        AddAssetMessage(log, kResultsError, "$wex_failed_install", asset);
        WEXClient::RevertAsset(handle, &log);
        return KUID::kNull;
    }
    // Never "installed" without its config: a failed write undoes the edit.
    const bool commit = (flags & kCdpInstallCommit) != 0;
    if (!WriteInstalledConfig(config, folder, commit)) {
        AddAssetMessage(log, kResultsError, "$wex_write_error", asset);
        WEXClient::RevertAsset(handle, &log);
        return KUID::kNull;
    }
    if (commit) {
        uint32_t commitFlags = (flags & kCdpInstallDsidMatched) ? kCommitDsidMatched : 0;
        if (flags & kCdpInstallCommitFlag8) commitFlags |= kCommitFlag8;
        if (!WEXClient::CommitAsset(handle, commitFlags, committed, &log)) return KUID::kNull;
    }
    handle.Release();
    WEXClient::SetAssetFavorite(asset, true);
    AddAssetMessage(log, kResultsSuccess, "$wex_installed", asset);
    return asset;
}

uint32_t InstallPromptAnswerer::Ask(const Kiv::String& prompt, const Kiv::String& logText,
                                    const KUID& asset, ResultsLog& log) {
    Kiv::String name = WEXGetAssetName(asset);
    if (name.IsEmpty()) name = Kiv::String(asset.ToString().view());
    uint32_t answer = Question(asset, name, prompt);
    const char* key = answer <= 1   ? "$wex_prompt_skipped"
                      : answer <= 3 ? "$wex_prompt_overwritten"
                                    : nullptr;
    if (key != nullptr) {
        TDBTagRef values;
        TDBContainerTag::SetString(values, Kiv::PString("asset_name"), Kiv::PString(name.view()));
        TDBContainerTag::SetString(values, Kiv::PString("action"), Kiv::PString(logText.view()));
        AddMessage(log, kResultsWarning, HalvexPropertyRef::MakeAssetID(Kiv::PString(), asset),
                   Kiv::String(key), values);
    }
    if (answer == 4) answerForAll_ = true;
    answers_[asset] = answer;
    return answer;
}
