// The command host's validation job: which configuration file it validates, what it says when
// there is none, the per-asset flags it clears afterwards, and that its result needs the
// scripts to compile as well.
#include "script/host/validate_asset_task.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assetdb/spec_registry.h"
#include "configdata/config_file.h"
#include "script/host/compile_asset.h"
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
  }
}
)";

class ValidateAssetTask : public duvtest::Validator {
protected:
    void SetUp() override {
        duvtest::Validator::SetUp();
        StartOn({{"kind.txt", kKinds}, {"lists/words.txt", "alpha\n"}});
        InstallScriptSpecRegistry();
        CreateSpecRegistry();
        SetScriptSystemRegistration([] { return true; });
    }
    void TearDown() override {
        SetScriptSystemRegistration(nullptr);
        DestroySpecRegistry();
        SetSpecRegistryFactory(nullptr);
        duvtest::Validator::TearDown();
    }
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

}  // namespace
