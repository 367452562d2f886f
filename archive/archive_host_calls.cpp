// The command host's archive calls.
#include "archive/archive_host_calls.h"

#include <algorithm>

#include "archive/cdp_archive.h"
#include "archive/cdp_install.h"
#include "archive/crak_file.h"
#include "assetdb/command_host.h"
#include "assetdb/wex_client_install.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "validation/results_log.h"

namespace {

// The export mode the host asks for: the archive commands' own.
constexpr uint32_t kExportModeArchive = 3;
// Install modes: commit as an archive brings it, and with the commit's flag 8 for a file of the
// current version.
constexpr uint32_t kInstallModeOlder = kCdpInstallCommit;
constexpr uint32_t kInstallModeCurrent = kCdpInstallCommit | kCdpInstallCommitFlag8;

void AddError(ResultsLog& log, const char* key, const TDBTagRef& values = TDBTagRef()) {
    AddMessage(log, kResultsError, HalvexPropertyRef(), Kiv::String(key), values);
}

}  // namespace

bool WEXArchiveSaveToDisk(const std::vector<KUID>& assets, CrakWriter& file, ResultsLog& log) {
    bool all = true;
    for (const KUID& asset : assets) {
        TDBTagRef exported = WEXClient::ExportAsset(asset, kExportModeArchive, &log);
        KUID named = TDBContainerTag::GetKUID(exported, Kiv::PString("kuid"), KUID::kNull);
        if (named.IsNull()) {
            all = false;
            continue;
        }
        if (!file.Add(asset, exported)) {
            LogOutputf("WEXArchiveSaveToDisk> the record of %s could not be written",
                       asset.ToString().c_str());
            all = false;
        }
    }
    return all;
}

bool WEXArchiveSaveToFile(uint32_t archiveWord, std::string_view path,
                          const std::vector<KUID>& assets, ResultsLog& log) {
    CrakWriter file(archiveWord);
    bool all = WEXArchiveSaveToDisk(assets, file, log);
    if (!file.WriteTo(path)) {
        LogOutputf("WEXArchiveSaveToFile> cannot write %s", std::string(path).c_str());
        TDBTagRef values;
        TDBContainerTag::SetString(values, Kiv::PString("file_path"), Kiv::PString(path));
        AddMessage(log, kResultsError, HalvexPropertyRef(),
                   Kiv::String("The archive file '$(FILE_PATH)' could not be written."), values);
        return false;
    }
    return all;
}

bool WEXArchiveInstall(uint32_t archiveWord, std::vector<KUID>& assets,
                       std::string_view archivePath, ResultsLog& log) {
    CrakReader reader;
    CrakStatus status = reader.Open(archivePath, archiveWord);
    if (status == CrakStatus::kVersion) {
        TDBTagRef values;
        TDBContainerTag::SetString(values, Kiv::PString("version"),
                                   Kiv::PString::Printf("%u", reader.Version()));
        AddError(log, "$wex_archive_version", values);
        return false;
    }
    if (status != CrakStatus::kOk) {
        AddError(log, "$wex_archive_unreadable");
        return false;
    }
    const uint32_t mode = reader.IsCurrentVersion() ? kInstallModeCurrent : kInstallModeOlder;
    CrakRecord record;
    while (reader.Next(record)) {
        auto wanted = std::find(assets.begin(), assets.end(), record.asset);
        if (wanted == assets.end()) continue;
        TDBTagRef entry = reader.ReadData(record);
        if (!(CdpAssetKUID(entry) == record.asset)) continue;
        if (!InstallArchiveAsset(entry, log, mode, nullptr, nullptr).IsNull()) {
            wanted = std::find(assets.begin(), assets.end(), record.asset);
            if (wanted != assets.end()) assets.erase(wanted);
        }
    }
    if (reader.Status() != CrakStatus::kOk) {
        AddError(log, "$wex_archive_unreadable");
        return false;
    }
    return true;
}

void WEXInstallArchiveHostCalls() {
    WEXCommandHostCalls calls = WEXGetCommandHostCalls();
    calls.saveToDisk = &WEXArchiveSaveToFile;
    calls.install = &WEXArchiveInstall;
    WEXSetCommandHostCalls(calls);
}
