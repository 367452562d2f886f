// The content-service commands: installfromvdx (an asset and what it lacks, fetched from the
// service and installed), and the listing commands vdxparse, vdxparsefolder and vdxdeleteall.
#include "archive/vendrix_download.h"
#include "assetdb/asset_info.h"
#include "assetdb/wex_client_assets.h"
#include "cli/command_handlers.h"
#include "validation/results_log.h"

namespace {

// Asked afresh; a daemon that cannot be asked does not make it installed.
bool IsInstalledNow(const KUID& asset) {
    WEXAssetInfo info;
    return WEXClient::GetAssetInfo(asset, info, kWEXInfoStatus) && info.Has(kWEXStatusInstalled);
}

}  // namespace

int RunInstallFromVdxCommand(CommandContext& context) {
    KUID asset = context.MissingArgument() ? KUID::kNull : context.ArgumentKUID();
    if (asset.IsNull()) {
        AddCommandError(context.log, kMissingAssetIdMessage);
        return kCommandFailed;
    }
    VDXDownloadAsset(asset, &context.log);
    // The command succeeds when the asset's newest version is here afterwards; a download that
    // said nothing of why it is not still ends with an error naming it.
    if (IsInstalledNow(WEXClient::GetUpdatedAsset(asset))) return 0;
    if (context.log.GetErrorCount() == 0)
        AddAssetError(context.log,
                      "Asset " + std::string(asset.ToString().view()) + " was not installed.",
                      asset);
    return kCommandFailed;
}
