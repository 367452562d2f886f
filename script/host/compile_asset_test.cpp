// The asset compile job: each of its refusals, the registration retried after a failure, an asset
// spec of another kind already registered, the asset spec released (forgotten) after every compile,
// and a failed compile step reported by its own words alone.
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
    // an asset spec of its own.
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

// "Failed to compile asset" stands in for a compile step that fails without saying why. No
// failure of today's step is silent: the reading, compiling, linking and loading of every
// source, the missing primary, the unsafe names, the class look-up and the kind test each add
// their own error before the step gives false (the kind test's and the class look-up's are
// shown, through this job, in script_cache_test.cpp). So the fallback is not reached; what is
// checked is that it never follows a failure that was already reported.
TEST_F(CompileAsset, AFailureTheStepReportedIsNotFollowedByTheFallback) {
    struct Case {
        const char* folder;
        const char* source;
        const char* name;
        const char* message;  // the start of the step's one error
    };
    const Case cases[] = {
        {"syntax", "class Main\n{\n  int ;\n};\n", "main.gs",
         "3 HalvexBaseSpec::CacheScripts> Syntax error in script of asset 'kuid 424242 "},
        {"noprimary", "class Main\n{\n};\n", "other.gs",
         "3 Unable to locate primary script source file 'main.gs'"},
        {"unreadable", "not a scrambled file", "main.gse", "3 Unable to read script source file '"},
    };
    int id = 60;
    for (const Case& c : cases) {
        const std::string folder = std::string("f/") + c.folder;
        dir.Write(folder + "/config.txt",
                  "kuid <kuid:424242:" + std::to_string(++id) + ">\nscript main\nclass Main\n");
        dir.Write(folder + "/" + c.name, c.source);
        bool ok = true;
        const std::vector<std::string> lines = Compile(dir / folder, &ok);
        EXPECT_FALSE(ok) << c.folder;
        ASSERT_EQ(lines.size(), 1u) << c.folder << ": " << testing::PrintToString(lines);
        EXPECT_TRUE(lines[0].starts_with(c.message)) << lines[0];
    }
}

}  // namespace
