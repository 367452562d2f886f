#include "script/host/validate_asset_task.h"

#include "assetdb/command_host.h"
#include "assetdb/resource_cache_flush.h"
#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/path.h"
#include "script/host/asset_compile_mutex.h"
#include "script/host/compile_asset.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/results_log.h"
#include "validation/validate_asset.h"

namespace {

// The asset's configuration file: the binary one before the text one; empty when neither is
// there.
std::string ConfigFileOf(std::string_view folder) {
    for (const char* name : {"config.chump", "config.txt"}) {
        Kiv::File::Path path(folder);
        path.AddPath(name);
        if (Kiv::File::IsRegularFile(path.view())) return path.str();
    }
    return {};
}

}  // namespace

bool ValidateAssetTaskRun(const Kiv::PString& location, std::string_view folder, ResultsLog& log) {
    FlushResourceCacheOnMainThread();
    std::lock_guard<std::recursive_mutex> hold(AssetCompileMutex());
    DUVLib::DataManager& manager = DUVLib::DataManager::Instance();

    bool passed = false;
    const std::string config = ConfigFileOf(folder);
    if (config.empty()) {
        TDBTagRef values;
        TDBContainerTag::SetString(values, Kiv::PString("file_path"), Kiv::PString(folder));
        AddMessage(log, 3, HalvexPropertyRef(), Kiv::String("$wex_unable_read_config_at"), values);
    } else {
        {
            DUVLib::Container root;
            passed = DUVLib::ValidateAssetConfig(location, Kiv::File::Path(config), log, &root);
            if (passed) passed = DUVLib::CheckAssetTextures(root, log);
        }
        manager.PurgeUnusedResources();
        // Both flags speak of one asset: a mesh that failed, an asset whose meshes come from
        // elsewhere. Left set, they would silence the next asset's mesh findings.
        manager.meshFailure = false;
        manager.meshMessagesSuppressed = false;
    }
    // A missing configuration still lets the compile run: it says so too.
    const bool compiled = WEXCompileAsset(folder, log);
    return passed && compiled;
}

void WEXInstallValidationHostCall() {
    WEXCommandHostCalls calls = WEXGetCommandHostCalls();
    calls.validate = &ValidateAssetTaskRun;
    WEXSetCommandHostCalls(calls);
}
