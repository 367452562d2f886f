#include "archive/vendrix_listing.h"

#include "archive/cdp_extract.h"
#include "archive/cdp_write.h"
#include "archive/vendrix_download.h"
#include "assetdb/notifications.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_install.h"
#include "configdata/tdb_container_tag.h"
#include "validation/results_log.h"

namespace {

// The daemon's export mode for the archive commands.
constexpr uint32_t kExportModeArchive = 3;

}  // namespace

Kiv::PString WriteAssetArchive(const KUID& asset, std::string_view path, ResultsLog& log) {
    TDBTagRef options = MakeCounted<TDBContainerTag>();
    CdpArchive exported{WEXClient::ExportAssetToArchive(asset, kExportModeArchive, options, &log)};
    TDBTagRef entry = CdpGetAsset(exported, 0);
    CdpArchive archive;
    Kiv::PString error = entry ? CdpAddAsset(archive, entry)
                               : Kiv::PString("the daemon gave no export of the asset");
    if (error.IsEmpty()) error = CdpWrite(archive, path);
    return error;
}

bool ExtractThumbnail(const TDBTagRef& thumbnail, std::string_view path) {
    Kiv::PString name;
    TDBTagRef file;
    if (!thumbnail || !thumbnail->GetChildAt(0, name, file) || !file ||
        file->GetType() == kTagContainer)
        return false;
    ACSRawDataRef data = TDBContainerTag::GetRawData(thumbnail, name);
    return CdpExtractFiles(Kiv::PString(), data, path).IsEmpty();
}

void DownloadMissingDependencies(const KUID& asset, std::set<KUID>& tried) {
    bool fetched = true;
    while (fetched && GetWEXCacheUpdateHandler() != nullptr) {
        fetched = false;
        KUIDBlockList dependencies;
        WEXClient::GetDependencyList(0, asset, dependencies);
        for (const KUID& dependency : dependencies) {
            if (!tried.insert(dependency).second) continue;
            if (VDXDownloadAsset(dependency, nullptr)) fetched = true;
        }
    }
}
