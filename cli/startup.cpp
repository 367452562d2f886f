#include "cli/startup.h"

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <memory>
#include <vector>

#include "archive/archive_host_calls.h"
#include "archive/cdp_export.h"
#include "assetdb/daemon_link.h"
#include "assetdb/data_folders.h"
#include "assetdb/reader_thread.h"
#include "assetdb/request_hooks.h"
#include "assetdb/settings_requests.h"
#include "cli/own_options.h"
#include "cli/validation_startup.h"
#include "cli/working_directory.h"
#include "configdata/interface_text.h"
#include "foundation/logging.h"
#include "foundation/main_thread.h"
#include "foundation/worker_queue.h"
#include "materials/texture_conversion.h"
#include "online/net_startup.h"
#include "platform/kiv/os/uid.h"
#include "script/host/spec_registry_host.h"
#include "script/host/validate_asset_task.h"
#include "script/world/world_natives.h"

namespace {

// The family and type of the engine's image plug-ins that the program keeps for its run.
constexpr const char* kImagePluginFamily = "4C414E80-BBDA-11d4-9AD7-0001025364B8";
constexpr const char* kImagePluginType = "bmp";
// The interface language when the daemon holds none.
constexpr const char* kDefaultLanguage = "US";
// The folder of the validator's templates, below the program's folder.
constexpr const char* kValidationDataFolder = "DUVData/";
// The largest wait between link attempts a test may ask for.
constexpr uint32_t kMaxTestRetryMs = 60000;

// It carries nothing: only its existence between start-up and shutdown matters.
struct StartupMarker {};

// What start-up brought up, so that shutdown takes down exactly that.
struct StartupState {
    std::string savedWorkingDirectory;
    Kiv::File::Path programPath;
    PluginHolder imagePlugins;
    std::unique_ptr<StartupMarker> marker;
    bool errorHandlerStarted = false;
    bool dataManagerStarted = false;
    bool vertexTypesRegistered = false;
    bool netStarted = false;
    bool foldersPrepared = false;
};

StartupState& State() {
    static StartupState state;
    return state;
}

// The command host serves the daemon that started it and ends with it: it never brings up a
// daemon of its own.
bool IsCommandHostRun(int argc, const char* const* argv) {
    return argc >= 2 && argv[1] != nullptr &&
           Kiv::PStringCache::Create(argv[1]).ToLower() == Kiv::PString("wexcommandhost");
}

void OpenDaemonLink(const OwnOptions& own) {
    WEXClientOptions options;
    options.SetDefaults();
    // A command never starts the daemon again once the link has dropped; the hellos of the
    // open start it when it is not running.
    options.mayStartDaemon = 0;
    options.secondFlag = 0;
    options.clientFlag = own.wexClientEnabled ? 1 : 0;
    ApplyLinkRetryFromEnvironment();
    WEXInstallClientLink();
    WEXSetArchiveBuildCall(&CdpBuildArchiveFromExport);
    WEXInstallArchiveHostCalls();
    WEXInstallTextureHostCall();
    WEXInstallValidationHostCall();
    InstallScriptSpecRegistry();
    HalvexWorld::InstallWorldNatives();
    WEXOpenDatabase(options);
}

}  // namespace

void SetInterfaceLanguageFromSettings() {
    Kiv::PString language = WEXGetInterfaceLanguage();
    InterfaceTextDB::SetLanguage(language.view().empty() ? kDefaultLanguage : language.c_str());
    InterfaceTextDB::MarkUnloaded();
}

std::optional<uint32_t> ParseLinkRetryMs(std::string_view text) {
    uint32_t ms = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), ms);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() ||
        ms > kMaxTestRetryMs)
        return std::nullopt;
    return ms;
}

void ApplyLinkRetryFromEnvironment() {
    const char* text = std::getenv(kLinkRetryEnvironment);
    if (text == nullptr) return;
    std::optional<uint32_t> ms = ParseLinkRetryMs(text);
    if (!ms) {
        LogOutputf("InitEngine> ignoring %s='%s'", kLinkRetryEnvironment, text);
        return;
    }
    WEXLinkTiming timing;
    timing.retryDelayMs = *ms;
    SetWEXLinkTiming(timing);
}

