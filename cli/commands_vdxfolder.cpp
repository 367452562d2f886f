// vdxparsefolder: a folder tree of assets filed for the content service. Each asset is
// installed, filed as a one-asset archive with its picture under the listing output folder by
// state ("VDX" when the service offers it, "Faulty", else "HALVEX2010-Builtin") and category,
// taken out of the database again (kept in its backups), and, unless the service offers it
// already, given a listing record; the records are written as SQL text in batches.
// vdxdeleteall: every installed asset deleted.
#include <filesystem>

#include "archive/listing_record.h"
#include "archive/listing_sql.h"
#include "archive/listing_vocabulary.h"
#include "archive/vendrix_listing.h"
#include "assetdb/asset_info.h"
#include "assetdb/asset_search.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_edit.h"
#include "assetdb/wex_client_install.h"
#include "cli/command_handlers.h"
#include "cli/listing_folder.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/file_utils.h"
#include "platform/kiv/base/path.h"
#include "validation/results_log.h"

namespace {

// The install mode of an asset listed for the content service.
constexpr uint32_t kListingInstallMode = 6;
// Fields of the record the listing reads: names, category texts, status bits.
constexpr uint32_t kListingInfoMask = kWEXInfoNames | kWEXInfoCategories | kWEXInfoStatus;

void AssetError(ResultsLog& log, const KUID& asset, const Kiv::String& text) {
    log.PushContext(AssetParameter(asset));
    AddMessage(log, kResultsError, HalvexPropertyRef(), text);
    log.PopContext();
}

void ListFolderAsset(const std::string& configPath, FolderListing& run, ResultsLog& log) {
    const std::string folder = std::filesystem::path(configPath).parent_path().string();
    ResultsLog installLog;
    KUID asset;
    WEXClient::InstallFromPath(folder, kListingInstallMode, false, asset, &installLog, nullptr);
    if (asset.IsNull()) {
        AddCommandError(log, "Failed to install asset from: " + folder);
        run.failed = true;
        return;
    }
    WEXAssetInfo info;
    WEXClient::GetAssetInfo(asset, info, kListingInfoMask);
    const int typeId = ListingAssetTypeId(info);
    const char* state = info.Has(kWEXStatusOnVendrix) ? "VDX"
                        : info.Has(kWEXStatusFaulty)  ? "Faulty"
                                                      : "HALVEX2010-Builtin";
    if (!info.Has(kWEXStatusOnVendrix)) {
        TDBTagRef entry;
        BuildListingRecord(asset, info, entry);
        TDBContainerTag::SetContainer(run.soup, Kiv::PString(std::to_string(run.counter)), entry);
        ++run.counter;
    }
    const std::string output =
        ListingOutputFolder() + "/" + state + "/" + ListingCategoryName(typeId);
    std::error_code ec;
    std::filesystem::create_directories(output, ec);
    const std::string base = output + "/" + asset.ToDisplayString().str();
    Kiv::PString error = WriteAssetArchive(asset, base + ".cdp", log);
    if (!error.IsEmpty()) {
        AssetError(log, asset, Kiv::String::Printf("Failed to save asset cdp : %s", error.c_str()));
        run.failed = true;
    }
    Kiv::String picture;
    uint32_t status = 0;
    WEXClient::GetThumbnailPath(asset, 0, picture, status);
    if (Kiv::File::Path(picture.view()).IsExt("jpg"))
        CopyFileContents(picture.view(), base + ".jpg");
    if (!WEXClient::DeleteAsset(asset, true, &log)) {
        AssetError(log, asset,
                   Kiv::String::Printf("Failed to delete asset : %s", asset.ToString().c_str()));
        run.failed = true;
    }
}

}  // namespace

int RunVdxParseFolderCommand(CommandContext& context) {
    if (context.MissingArgument()) {
        AddCommandError(context.log, "No folder path set");
        return kCommandFailed;
    }
    SetListingOutputFolder(ListingOutputFolder());
    // A relative folder is taken from the process's working folder; the daemon is handed full
    // paths.
    std::error_code ec;
    std::string root = std::filesystem::absolute(context.argument, ec).lexically_normal().string();
    if (root.size() > 1 && root.back() == '/') root.pop_back();
    FolderListing run;
    ListFolderAssets(
        root, run,
        [&context](const std::string& config, FolderListing& r) {
            ListFolderAsset(config, r, context.log);
        },
        context.log);
    FinishFolderListing(run, context.log);
    return run.failed ? kCommandFailed : 0;
}

int RunVdxDeleteAllCommand(CommandContext& context) {
    WEXFilterElementGroup filter(std::make_unique<WEXFilterElementBool>(kWEXLocal));
    KUIDBlockList found;
    if (!WEXClient::SearchAssets(filter, found)) {
        AddCommandError(context.log, kSearchFailedMessage);
        return kCommandFailed;
    }
    for (const KUID& asset : found)
        WEXClient::DeleteAsset(asset, true, nullptr);
    return 0;
}
