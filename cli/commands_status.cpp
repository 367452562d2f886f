// status: one line about an asset: its KUID, seven status letters, its category codes and its
// user name.
#include <ostream>

#include "assetdb/asset_status.h"
#include "assetdb/wex_client_assets.h"
#include "cli/command_handlers.h"

bool PrintAssetStatus(const KUID& asset, ResultsLog& log, std::ostream& out) {
    WEXAssetInfo info;
    NoReplyMark mark;
    // The daemon answers an asset it does not hold with the null KUID and the "unknown" bit: a
    // line of empty fields would look like an answer.
    if (!WEXClient::GetAssetInfo(asset, info, kWEXInfoEverything) || !info.IsKnown()) {
        if (mark.Any())
            ReportNoReply(log, asset);
        else
            AddAssetError(log, kUnknownAssetIdMessage, asset);
        return false;
    }
    out << "+ " << asset.ToString().view() << " : " << WEXAssetStatusLetters(info).view() << " : "
        << info.categoryCodes.view() << " : " << info.userName.view() << std::endl;
    return true;
}

int RunStatusCommand(CommandContext& context) {
    KUID asset;
    if (!TakeAssetArgument(context, asset)) return kCommandFailed;
    return PrintAssetStatus(asset, context.log, context.out) ? 0 : kCommandFailed;
}
