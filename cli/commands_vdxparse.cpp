// vdxparse: one archive made ready for the content service. Every asset of it is installed,
// what the assets lack is fetched from the service, they are committed, and then, asset by
// asset, its status line goes to standard output and its validation and listing lines to the
// log; a one-asset archive and a preview picture named by the KUID's display form are written
// beside the input archive.
#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "archive/cdp_archive.h"
#include "archive/cdp_install.h"
#include "archive/listing_text.h"
#include "archive/vendrix_listing.h"
#include "assetdb/asset_handle.h"
#include "assetdb/asset_info.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_database.h"
#include "assetdb/wex_client_edit.h"
#include "cli/command_handlers.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/file_utils.h"
#include "foundation/main_thread.h"
#include "platform/kiv/base/path.h"
#include "validation/results_log.h"

namespace {

// Install flags of the archive's assets: committed as they come.
constexpr uint32_t kParseInstallFlags = kCdpInstallCommit | kCdpInstallDsidMatched;
constexpr uint32_t kWaitStepMs = 50;

void Info(ResultsLog& log, const Kiv::String& text) {
    AddMessage(log, kResultsInfo, HalvexPropertyRef(), text);
}

// Waits until the daemon is at rest; false (said in the log) when it cannot be asked.
bool WaitForRest(ResultsLog& log) {
    WEXClient::RequestQuiesce();
    const bool onMainThread = IsMainThread();
    for (;;) {
        bool quiescent = false;
        if (!WEXClient::AskIsQuiescent(quiescent)) {
            AddCommandError(log, "The asset database cannot be reached.");
            return false;
        }
        if (quiescent) return true;
        if (onMainThread) {
            WaitForMainThreadCalls(kWaitStepMs);
            RunIdleTasks();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kWaitStepMs));
        }
    }
}

bool IsInstalled(const KUID& asset) {
    WEXAssetInfo info;
    return WEXClient::GetAssetInfo(asset, info, kWEXInfoStatus) && info.IsKnown() &&
           info.Has(kWEXStatusInstalled);
}

struct Installed {
    KUID asset;
    bool wasInstalled = false;  // it was here before this run reinstalled it
};

// Undoes the installs of this run: what it created goes (to the backups), what it reinstalled
// goes back to how it was. The installs were committed as they went, so reverting alone would
// undo nothing.
void Abort(const std::vector<Installed>& installed, ResultsLog& log) {
    for (const Installed& i : installed) {
        if (i.wasInstalled) {
            WEXAssetHandle handle = WEXClient::OpenAssetForEdit(i.asset, false);
            if (handle.IsValid()) WEXClient::RevertAsset(handle, &log);
        } else {
            WEXClient::DeleteAsset(i.asset, true, &log);
        }
    }
    AddCommandError(log, "Aborted processing");
}

