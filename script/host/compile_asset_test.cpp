// The asset compile job: each of its refusals, the registration retried after a failure, a spec
// of another kind already registered, and the asset spec released (forgotten) after every compile.
#include "script/host/compile_asset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configdata/config_file.h"
#include "script/host/script_host_test_support.h"

namespace {

using hosttest::Lines;

int gRegistrations = 0;
bool gRegistrationWorks = false;
bool CountedRegistration() {
    ++gRegistrations;
    return gRegistrationWorks;
}

class CompileAsset : public hosttest::ScriptHost {
protected:
    void TearDown() override {
        SetScriptSystemRegistration(nullptr);
        hosttest::ScriptHost::TearDown();
    }
    std::vector<std::string> Compile(const std::string& folder, bool* result = nullptr) {
        ResultsLog log;
        bool ok = WEXCompileAsset(folder, log);
        if (result != nullptr) *result = ok;
        return Lines(log);
    }
};

TEST_F(CompileAsset, ARefusedRegistrationIsReportedAndTriedAgainNextTime) {
    dir.Write("a/config.txt", "kuid <kuid:424242:50>\nscript \"main\"\nclass \"Main\"\n");
    dir.Write("a/main.gs", "class Main\n{\n};\n");
    dir.Write("plain/config.txt", "kuid <kuid:424242:49>\n");
    gRegistrations = 0;
    gRegistrationWorks = false;
    SetScriptSystemRegistration(&CountedRegistration);
    bool ok = true;
    EXPECT_EQ(Compile(dir / "a", &ok),
              std::vector<std::string>{"3 WEXCompileAsset unable to initialise script system"});
    EXPECT_FALSE(ok);
    EXPECT_EQ(Compile(dir / "a"),
              std::vector<std::string>{"3 WEXCompileAsset unable to initialise script system"});
    EXPECT_EQ(gRegistrations, 2);
    // An asset without scripts needs none of it.
    EXPECT_EQ(Compile(dir / "plain", &ok), std::vector<std::string>{});
    EXPECT_TRUE(ok);
    EXPECT_EQ(gRegistrations, 2);
    gRegistrationWorks = true;
    EXPECT_EQ(Compile(dir / "a", &ok), std::vector<std::string>{});
    EXPECT_TRUE(ok);
    EXPECT_EQ(Compile(dir / "a"), std::vector<std::string>{});
    EXPECT_EQ(gRegistrations, 3);  // once it worked, never again
}

TEST_F(CompileAsset, RefusesAFolderWithoutConfigOrKuidAndASpecOfAnotherKind) {
    bool ok = true;
    EXPECT_EQ(Compile(dir / "none", &ok),
              std::vector<std::string>{"3 WEXCompileAsset unable to load asset config"});
    EXPECT_FALSE(ok);
    dir.Write("nokuid/config.txt", "kind scenery\n");
    EXPECT_EQ(Compile(dir / "nokuid"),
              std::vector<std::string>{"3 WEXCompileAsset unable to determine asset KUID"});

    // The binary configuration is read before the text one.
    dir.Write("both/config.txt", "kuid <kuid:424242:51>\nscript nosuch\n");
    dir.Write("both/main.gs", "class Main\n{\n};\n");
    TDBTagRef binary;
    ASSERT_TRUE(ReadConfigFile(
        "", dir.Write("b.txt", "kuid <kuid:424242:51>\nscript main\nclass Main\n"), binary));
    ASSERT_TRUE(WriteConfigFile(binary, "", dir / "both/config.chump"));
    EXPECT_EQ(Compile(dir / "both", &ok), std::vector<std::string>{});
    EXPECT_TRUE(ok);

    struct Other : KTSpecFactory {
        Other() : KTSpecFactory("--other--") {}
        ZuravedavaSpec* Make(const KUID& kuid, Kiv::String folder, Kiv::String name,
                             TDBTagRef config) override {
            return new ZuravedavaSpec(kuid, std::move(folder), std::move(name), std::move(config));
        }
    } other;
    ZuravedavaSpec* foreign = Registry().Create(Kiv::PString("--other--"), KUID(424242, 51),
                                                Kiv::String(dir.path()), "both", TDBTagRef());
    ASSERT_NE(foreign, nullptr);
    EXPECT_EQ(Compile(dir / "both", &ok),
              std::vector<std::string>{"3 Asset of wrong spec type for compilation"});
    EXPECT_FALSE(ok);
    // The compile released it through the registry, which forgot it: the next compile makes
    // a spec of its own.
    EXPECT_EQ(Registry().Find(KUID(424242, 51)), nullptr);
    EXPECT_EQ(foreign->RefCount(), 1);  // the test's own
    Registry().Release(foreign);
    EXPECT_EQ(Compile(dir / "both"), std::vector<std::string>{});
    Registry().ReportLeaks();
    EXPECT_EQ(Registry().LiveCount(), 0u);

    DestroySpecRegistry();
    EXPECT_EQ(Compile(dir / "both"),
              std::vector<std::string>{"3 Failed to load asset for compilation"});
}

}  // namespace
