// backupkeywords and importkeywords: the users' keyword texts of every asset, saved to and
// restored from a text config whose tags are named by the assets' KUIDs.
#include <string>

#include "assetdb/asset_search.h"
#include "assetdb/asset_status.h"
#include "assetdb/data_folders.h"
#include "assetdb/filter_group.h"
#include "assetdb/wex_client_assets.h"
#include "cli/command_handlers.h"
#include "configdata/config_file.h"
#include "configdata/property.h"
#include "configdata/tdb_container_tag.h"
#include "validation/results_log.h"

namespace {

constexpr const char* kBackupFileName = "KeywordsBackup.dat";
constexpr const char* kDumpFileName = "KeywordsDump.dat";
// The files are in the text config form, whatever their extension.
constexpr const char* kKeywordFileForm = "txt";

std::string KeywordFilePath(std::string_view folder, std::string_view fileName) {
    if (folder.empty()) return std::string(fileName);
    Kiv::File::Path path(folder);
    path.AddPath(fileName);
    return path.str();
}

void AddWarning(ResultsLog& log, const std::string& text) {
    AddMessage(log, kResultsWarning, HalvexPropertyRef(), Kiv::String(text));
}

}  // namespace

bool BackupKeywords(std::string_view folder, std::string_view fileName, std::string_view extension,
                    ResultsLog& log) {
    WEXFilterElementGroup everything;
    KUIDBlockList assets;
    // Without the list of assets an empty backup would replace a good one.
    if (!WEXClient::SearchAssets(everything, assets)) {
        AddCommandError(log, kSearchFailedMessage);
        return false;
    }
    TDBTagRef tree;
    tree.EnsureContainer();
    for (const KUID& asset : assets) {
        NoReplyMark mark;
        Kiv::String keywords = WEXGetAssetKeywords(asset);
        // An unanswered asset would be backed up with no keywords, over a good backup.
        if (mark.Any()) {
            ReportNoReply(log, asset);
            return false;
        }
        TDBContainerTag::SetString(tree, asset.ToString(), Kiv::PString(keywords.view()));
    }
    const std::string path = KeywordFilePath(folder, fileName);
    if (WriteConfigFile(tree, {}, path, extension)) return true;
    AddCommandError(log, "Unable to write " + path + ".");
    return false;
}

bool ImportKeywords(std::string_view folder, std::string_view fileName, std::string_view extension,
                    ResultsLog& log) {
    const std::string path = KeywordFilePath(folder, fileName);
    TDBTagRef tree;
    if (!ReadConfigFile({}, path, tree, extension)) {
        AddCommandError(log, "Unable to read " + path + ".");
        return false;
    }
    const uint32_t count = TDBContainerTag::CountChildren(tree);
    for (uint32_t i = 0; i < count; ++i) {
        Kiv::PString name = TDBContainerTag::GetChildName(tree, i);
        KUID asset;
        asset.Parse(name.c_str(), false);
        // The null KUID names no asset; posting it would only be refused by the daemon.
        if (asset.IsNull()) {
            AddWarning(log, "The keywords of \"" + name.str() + "\" were skipped: not a KUID.");
            continue;
        }
        Kiv::PString keywords = TDBContainerTag::GetString(tree, name);
        NoReplyMark mark;
        if (WEXClient::ImportKeywords(asset, keywords.view())) continue;
        if (mark.Any())
            ReportNoReply(log, asset);
        else
            AddWarning(log, "The keywords of " + asset.ToString().str() + " were not imported.");
    }
    return true;
}

int RunBackupKeywordsCommand(CommandContext& context) {
    // The working directory: the program's folder.
    return BackupKeywords({}, kBackupFileName, kKeywordFileForm, context.log) ? 0 : kCommandFailed;
}

int RunImportKeywordsCommand(CommandContext& context) {
    return ImportKeywords(GetDataRootPath().view(), kDumpFileName, kKeywordFileForm, context.log)
               ? 0
               : kCommandFailed;
}