// The listing lines of one asset, its archive and its picture; false when the archive could not
// be written.
bool ListAsset(const KUID& asset, const std::string& folder, const TDBTagRef& thumbnail,
               CommandContext& context) {
    ResultsLog& log = context.log;
    PrintAssetStatus(asset, log, context.out);
    ValidateAssetCommand(asset, log);

    WEXAssetInfo info;
    WEXClient::GetAssetInfo(asset, info, kWEXInfoEverything);
    Info(log, "Name: " + EscapeListingText(info.name.view()));
    Info(log, "Description: " + EscapeListingText(WEXClient::GetAssetDescription(asset).view()));
    Info(log, Kiv::String::Printf("Halvex-build: %.1f", static_cast<double>(info.build)));
    KUIDBlockList dependencies, obsoletes;
    WEXClient::GetDependencyList(0, asset, dependencies);
    WEXClient::GetObsoletes(asset, obsoletes);
    Info(log, "Dependencies: " + JoinKUIDTexts(dependencies));
    Info(log, "Obsoletes: " + JoinKUIDTexts(obsoletes));

    const std::string base = folder + asset.ToDisplayString().str();
    Kiv::PString error = WriteAssetArchive(asset, base + ".cdp", log);
    if (!error.IsEmpty())
        AddMessage(log, kResultsError, HalvexPropertyRef(),
                   Kiv::String::Printf("Unable to write asset to CDP: %s", error.c_str()));

    Kiv::String picture;
    uint32_t status = 0;
    WEXClient::GetThumbnailPath(asset, 0, picture, status);
    if (Kiv::File::Path(picture.view()).IsExt("jpg")) {
        CopyFileContents(picture.view(), base + ".jpg");
    } else if (TDBContainerTag::CountChildren(thumbnail) > 0) {
        ExtractThumbnail(thumbnail, base + ".jpg");
    }

    TDBTagRef config = WEXClient::GetAssetConfig(asset);
    Info(log,
         "kind: " + Kiv::String(TDBContainerTag::GetString(config, Kiv::PString("kind")).view()));
    Info(log, "alias-kuid: " +
                  Kiv::String(TDBContainerTag::GetKUID(config, Kiv::PString("alias"), KUID::kNull)
                                  .ToString()
                                  .view()));
    Info(log, "category-region: " + EscapeListingText(info.region.view()));
    Info(log, "category-era: " + EscapeListingText(info.era.view()));
    Info(log, "category-class: " +
                  EscapeListingText(
                      TDBContainerTag::GetString(config, Kiv::PString("category-class")).view()));
    return error.IsEmpty();
}

}  // namespace

bool CmdVDXParse(const std::string& path, CommandContext& context) {
    ResultsLog& log = context.log;
    if (!WaitForRest(log)) return false;
    CdpArchive archive;
    if (!CdpOpen(archive, path).IsEmpty()) {
        TDBTagRef values;
        TDBContainerTag::SetString(values, Kiv::PString("file_path"), Kiv::PString(path));
        AddMessage(log, kResultsError, HalvexPropertyRef(), Kiv::String("$wex_unreadable_cdp"),
                   values);
        return false;
    }
    TDBTagRef thumbnail = TDBContainerTag::GetContainer(archive.root, Kiv::PString("thumbnail"));

    std::vector<Installed> installed;
    std::set<KUID> listed;
    for (uint32_t i = 0, n = CdpAssetCount(archive); i < n; ++i) {
        TDBTagRef entry = CdpGetAsset(archive, i);
        bool wasInstalled = IsInstalled(CdpAssetKUID(entry));
        KUID asset = InstallArchiveAsset(entry, log, kParseInstallFlags, nullptr, nullptr);
        if (asset.IsNull() || !listed.insert(asset).second) continue;
        installed.push_back({asset, wasInstalled});
    }
    if (log.GetErrorCount() > 0) {
        Abort(installed, log);
        return false;
    }

    std::set<KUID> tried;
    for (const Installed& i : installed)
        DownloadMissingDependencies(i.asset, tried);
    bool allCommitted = true;
    for (const Installed& i : installed) {
        WEXAssetHandle handle = WEXClient::OpenAssetForEdit(i.asset, false);
        bool second = false;
        if (!handle.IsValid() || !WEXClient::CommitAsset(handle, 0, &second, &log))
            allCommitted = false;
    }

    // Beside the input archive.
    std::string folder(Kiv::File::Path(path).GetFolder());
    if (!folder.empty()) folder += "/";
    bool allArchived = true;
    for (const Installed& i : installed) {
        log.PushContext(AssetParameter(i.asset));
        if (!ListAsset(i.asset, folder, thumbnail, context)) allArchived = false;
        log.PopContext();
    }
    return allCommitted && allArchived;
}

int RunVdxParseCommand(CommandContext& context) {
    if (context.MissingArgument()) {
        AddCommandError(context.log, "Missing CDP filepath.");
        return kCommandFailed;
    }
    return CmdVDXParse(context.argument, context) ? 0 : kCommandFailed;
}
