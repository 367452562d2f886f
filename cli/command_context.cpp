#include "cli/command_context.h"

#include "assetdb/wex_client_edit.h"
#include "cli/batch_file.h"
#include "cli/startup.h"
#include "configdata/property.h"
#include "validation/results_log.h"

namespace {

// The name of the asset parameter of a message.
constexpr std::string_view kAssetIdName = "AssetID";

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
    handle = WEXClient::OpenAssetForEdit(asset, false);
    if (handle.IsValid()) return true;
    AddAssetError(context.log, kUnknownAssetIdMessage, asset);
    return false;
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
