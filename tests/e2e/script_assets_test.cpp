// Scripted assets end to end: "validate" hands the asset folder to the command host, which
// compiles every source into the user-data script cache, links the script class and matches it
// against the asset's kind; each failure comes back as an error of the validation.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "foundation/crc32.h"
#include "tests/e2e/utility_fixture.h"
#include "tests/support/file_stamp.h"

namespace {

namespace fs = std::filesystem;
using e2e::kClean;

std::string CachedName(const std::string& text, const char* name) {
    char out[32];
    std::snprintf(out, sizeof out, "%08x%08x.gsl", Crc32(text.data(), text.size()),
                  Crc32NoCase(name));
    return out;
}

using testsupport::StampOf;
using Stamp = testsupport::FileStamp;

class ScriptAssets : public e2e::UtilityTest {
protected:
    std::string Validate(const std::string& kuid) {
        e2e::RunResult r = Run({"validate", kuid});
        EXPECT_EQ(r.exitCode, 0) << kuid;
        return r.out;
    }
    std::string Source(const std::string& rel) {
        return tree.ReadFile(std::string(HALVEX_SOURCE_DIR) + "/examples/assets/" + rel);
    }
    // An example's files copied into the folder to install.
    void CopyExample(const std::string& example, const std::string& to) {
        for (const auto& [name, bytes] :
             tree.FilesBelow(std::string(HALVEX_SOURCE_DIR) + "/examples/assets/" + example))
            tree.WriteFile("work/a/" + to + "/" + name, bytes);
    }
    // The signal box example under another KUID, with script lines and sources.
    void Scripted(const std::string& folder, int id, const std::string& lines,
                  const std::map<std::string, std::string>& sources,
                  const std::string& base = "scenery/signal-box", const std::string& from = "101") {
        std::string config = Source(base + "/config.txt");
        config.replace(config.find("<kuid:424242:" + from + ">"), 17,
                       "<kuid:424242:" + std::to_string(id) + ">");
        tree.WriteFile("work/a/" + folder + "/config.txt", config + lines);
        for (const auto& [name, text] : sources)
            tree.WriteFile("work/a/" + folder + "/" + name, text);
    }
    void Install() { ExpectRun({"installfrompath", "a"}, 0, kClean); }
    std::string Cache(int id) {
        return tree.Root() + "/UserData/cache/libraries/kuid 424242 " + std::to_string(id);
    }
    bool HaveShippedScripts() { return fs::exists(tree.Root() + "/scripts/Vehicle.gs"); }
};

TEST_F(ScriptAssets, GoodAssetsLeaveOneCachedLibraryPerSourceAndAreNotRebuilt) {
    if (!tree.ShipsNativeScriptLibraries()) GTEST_SKIP() << "no native script libraries yet";
    CopyExample("scripted/lineside-hut", "hut");
    CopyExample("scripted/shunter-script", "shunter");
    Install();
    EXPECT_EQ(Validate("<kuid:424242:106>"), kClean);
    const std::string hut =
        Cache(106) + "/" + CachedName(Source("scripted/lineside-hut/hut.gs"), "hut.gs");
    EXPECT_EQ(tree.FilesBelow(Cache(106)).size(), 1u);
    ASSERT_TRUE(fs::exists(hut));
    const Stamp before = StampOf(hut);
    EXPECT_EQ(Validate("<kuid:424242:106>"), kClean);
    EXPECT_EQ(StampOf(hut), before);
    EXPECT_EQ(tree.FilesBelow(Cache(106)).size(), 1u);

    if (!HaveShippedScripts()) GTEST_SKIP() << "the install ships no Vehicle.gs yet";
    EXPECT_EQ(Validate("<kuid:424242:105>"), kClean);
    const std::vector<std::string> names{
        CachedName(Source("scripted/shunter-script/shunter.gs"), "shunter.gs"),
        CachedName(Source("scripted/shunter-script/shunter-lights.gs"), "shunter-lights.gs")};
    std::vector<Stamp> stamps;
    for (const std::string& n : names) {
        ASSERT_TRUE(fs::exists(Cache(105) + "/" + n)) << n;
        stamps.push_back(StampOf(Cache(105) + "/" + n));
    }
    EXPECT_EQ(Validate("<kuid:424242:105>"), kClean);
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(StampOf(Cache(105) + "/" + names[i]), stamps[i]) << names[i];
}

TEST_F(ScriptAssets, WithoutTheNativeLibrariesEveryScriptedAssetSaysSo) {
    if (tree.ShipsNativeScriptLibraries()) GTEST_SKIP() << "the install ships them";
    CopyExample("scripted/lineside-hut", "hut");
    Install();
    EXPECT_EQ(Validate("<kuid:424242:106>"),
              "- <kuid:424242:106> : WEXCompileAsset unable to initialise script system\n"
              "OK (1 Errors, 0 Warnings)\n");
    EXPECT_FALSE(fs::exists(Cache(106)));
}

TEST_F(ScriptAssets, EachScriptFailureIsAnErrorOfTheValidation) {
    if (!tree.ShipsNativeScriptLibraries()) GTEST_SKIP() << "no native script libraries yet";
    const std::string plain = "class Plain\n{\n};\n";
    Scripted("syntax", 310, "script \"main\"\nclass \"Plain\"\n",
             {{"main.gs", "class Plain\n{\n  int ;\n};\n"}});
    Scripted("kind", 311, "script \"main\"\nclass \"Plain\"\n", {{"main.gs", plain}},
             "traincars/yard-shunter", "102");
    Scripted("noprimary", 312, "script \"main\"\nclass \"Plain\"\n", {{"other.gs", plain}});
    Scripted("twins", 313, "script \"main\"\nclass \"Plain\"\n", {{"main.gs", plain}});
    Scripted("two", 314, "script \"main\"\nclass \"Plain\"\n",
             {{"main.gs", "class {\n"}, {"more.gs", "class More {\n"}});
    Scripted("quote", 315, "script \"ma'in\"\nclass \"Plain\"\n", {{"main.gs", plain}});
    // The ".gse" of another text beside "main.gs".
    const std::string other = "class Other\n{\n};\n";
    tree.WriteFile("work/enc/main.gs", other);
    ASSERT_EQ(Run({"encrypt", "enc/main.gs"}).out, kClean);
    tree.WriteFile("work/a/twins/main.gse", tree.ReadFile(tree.WorkDir() + "/enc/main.gse"));
    Install();

    std::string out = Validate("<kuid:424242:310>");
    EXPECT_EQ(out.find("- <kuid:424242:310> : HalvexBaseSpec::CacheScripts> Syntax error in "
                       "script of asset 'kuid 424242 310 \""),
              0u)
        << out;
    EXPECT_NE(out.find("main.gs(3)"), std::string::npos) << out;  // the compiler's own line
    EXPECT_NE(out.find("OK (1 Errors, 0 Warnings)\n"), std::string::npos) << out;

    EXPECT_EQ(Validate("<kuid:424242:311>"),
              "- <kuid:424242:311> : Script class does not match asset kind (vehicle).\n"
              "OK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(Validate("<kuid:424242:312>"),
              "- <kuid:424242:312> : Script file 'main' does not exist.\n"
              "- <kuid:424242:312> : Unable to locate primary script source file 'main.gs'\n"
              "OK (2 Errors, 0 Warnings)\n");
    EXPECT_EQ(Validate("<kuid:424242:313>"),
              "- <kuid:424242:313> : CRC Mismatch on '" + CachedName(other, "main.gs") +
                  "' after recompile. Do you have both .gs and .gse present?\n"
                  "OK (1 Errors, 0 Warnings)\n");
    out = Validate("<kuid:424242:314>");
    EXPECT_NE(out.find("OK (2 Errors, 0 Warnings)\n"), std::string::npos) << out;
    EXPECT_EQ(Validate("<kuid:424242:315>"),
              "- <kuid:424242:315> : Script file 'ma'in' does not exist.\n"
              "- <kuid:424242:315> : The asset's script or class name holds a quote, a line end "
              "or a path separator.\nOK (2 Errors, 0 Warnings)\n");
}

TEST_F(ScriptAssets, ACachedLibraryWhoseHeaderWasEditedIsRebuiltOnce) {
    if (!tree.ShipsNativeScriptLibraries()) GTEST_SKIP() << "no native script libraries yet";
    CopyExample("scripted/lineside-hut", "hut");
    Install();
    EXPECT_EQ(Validate("<kuid:424242:106>"), kClean);
    const std::string hut =
        Cache(106) + "/" + CachedName(Source("scripted/lineside-hut/hut.gs"), "hut.gs");
    const std::string good = tree.ReadFile(hut);
    ASSERT_GT(good.size(), 20u);
    std::string edited = good;
    edited[12] ^= 0x11;  // the header's first id word
    tree.WriteFile(hut, edited);
    EXPECT_EQ(Validate("<kuid:424242:106>"), kClean);
    EXPECT_EQ(tree.ReadFile(hut), good);
    EXPECT_EQ(tree.FilesBelow(Cache(106)).size(), 1u);
}

// An asset open for edit may not cache its own scripts: its fresh cache folder starts from the
// install's prebuilt libraries of that asset, the prebuilt folder's own files only. A link
// there to a file elsewhere is not followed.
TEST_F(ScriptAssets, PrebuiltLibrariesAreCopiedButNoLinkIsFollowed) {
    if (!tree.ShipsNativeScriptLibraries()) GTEST_SKIP() << "no native script libraries yet";
    CopyExample("scripted/lineside-hut", "hut");
    Install();
    EXPECT_EQ(Run({"edit", "<kuid:424242:106>"}).exitCode, 0);
    const std::string prebuilt = tree.Root() + "/prebuilt/asset-libraries/kuid 424242 106";
    tree.WriteFile(prebuilt + "/shipped.gsl", "prebuilt bytes");
    tree.WriteFile("work/private.txt", "not for the cache");
    fs::create_symlink(tree.WorkDir() + "/private.txt", prebuilt + "/linked.gsl");
    EXPECT_EQ(Validate("<kuid:424242:106>"), kClean);
    EXPECT_EQ(tree.ReadFile(Cache(106) + "/shipped.gsl"), "prebuilt bytes");
    EXPECT_FALSE(fs::exists(Cache(106) + "/linked.gsl"));
}

}  // namespace
