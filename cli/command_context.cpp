#include "cli/command_context.h"

#include "assetdb/asset_info.h"
#include "assetdb/daemon_link.h"
#include "assetdb/request_sender.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_edit.h"
#include "cli/batch_file.h"
#include "cli/startup.h"
#include "configdata/property.h"
#include "validation/results_log.h"

namespace {

// The name of the asset parameter of a message.
constexpr std::string_view kAssetIdName = "AssetID";

// The unanswered requests of this thread's command that have been reported or settled.
thread_local uint64_t tSettledNoReply = 0;

// "<subject> got no reply: <cause>."
std::string NoReplyText(std::string_view subject) {
    return std::string(subject) + " got no reply: " + WEXNoReplyCauseText(WEXLastNoReplyCause()) +
           ".";
}

}  // namespace

KUID CommandContext::ArgumentKUID() const {
    return KUID::FromText(argument, false);
}

void AddCommandError(ResultsLog& log, std::string_view text) {
    AddMessage(log, kResultsError, HalvexPropertyRef(), Kiv::String(text));
}

HalvexPropertyRef AssetParameter(const KUID& asset) {
    return HalvexPropertyRef::MakeAssetID(Kiv::PStringCache::Create(kAssetIdName), asset);
}

void AddAssetError(ResultsLog& log, std::string_view text, const KUID& asset) {
    AddMessage(log, kResultsError, AssetParameter(asset), Kiv::String(text));
}

bool TakeAssetArgument(CommandContext& context, KUID& asset) {
    if (context.MissingArgument()) {
        AddCommandError(context.log, kMissingAssetIdMessage);
        return false;
    }
    asset = context.ArgumentKUID();
    return true;
}

bool OpenArgumentAssetForEdit(CommandContext& context, KUID& asset, WEXAssetHandle& handle) {
    if (!TakeAssetArgument(context, asset)) return false;
    NoReplyMark mark;
    handle = WEXClient::OpenAssetForEdit(asset, false);
    if (handle.IsValid()) return true;
    if (!mark.Any()) {
        AddAssetError(context.log, kUnknownAssetIdMessage, asset);
        return false;
    }
    // The open may have landed with its reply lost: the asset is then open for edit, and
    // opening it again only hands out another handle to the same editing copy.
    auto isOpen = [](const WEXAssetInfo& info) {
        return info.IsKnown() && info.Has(kWEXStatusOpenForEdit);
    };
    if (!ConfirmAfterNoReply(context.log, asset, "the opening of the asset for edit", isOpen))
        return false;
    NoReplyMark again;
    handle = WEXClient::OpenAssetForEdit(asset, false);
    if (handle.IsValid()) return true;
    if (again.Any())
        ReportNoReply(context.log, asset);
    else
        AddAssetError(context.log, kUnknownAssetIdMessage, asset);
    return false;
}

NoReplyMark::NoReplyMark() : at_(WEXCountUnansweredRequests()) {}

bool NoReplyMark::Any() const {
    return WEXCountUnansweredRequests() > at_;
}

void ReportNoReply(ResultsLog& log, const KUID& asset) {
    AddAssetError(log, NoReplyText("The request"), asset);
    SettleNoReply();
}

void ReportNoReply(ResultsLog& log, std::string_view subject) {
    AddCommandError(log, NoReplyText(subject));
    SettleNoReply();
}

void SettleNoReply() {
    tSettledNoReply = WEXCountUnansweredRequests();
}

bool ConfirmAfterNoReply(ResultsLog& log, const KUID& asset, std::string_view change,
                         AssetStateTest landed) {
    // The command's own link may not start a daemon; this one question may, so that a daemon
    // that went away comes back and tells.
    const bool mayStart = WEXClientGetOptions().mayStartDaemon != 0;
    WEXClientOptions::SetStartDaemon(true);
    NoReplyMark mark;
    WEXAssetInfo info;
    bool answered = WEXClient::GetAssetInfo(asset, info, kWEXInfoEverything) || !mark.Any();
    WEXClientOptions::SetStartDaemon(mayStart);
    if (!answered) {
        ReportNoReply(log, asset);
        return false;
    }
    SettleNoReply();
    if (landed(info)) return true;
    if (!info.IsKnown())
        AddAssetError(log, kUnknownAssetIdMessage, asset);
    else
        AddAssetError(log, "The daemon stopped before " + std::string(change) + " landed.", asset);
    return false;
}

void BeginNoReplyWatch() {
    SettleNoReply();
}

bool ReportUnsettledNoReply(const CommandContext& context) {
    if (WEXCountUnansweredRequests() <= tSettledNoReply) return false;
    KUID asset = context.ArgumentKUID();
    if (!asset.IsNull())
        ReportNoReply(context.log, asset);
    else if (!context.MissingArgument())
        ReportNoReply(context.log, "The request for " + context.argument);
    else
        ReportNoReply(context.log, "The request");
    return true;
}

int CommandNotAvailable(CommandContext& context) {
    std::string_view word;
    for (const CommandWord& w : GetCommandWords())
        if (w.id == context.id) word = w.word;
    AddCommandError(context.log, std::string(word) + " is not available in this build.");
    return kCommandFailed;
}

Kiv::File::Path ResolveFromStartFolder(std::string_view path) {
    return ResolveBatchFilePath(path, GetSavedWorkingDirectory());
}
