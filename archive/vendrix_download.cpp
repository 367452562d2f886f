#include "archive/vendrix_download.h"

#include <chrono>
#include <thread>

#include "archive/vendrix_search.h"
#include "archive/vendrix_service.h"
#include "assetdb/asset_status.h"
#include "assetdb/notifications.h"
#include "assetdb/vendrix_cache.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_install.h"
#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/main_thread.h"
#include "online/url_record.h"
#include "validation/results_log.h"

namespace {

constexpr uint32_t kKindSearchPage = 2;
constexpr uint32_t kKindArchive = 0;
constexpr uint32_t kWaitStepMs = 50;

// Waits until the request has finished; false when nothing was started or the daemon can no
// longer be asked (not "not yet": it would never finish).
bool WaitForRequest(uint64_t id, bool onMainThread) {
    if (id == kWEXNoVendrixRecord) return false;
    for (;;) {
        // The update note marks the cached record finished; only then is the daemon not asked.
        WEXVendrixInfo info;
        if (WEXVendrixCache::Instance().Find(id, info) && info.finished) return true;
        if (!WEXClient::GetVendrixInfo(id, info)) return false;
        if (info.finished) return true;
        if (onMainThread) {
            WaitForMainThreadCalls(kWaitStepMs);
            RunIdleTasks();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(kWaitStepMs));
        }
    }
}

// The request's result: true, with the file, when the daemon fetched it.
bool FetchedFile(uint64_t id, WEXVendrixInfo& info) {
    return WEXClient::GetVendrixInfo(id, info) && !info.path.IsEmpty();
}

// Starts a request for the URL and waits for it; the record id, or kWEXNoVendrixRecord.
uint64_t Fetch(const std::string& urlText, uint32_t kind, bool onMainThread, bool& finished) {
    URLRecord url;
    url.Parse(urlText);
    uint64_t id = WEXClient::ResolveVendrixAsset(url, kind);
    finished = WaitForRequest(id, onMainThread);
    return id;
}

void AddFailure(ResultsLog* log, const char* text, const KUID& asset) {
    if (log == nullptr) return;
    TDBTagRef values;
    TDBContainerTag::SetString(values, Kiv::PString("assetid"), asset.ToString());
    AddMessage(*log, kResultsError, HalvexPropertyRef(), Kiv::String(text), values);
}

void End(uint64_t id) {
    if (id != kWEXNoVendrixRecord) WEXClient::PostOnlineNotice(id);
}

}  // namespace

bool VDXDownloadAsset(const KUID& requested, ResultsLog* log) {
    if (GetWEXCacheUpdateHandler() == nullptr) return false;
    const KUID asset = WEXClient::GetUpdatedAsset(requested);
    if (WEXAssetIsInstalled(asset)) return false;
    const bool onMainThread = IsMainThread();

    bool finished = false;
    uint64_t search = Fetch(VendrixSearchURL(asset), kKindSearchPage, onMainThread, finished);
    WEXVendrixInfo page;
    if (!finished || !FetchedFile(search, page)) {
        AddFailure(log, "Failed to query VDX for $(assetid)", asset);
        End(search);
        return false;
    }
    TDBTagRef tree;
    ReadConfigFile({}, page.path.view(), tree, "txt");
    End(search);
    VDXAssetRecordList records;
    ParseVendrixSearchReply(tree, records);

    bool installedAny = false;
    for (const VDXAssetRecord& record : records) {
        if (!record.archiveURL.IsValid() || WEXAssetIsInstalled(record.latestVersion)) continue;
        uint64_t id = Fetch(std::string(record.archiveURL.Compose().view()), kKindArchive,
                            onMainThread, finished);
        WEXVendrixInfo archive;
        if (!finished || !FetchedFile(id, archive)) {
            AddFailure(log, "Failed to resolve download path for $(assetid)", record.latestVersion);
            End(id);
            continue;
        }
        if (!archive.text.IsEmpty()) {
            if (log != nullptr)
                AddMessage(*log, kResultsError, HalvexPropertyRef(),
                           Kiv::String("Internal error: GetFilePath returned archive"));
            End(id);
            continue;
        }
        ResultsLog own;
        uint32_t count = 0;
        if (WEXClient::InstallArchive(archive.path.view(), kVDXInstallMode, false, &count,
                                      log != nullptr ? log : &own, nullptr) &&
            count > 0)
            installedAny = true;
        End(id);
    }
    records.FreeAll();
    return installedAny;
}
