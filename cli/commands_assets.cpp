// The commands on one asset or on the database that the daemon carries out: installing an
// archive, opening an asset for editing, printing its configuration, committing, reverting and
// deleting it, a new KUID, and the list of installed builds.
#include "assetdb/asset_info.h"
#include "assetdb/command_host.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_database.h"
#include "assetdb/wex_client_edit.h"
#include "assetdb/wex_client_install.h"
#include "cli/command_handlers.h"
#include "configdata/config_text.h"
#include "foundation/file_utils.h"

namespace {

// The daemon's install mode for an archive named on the command line.
constexpr uint32_t kInstallModeCommand = 2;

}  // namespace

int RunInstallCdpCommand(CommandContext& context) {
    if (context.MissingArgument()) {
        AddCommandError(context.log, "Missing input filepath parameter.");
        return kCommandFailed;
    }
    // The daemon reports the install into the log as it goes.
    Kiv::File::Path path = ResolveFromStartFolder(context.argument);
    bool installed = WEXClient::InstallArchive(path.view(), kInstallModeCommand, false, nullptr,
                                               &context.log, nullptr);
    return installed ? 0 : kCommandFailed;
}

int RunWexCommandHostCommand(CommandContext&) {
    WEXCommandHost();
    // The host ends when its daemon goes: a keep-alive the departing daemon left unanswered is
    // its normal end, not a failure.
    SettleNoReply();
    return 0;
}

int RunEditCommand(CommandContext& context) {
    KUID asset;
    WEXAssetHandle handle;
    if (!OpenArgumentAssetForEdit(context, asset, handle)) return kCommandFailed;
    Kiv::String folder;
    WEXClient::GetHandlePath(handle, folder);
    context.out << "+ " << asset.ToString().view() << " : " << folder.view() << std::endl;
    return 0;
}

int RunPrintConfigCommand(CommandContext& context) {
    KUID asset;
    if (!TakeAssetArgument(context, asset)) return kCommandFailed;
    NoReplyMark mark;
    TDBTagRef config = WEXClient::GetAssetConfig(asset);
    if (config.IsEmpty()) {
        if (mark.Any())
            ReportNoReply(context.log, asset);
        else
            AddAssetError(context.log, "Asset is not local.", asset);
        return kCommandFailed;
    }
    std::string text;
    AppendTagTreeText(config, text);
    const std::string_view name = asset.ToString().view();
    context.out << "+ Start of " << name << " dump\n"
                << text << "+ End of " << name << " dump" << std::endl;
    return 0;
}

int RunListBuildsCommand(CommandContext& context) {
    if (context.MissingArgument()) {
        AddCommandError(context.log, "Missing path parameter.");
        return kCommandFailed;
    }
    // Written through a twin, so that a failure keeps whatever file was there. The daemon is
    // asked only once the file can be made.
    bool opened = false;
    NoReplyMark mark;
    bool written = WriteFileReplacing(context.argument, [&](TStream& out) {
        opened = true;
        std::string line(WEXClient::ListInstalledBuilds().view());
        // An unanswered list is no list: the file stays as it was.
        if (mark.Any()) return false;
        line += "\r\n";
        return out.Write(line.data(), static_cast<uint32_t>(line.size())) == line.size();
    });
    if (written) return 0;
    if (mark.Any()) {
        ReportNoReply(context.log, "The request for the list of installed builds");
        return kCommandFailed;
    }
    AddCommandError(context.log,
                    opened ? "Failed to write output file." : "Failed to open output file.");
    return kCommandFailed;
}

int RunCommitCommand(CommandContext& context) {
    KUID asset;
    WEXAssetHandle handle;
    if (!OpenArgumentAssetForEdit(context, asset, handle)) return kCommandFailed;
    NoReplyMark mark;
    bool committed = WEXClient::CommitAsset(handle, 0, nullptr, &context.log);
    if (!mark.Any()) return committed ? 0 : kCommandFailed;
    // A landed commit leaves the asset closed for edit.
    auto closed = [](const WEXAssetInfo& info) {
        return info.IsKnown() && !info.Has(kWEXStatusOpenForEdit);
    };
    return ConfirmAfterNoReply(context.log, asset, "the commit", closed) ? 0 : kCommandFailed;
}

int RunRevertCommand(CommandContext& context) {
    KUID asset;
    WEXAssetHandle handle;
    if (!OpenArgumentAssetForEdit(context, asset, handle)) return kCommandFailed;
    WEXAssetHandle copy(handle);
    NoReplyMark mark;
    bool reverted = WEXClient::RevertAsset(copy, &context.log);
    if (!mark.Any()) return reverted ? 0 : kCommandFailed;
    auto closed = [](const WEXAssetInfo& info) {
        return info.IsKnown() && !info.Has(kWEXStatusOpenForEdit);
    };
    return ConfirmAfterNoReply(context.log, asset, "the revert", closed) ? 0 : kCommandFailed;
}

int RunDeleteCommand(CommandContext& context) {
    KUID asset;
    if (!TakeAssetArgument(context, asset)) return kCommandFailed;
    NoReplyMark mark;
    bool deleted = WEXClient::DeleteAsset(asset, false, &context.log);
    if (!mark.Any()) return deleted ? 0 : kCommandFailed;
    auto gone = [](const WEXAssetInfo& info) {
        return !info.IsKnown() || !info.Has(kWEXStatusInstalled);
    };
    return ConfirmAfterNoReply(context.log, asset, "the delete", gone) ? 0 : kCommandFailed;
}

int RunGenerateKuidCommand(CommandContext& context) {
    KUID kuid = WEXClient::GenerateKUID();
    context.out << "<KUID2:" << kuid.userId << ':' << static_cast<uint32_t>(kuid.contentId) << ':'
                << static_cast<uint32_t>(kuid.version) << '>' << std::endl;
    return kuid.IsNull() ? kCommandFailed : 0;
}
