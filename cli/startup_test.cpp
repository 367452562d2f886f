// Start-up and shutdown "as" a program in a temporary install without a daemon: the steps in
// their order, each failing step with its lines, and shutdown taking down exactly what came up.
#include "cli/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "assetdb/daemon_link.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "cli/run_command.h"
#include "cli/validation_startup.h"
#include "cli/working_directory.h"
#include "configdata/interface_text.h"
#include "foundation/main_thread.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/os.h"
#include "platform/kiv/display/render_kernel.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace {

constexpr const char* kRetryLine = "Unable to load render kernel. Retrying with -NullRender.\n";

// The validation steps as they are called, with what each saw.
std::vector<std::string> gSteps;

ValidationStartup RecordingSteps() {
    ValidationStartup s;
    s.startErrorHandler = [] { gSteps.push_back("start error handler"); };
    s.stopErrorHandler = [] { gSteps.push_back("stop error handler"); };
    s.startDataManager = [](std::string_view folder) {
        gSteps.push_back("start data manager on " + std::string(folder) + " in " +
                         CurrentWorkingDirectory());
        return DefaultValidationStartup().startDataManager(folder);
    };
    s.giveEngineRecord = [](const EngineRecord& r) {
        gSteps.push_back(std::string("engine record, render kernel ") +
                         (r.renderKernel != nullptr && r.renderKernel->IsInitialised()
                              ? "started"
                              : "not started"));
    };
    s.stopDataManager = [] {
        gSteps.push_back("stop data manager");
        DefaultValidationStartup().stopDataManager();
    };
    s.registerVertexTypes = [] { gSteps.push_back("register vertex types"); };
    s.unregisterVertexTypes = [] { gSteps.push_back("unregister vertex types"); };
    return s;
}

class Startup : public testing::Test {
protected:
    void SetUp() override {
        gSteps.clear();
        SetValidationStartup(RecordingSteps());
        WEXLinkTiming timing;
        timing.retryDelayMs = 0;
        timing.sleep = [](uint32_t) {};
        SetWEXLinkTiming(timing);
        before_ = CurrentWorkingDirectory();
        std::filesystem::create_directories(dir / "bin/DUVData");
        std::filesystem::create_directories(dir / "Data");
        std::filesystem::create_directories(dir / "user");
        ASSERT_EQ(::chdir((dir / "user").c_str()), 0);
    }
    void TearDown() override {
        ShutdownEngine(engine);
        EXPECT_EQ(engine.os, nullptr);
        Kiv::OS::FailNextInitsForTesting(0);
        Kiv::RenderKernel::FailNextInitsForTesting(0);
        Kiv::Log::Discard();
        SetWEXLinkTiming({});
        SetValidationStartup(DefaultValidationStartup());
        EXPECT_EQ(::chdir(before_.c_str()), 0);
    }
    int Command(std::vector<std::string> args) {
        args.insert(args.begin(), "HalvexUtil");
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ResultsLog log;
        std::ostringstream out;
        return RunCommand(log, engine, static_cast<int>(args.size()), argv.data(), out, err);
    }
    bool Start(std::vector<const char*> args = {"HalvexUtil", "version"}) {
        return InitEngineAt(dir / "bin/HalvexUtil", engine, static_cast<int>(args.size()),
                            args.data(), err);
    }

    testsupport::TempDir dir;
    EngineRecord engine;
    std::ostringstream err;
    std::string before_;
};

TEST_F(Startup, RunsEveryStepInOrderAndFailsWithoutADaemon) {
    EXPECT_FALSE(Start({"HalvexUtil", "version", "NoRender", "-KIVLOG"}));
    // The link logged why; the line that start-up failed is the caller's.
    EXPECT_EQ(err.str(), "");
    const std::string bin = dir / "bin";
    EXPECT_EQ(gSteps, (std::vector<std::string>{
                          "start error handler",
                          "start data manager on " + bin + "/DUVData/ in " + bin,
                          "engine record, render kernel started",
                          "register vertex types",
                      }));
    EXPECT_EQ(GetValidationDataFolder(), bin + "/DUVData/");
    // The user's directory is kept for relative paths; the process works in the program's.
    EXPECT_EQ(GetSavedWorkingDirectory(), dir / "user");
    EXPECT_EQ(CurrentWorkingDirectory(), bin);
    EXPECT_EQ(GetStartedProgramFolder().str(), bin);
    // The program's own options, wherever they stand and in any letter case.
    EXPECT_TRUE(engine.renderKernel->IsNullRender());
    EXPECT_TRUE(engine.os->GetOptions().Has("NullRender"));
    EXPECT_TRUE(Kiv::Log::IsToStdOut());
    // The folders of the install, the link's attempts, the main thread, the language.
    for (const char* folder : {"cache", "backups", "editing", "local", "settings"})
        EXPECT_TRUE(std::filesystem::is_directory(dir / ("UserData/" + std::string(folder))))
            << folder;
    EXPECT_FALSE(WEXClientIsOpen());
    EXPECT_TRUE(IsMainThread());
    EXPECT_EQ(InterfaceTextDB::GetFileName().str(), "InterfaceText.chump");

    ShutdownEngine(engine);
    EXPECT_EQ(std::vector<std::string>(gSteps.begin() + 4, gSteps.end()),
              (std::vector<std::string>{"unregister vertex types", "stop data manager",
                                        "stop error handler"}));
    EXPECT_EQ(GetValidationDataFolder(), "");
    EXPECT_EQ(engine.renderKernel, nullptr);
    EXPECT_EQ(Kiv::RenderKernel::GetCurrent(), nullptr);
}

