// validate: the daemon has the asset's editing copy validated and its messages come back into
// the command's log; an asset made for a build older than the validator knows is reported as
// obsolete instead, without a validation.
#include <cmath>

#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_edit.h"
#include "assetdb/wex_client_install.h"
#include "cli/command_handlers.h"
#include "configdata/property.h"
#include "configdata/tdb_container_tag.h"
#include "validation/results_log.h"

namespace {

// The oldest build that is validated, in hundredths (2.70), and as the message shows it.
constexpr int kLowestValidatedBuild = 270;
constexpr const char* kLowestValidatedBuildText = "2.7";

void AddObsoleteError(ResultsLog& log, const KUID& asset) {
    TDBTagRef values;
    TDBContainerTag::SetString(values, Kiv::PString("asset_kuid"), asset.ToString());
    TDBContainerTag::SetString(values, Kiv::PString("lowest_halvexbuild"),
                               Kiv::PString(kLowestValidatedBuildText));
    AddMessage(log, kResultsError, HalvexPropertyRef(), Kiv::String("$wex_upload_asset_obsolete"),
               values);
}

// The daemon's messages arrive as it sent them, and those it gave no asset would not show which
// asset they are about: they are gathered apart and added under the log's context, the asset.
void RequestValidationUnderContext(ResultsLog& log, std::string_view folder) {
    ResultsLog answer;
    WEXClient::RequestValidation(folder, {}, &answer);
    answer.ForEachEntry([&log](const ResultsLogEntry& entry) {
        AddMessage(log, entry.severity, entry.parameter, entry.text);
    });
}

}  // namespace

bool ValidateAssetCommand(const KUID& asset, ResultsLog& log) {
    // The handle closes with the last copy of it, on every way out.
    WEXAssetHandle handle = WEXClient::OpenAssetForEdit(asset, false);
    Kiv::String folder;
    if (!handle.IsValid() || !WEXClient::GetHandlePath(handle, folder)) return false;

    log.PushContext(AssetParameter(asset));
    WEXAssetInfo info;
    NoReplyMark mark;
    // Without the record the build is unknown, not old: the caller reports the lost reply.
    if (!WEXClient::GetAssetInfo(asset, info, kWEXInfoEverything) && mark.Any()) {
        log.PopContext();
        return true;
    }
    // A build read from a config carries an added half hundredth (asset_build_version.h), so
    // truncating lands on the build itself.
    const int build = static_cast<int>(std::trunc(static_cast<double>(info.build) * 100.0));
    if (build < kLowestValidatedBuild) {
        AddObsoleteError(log, asset);
    } else {
        RequestValidationUnderContext(log, folder.view());
    }
    log.PopContext();
    return true;
}

int RunValidateCommand(CommandContext& context) {
    KUID asset;
    if (!TakeAssetArgument(context, asset)) return kCommandFailed;
    NoReplyMark mark;
    bool validated = ValidateAssetCommand(asset, context.log);
    // A validation whose answer was lost has not shown the asset sound.
    if (mark.Any()) {
        ReportNoReply(context.log, asset);
        return kCommandFailed;
    }
    if (validated) return 0;
    AddAssetError(context.log, kUnknownAssetIdMessage, asset);
    return kCommandFailed;
}
