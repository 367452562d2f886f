// The command host's validation job: which configuration file it validates, what it says when
// there is none, the per-asset flags it clears afterwards, that its result needs the scripts to
// compile as well, and the leak report the command host makes after the call.
#include "script/host/validate_asset_task.h"

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "assetdb/command_host.h"
#include "assetdb/request_test_support.h"
#include "assetdb/spec_registry.h"
#include "configdata/config_file.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/log.h"
#include "script/host/compile_asset.h"
#include "script/host/script_host_test_support.h"
#include "script/host/spec_registry_host.h"
#include "validation/results_log.h"
#include "validation/validation_test_support.h"

namespace {

constexpr const char* kKinds = R"(
scenery
{
  top-level "1"
  subpossibilities
  {
    kuid { kind "value" type "kuid" }
    kind { kind "value" type "string" }
    halvex-build { kind "value" type "float" }
    alias { kind "value" type "kuid" }
    script { kind "value" type "string" }
    class { kind "value" type "string" }
  }
}
)";

class ValidateAssetTask : public duvtest::Validator {
protected:
    void SetUp() override {
        duvtest::Validator::SetUp();
        StartOn({{"kind.txt", kKinds}, {"lists/words.txt", "alpha\n"}});
        registry_.emplace();
    }
    void TearDown() override {
        registry_.reset();
        duvtest::Validator::TearDown();
    }
    std::optional<hosttest::ScopedScriptHostRegistry> registry_;
    std::vector<std::string> Run(const std::string& folder, bool& passed) {
        ResultsLog log;
        passed = ValidateAssetTaskRun(Kiv::PString(""), folder, log);
        std::vector<std::string> lines;
        log.ForEachEntry([&](const ResultsLogEntry& e) {
            lines.push_back(std::to_string(e.severity) + " " + std::string(e.text.view()));
        });
        return lines;
    }
};

TEST_F(ValidateAssetTask, ValidatesTheBinaryConfigFirstAndSaysWhenThereIsNone) {
    bool passed = true;
    EXPECT_EQ(
        Run(dir / "none", passed),
        (std::vector<std::string>{"3 No configuration file was found in '" + dir / "none" + "'.",
                                  "3 WEXCompileAsset unable to load asset config"}));
    EXPECT_FALSE(passed);

    dir.Write("asset/config.txt", "kuid <kuid:1:2>\nkind nosuchkind\nhalvex-build 3.6\n");
    TDBTagRef good;
    ASSERT_TRUE(ReadConfigFile("",
                               dir.Write("good.txt",
                                         "kuid <kuid:1:2>\nkind scenery\n"
                                         "halvex-build 3.6\n"),
                               good));
    ASSERT_TRUE(WriteConfigFile(good, "", dir / "asset/config.chump"));
    EXPECT_EQ(Run(dir / "asset", passed), std::vector<std::string>{});
    EXPECT_TRUE(passed);
}

TEST_F(ValidateAssetTask, ClearsThePerAssetFlagsAndPassesOnlyWhenTheScriptsCompileToo) {
    dir.Write("a/config.txt",
              "kuid <kuid:1:2>\nkind scenery\nhalvex-build 3.6\nalias <kuid:1:3>\n");
    bool passed = false;
    EXPECT_EQ(Run(dir / "a", passed),
              std::vector<std::string>{
                  "2 This asset has an 'alias' tag, so mesh problems are not reported."});
    EXPECT_TRUE(passed);
    // Left set, the alias would silence the mesh findings of every later asset.
    EXPECT_FALSE(Manager().meshMessagesSuppressed);
    EXPECT_FALSE(Manager().meshFailure);

    dir.Write("s/config.txt", "kuid <kuid:1:4>\nkind scenery\nhalvex-build 3.6\nscript main\n");
    EXPECT_EQ(Run(dir / "s", passed),
              std::vector<std::string>{"3 Unable to locate primary script source file 'main.gs'"});
    EXPECT_FALSE(passed);
}

// The command host runs a validation while something else still holds the asset's asset spec (as a
// script context that found the asset would): the call compiles with that asset spec and releases
// its own reference, and the leak report after the call names the asset spec with the count left.
TEST_F(ValidateAssetTask, TheCommandHostReportsTheSpecsStillHeldAfterACall) {
    dir.Write("held/config.txt",
              "kuid <kuid:424242:60>\nkind scenery\nhalvex-build 3.6\nscript main\nclass Main\n");
    dir.Write("held/main.gs", "class Main\n{\n};\n");
    const std::string folder = dir / "held";
    WEXCommandHostCalls saved = WEXGetCommandHostCalls();
    WEXInstallValidationHostCall();
    ScriptSpecRegistry& registry = *ScriptSpecRegistry::Get();
    WEXScript_HalvexBaseSpecFactory factory;
    registry.SetCurrentFactory(&factory);
    ZuravedavaSpec* held = registry.LoadSpecFromFolder(folder);
    registry.SetCurrentFactory(nullptr);
    ASSERT_NE(held, nullptr);

    std::mutex linesLock;
    std::vector<std::string> lines;
    const int listener = Kiv::Log::AddListener([&](std::string_view line) {
        std::lock_guard<std::mutex> hold(linesLock);
        if (line.starts_with("Leaked specs:") || line.starts_with("  (")) lines.emplace_back(line);
    });
    // A validate call: its answer is the log and the success byte.
    auto call = [&] {
        const requesttest::Bytes payload =
            requesttest::Wire().U32(kHostCallValidate).Name("").Name(folder).bytes();
        TBuffer in(payload.data(), static_cast<uint32_t>(payload.size()));
        TBuffer out;
        CommandHostCallback(in, out);
        out.Rewind();
        ResultsLog log;
        ResultsLog::ReadFromBuffer(out, log);
        uint8_t passed = 0;
        out.ReadU8(passed);
        log.ForEachEntry([](const ResultsLogEntry& e) { ADD_FAILURE() << e.text.str(); });
        EXPECT_EQ(passed, 1);
        std::lock_guard<std::mutex> hold(linesLock);
        return std::exchange(lines, {});
    };

    EXPECT_EQ(call(),
              (std::vector<std::string>{"Leaked specs:", "  (   1) - kuid 424242 60 \"held\""}));
    EXPECT_EQ(held->RefCount(), 1);
    // Released through the registry, the asset spec was forgotten: the next use loads it afresh.
    EXPECT_EQ(registry.Find(KUID(424242, 60)), nullptr);

    // Once its holder lets go, the next report deletes it and says nothing of it, nor of the
    // asset spec the second call made and released.
    held->DropRef();
    EXPECT_EQ(call(), std::vector<std::string>{});
    EXPECT_EQ(registry.LiveCount(), 0u);
    Kiv::Log::RemoveListener(listener);
    WEXSetCommandHostCalls(saved);
}

}  // namespace
