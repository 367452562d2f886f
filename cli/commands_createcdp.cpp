// "createcdp": an archive of installed assets, each exported by the daemon and made into an
// archive entry by the archive builder, written to the output file through a twin.
#include <vector>

#include "archive/cdp_write.h"
#include "assetdb/asset_info.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_install.h"
#include "cli/command_handlers.h"
#include "configdata/tdb_container_tag.h"

namespace {

// The daemon's export mode for the archive commands.
constexpr uint32_t kExportModeArchive = 3;
// The first asset identifier on the command line, after the word and the output file.
constexpr int kFirstAssetArgument = 3;

// The daemon gave no entry for an installed asset: said, rather than leaving it out of the
// archive unannounced.
constexpr const char* kExportFailedMessage = "Unable to export the asset.";

bool IsInstalled(const KUID& asset) {
    WEXAssetInfo info;
    return WEXClient::GetAssetInfo(asset, info, kWEXInfoEverything) && info.IsKnown() &&
           info.Has(kWEXStatusInstalled);
}

}  // namespace

int RunCreateCdpCommand(CommandContext& context) {
    if (context.MissingArgument()) {
        AddCommandError(context.log, "Missing output path parameter.");
        return kCommandFailed;
    }
    const Kiv::File::Path output(context.argv[2]);
    if (!output.IsExt("cdp")) {
        AddCommandError(context.log, "The output filename must have a .cdp extension.");
        return kCommandFailed;
    }
    // Every identifier is read before the daemon is asked anything.
    std::vector<KUID> assets;
    for (int i = kFirstAssetArgument; i < context.argc; ++i) {
        KUID asset = KUID::FromText(context.argv[i], false);
        if (asset.IsNull()) {
            AddCommandError(context.log, "Invalid AssetID.");
            return kCommandFailed;
        }
        assets.push_back(asset);
    }

    CdpArchive archive;
    for (const KUID& asset : assets) {
        NoReplyMark mark;
        if (!IsInstalled(asset)) {
            if (mark.Any())
                ReportNoReply(context.log, asset);
            else
                AddAssetError(context.log, "Asset is not local.", asset);
            return kCommandFailed;
        }
        TDBTagRef options = MakeCounted<TDBContainerTag>();
        CdpArchive exported{
            WEXClient::ExportAssetToArchive(asset, kExportModeArchive, options, &context.log)};
        TDBTagRef entry = CdpGetAsset(exported, 0);
        if (!entry) {
            if (mark.Any())
                ReportNoReply(context.log, asset);
            else
                AddAssetError(context.log, kExportFailedMessage, asset);
            return kCommandFailed;
        }
        Kiv::PString error = CdpAddAsset(archive, entry);
        if (!error.IsEmpty()) {
            AddAssetError(context.log, error.view(), asset);
            return kCommandFailed;
        }
    }
    // Without assets the tables were never made: an archive of nothing must still open.
    if (assets.empty()) CdpBuild(archive);
    Kiv::PString error = CdpWrite(archive, output.view());
    if (!error.IsEmpty()) {
        context.err << error.view() << std::endl;
        return kCommandFailed;
    }
    return 0;
}