bool InitEngine(EngineRecord& record, int argc, const char* const* argv, std::ostream& err) {
    return InitEngineAt(GetProgramPath(), record, argc, argv, err);
}

bool InitEngineAt(const Kiv::File::Path& programPath, EngineRecord& record, int argc,
                  const char* const* argv, std::ostream& err) {
    StartupState& state = State();
    const ValidationStartup validation = GetValidationStartup();

    validation.startErrorHandler();
    state.errorHandlerStarted = true;

    state.programPath = programPath;
    state.programPath.Normalize();
    const std::string programFolder(state.programPath.GetFolder());
    state.savedWorkingDirectory = CurrentWorkingDirectory();
    if (::chdir(programFolder.c_str()) != 0)
        LogOutputf("InitEngine> cannot change to the program's folder '%s'", programFolder.c_str());

    Kiv::File::Path dataFolder(programFolder);
    dataFolder.AddPath(kValidationDataFolder);
    if (!validation.startDataManager(dataFolder.view())) {
        err << "- DUVLib initialisation failed." << std::endl;
        return false;
    }
    state.dataManagerStarted = true;

    const OwnOptions own = ScanOwnOptions(argc, argv);
    if (!StartEngineObjects(record, BuildEngineOptionString(own), err)) return false;

    validation.giveEngineRecord(record);
    validation.registerVertexTypes();
    state.vertexTypesRegistered = true;
    NetStartup();
    state.netStarted = true;

    SetUpDataFolders(state.programPath);
    state.foldersPrepared = true;

    WEXClientSetDaemonLaunchBarred(IsCommandHostRun(argc, argv));
    OpenDaemonLink(own);
    RecordMainThreadId();
    SetInterfaceLanguageFromSettings();
    LookupPluginByUId(state.imagePlugins, *Kiv::UId::Parse(kImagePluginFamily), kImagePluginType);
    state.marker = std::make_unique<StartupMarker>();

    // The link has logged why it is not up; the caller says that start-up failed. What another
    // user planted is said plainly, since the user has to remove it.
    if (!WEXClientIsLinkUp()) {
        std::string refusal = WEXClientLinkRefusal();
        if (!refusal.empty())
            err << "- The asset-database daemon was not trusted: " << refusal << std::endl;
        return false;
    }
    return true;
}

void ShutdownEngine(EngineRecord& record) {
    StartupState& state = State();
    const ValidationStartup validation = GetValidationStartup();

    // Stopped first, so that no worker touches what is taken down after it.
    WorkerCallQueue::Instance().Shutdown();
    ReleasePluginHolder(state.imagePlugins);
    WEXCloseDatabase();
    WorkerCallQueue::Instance().RemoveCallsOf(nullptr, false);
    state.marker.reset();

    if (state.vertexTypesRegistered) validation.unregisterVertexTypes();
    state.vertexTypesRegistered = false;
    if (state.dataManagerStarted) validation.stopDataManager();
    state.dataManagerStarted = false;
    if (state.errorHandlerStarted) validation.stopErrorHandler();
    state.errorHandlerStarted = false;

    if (state.foldersPrepared) ReleaseDataFolders();
    state.foldersPrepared = false;
    if (state.netStarted) NetShutdown();
    state.netStarted = false;
    // The task registry (one repair at a time) is cleared by the repair itself when it ends.

    DestroyEngineObjects(record);
}

const std::string& GetSavedWorkingDirectory() {
    return State().savedWorkingDirectory;
}

const Kiv::File::Path& GetStartedProgramPath() {
    return State().programPath;
}

Kiv::File::Path GetStartedProgramFolder() {
    return Kiv::File::Path(State().programPath.GetFolder());
}

const PluginHolder& GetImagePluginHolder() {
    return State().imagePlugins;
}