TEST_F(Startup, WithoutOwnOptionsTheEngineRendersAndLogsNowhere) {
    EXPECT_FALSE(Start());
    EXPECT_FALSE(engine.renderKernel->IsNullRender());
    EXPECT_FALSE(engine.os->GetOptions().Has("NullRender"));
    EXPECT_FALSE(Kiv::Log::IsToStdOut());
}

TEST_F(Startup, AMissingValidatorFolderDoesNotStopStartUp) {
    // The validator then has no definitions; everything else starts as usual.
    std::filesystem::remove_all(dir / "bin/DUVData");
    EXPECT_FALSE(Start());  // no daemon
    EXPECT_EQ(err.str(), "");
    EXPECT_NE(engine.os, nullptr);
    EXPECT_EQ(gSteps.back(), "register vertex types");
    ShutdownEngine(engine);
    EXPECT_EQ(gSteps.back(), "stop error handler");
}

TEST_F(Startup, AnEngineStepThatFailsTwiceEndsStartUp) {
    struct Case {
        void (*failTwice)();
        std::string err;
    };
    const Case cases[] = {
        {[] { Kiv::OS::FailNextInitsForTesting(2); },
         std::string(kRetryLine) + "- Kiv OS initialisation failed.\n"},
        {[] { Kiv::RenderKernel::FailNextInitsForTesting(2); },
         std::string(kRetryLine) + "- Unable to initialize render system\n\n"},
    };
    for (const Case& c : cases) {
        gSteps.clear();
        err.str("");
        c.failTwice();
        EXPECT_FALSE(Start());
        EXPECT_EQ(err.str(), c.err);
        // Nothing after the engine ran.
        EXPECT_EQ(gSteps.size(), 2u) << c.err;
        EXPECT_FALSE(std::filesystem::exists(dir / "UserData"));
        ShutdownEngine(engine);
        EXPECT_EQ(engine.os, nullptr);
    }
}

TEST_F(Startup, RelativePathArgumentsAreTakenAsEachCommandSays) {
    EXPECT_FALSE(Start());
    requesttest::ScriptedTransport daemon;
    daemon.Answer(kWEXRequestInstallArchive, requesttest::Wire().U32(1).Bool(true));
    daemon.Answer(kWEXRequestInstalledBuilds, requesttest::Wire().Name("49922"));
    // An archive is taken from the user's directory, the list of builds is written in the
    // program's folder (where the process works).
    EXPECT_EQ(Command({"installcdp", "Sub/A.cdp"}), 0);
    EXPECT_EQ(Command({"installcdp", "/abs/B.cdp"}), 0);
    EXPECT_EQ(Command({"listbuilds", "Builds.txt"}), 0);
    std::vector<requesttest::SentMessage> installs = daemon.SentWithId(kWEXRequestInstallArchive);
    ASSERT_EQ(installs.size(), 2u);
    EXPECT_EQ(
        installs[0].payload,
        requesttest::Bytes(requesttest::Wire().Text(dir / "user/Sub/A.cdp").U32(2).Bool(false)));
    EXPECT_EQ(installs[1].payload,
              requesttest::Bytes(requesttest::Wire().Text("/abs/B.cdp").U32(2).Bool(false)));
    EXPECT_EQ(dir.Read("bin/Builds.txt"), "49922\r\n");
}

TEST(InterfaceLanguage, ComesFromTheDaemonsSettingOrIsTheDefault) {
    requesttest::ScriptedTransport daemon;
    struct Case {
        const char* setting;  // null: the daemon cannot be reached
        const char* file;
    };
    const Case cases[] = {{"de", "InterfaceGerman.chump"},
                          {"", "InterfaceText.chump"},
                          {"FR", "InterfaceFrench.chump"},
                          {nullptr, "InterfaceText.chump"}};
    for (const Case& c : cases) {
        if (c.setting != nullptr)
            daemon.Answer(kWEXRequestGetSetting, requesttest::Wire().Name(c.setting));
        else
            daemon.Unreachable(kWEXRequestGetSetting);
        SetInterfaceLanguageFromSettings();
        EXPECT_EQ(InterfaceTextDB::GetFileName().str(), c.file) << c.file;
    }
    EXPECT_EQ(daemon.Sent().back().payload,
              requesttest::Bytes(requesttest::Wire().Name("internet").Name("language")));
}

TEST(LinkRetryEnvironment, OnlyAWellFormedNumberOfMillisecondsCounts) {
    struct Case {
        const char* value;
        std::optional<uint32_t> ms;
    };
    const Case cases[] = {{"0", 0},      {"25", 25}, {"60000", 60000},
                          {"60001", {}}, {"-5", {}}, {"12ms", {}},
                          {"", {}},      {" 5", {}}, {"99999999999", {}}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseLinkRetryMs(c.value), c.ms) << c.value;
}

}  // namespace
