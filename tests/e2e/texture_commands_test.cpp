// Texture conversion end to end: "compresstexture" on an asset's editing copy, and a commit
// that has the daemon's command host convert the asset's descriptions before it installs them,
// all staged programs in a fresh install tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "materials/texture_test_support.h"
#include "tests/e2e/harness.h"

namespace {

namespace fs = std::filesystem;
using e2e::PosixExitCode;

constexpr const char* kClean = "OK (0 Errors, 0 Warnings)\n";

class TextureCommands : public testing::Test {
protected:
    TextureCommands() {
        tree.WriteFile("work/box/config.txt",
                       "kuid <kuid:12:34>\r\nusername \"Box\"\r\nkind \"scenery\"\r\n");
        tree.WriteFile("work/box/art/side.tga", texture_test::GradientTga(64, 64));
        tree.WriteFile("work/box/art/side.texture.txt", "Primary=side.tga\r\n");
        ExpectRun({"installfrompath", "box"}, 0, kClean);
    }
    e2e::RunResult Run(const std::vector<std::string>& args) {
        e2e::RunResult r = tree.Run("HalvexUtil", args);
        EXPECT_EQ(r.err, "") << args[0];
        EXPECT_EQ(r.signal, 0) << args[0];
        return r;
    }
    void ExpectRun(const std::vector<std::string>& args, int exitCode, const std::string& out) {
        e2e::RunResult r = Run(args);
        EXPECT_EQ(r.out, out) << args[0];
        EXPECT_EQ(r.exitCode, PosixExitCode(exitCode)) << args[0];
    }
    std::string Installed() const { return tree.Root() + "/UserData/local/kuid 12 34"; }
    std::string Editing() const { return tree.Root() + "/UserData/editing/kuid 12 34"; }
    // The file is a texture file of the 64 by 64 picture: the container and its type, level 0.
    void ExpectTexture(const std::string& path) {
        ASSERT_TRUE(fs::exists(path)) << path;
        const std::string bytes = tree.ReadFile(path);
        ASSERT_GT(bytes.size(), 36u);
        EXPECT_EQ(bytes.substr(0, 4), "JIRF");
        EXPECT_EQ(bytes.substr(8, 4), "MMTF");
    }

    e2e::InstallTree tree;
};

TEST_F(TextureCommands, CompressTextureConvertsTheDescriptionsOfAnAssetsEditingCopy) {
    ExpectRun({"edit", "<kuid:12:34>"}, 0, "+ <kuid:12:34> : " + Editing() + "\n" + kClean);
    ExpectRun({"compresstexture", Editing()}, 0, kClean);
    ExpectTexture(Editing() + "/art/side.texture");
    // A relative folder is taken from the program's folder, bin/.
    fs::remove(Editing() + "/art/side.texture");
    ExpectRun({"compresstexture", "../UserData/editing/kuid 12 34/art"}, 0, kClean);
    ExpectTexture(Editing() + "/art/side.texture");
}

TEST_F(TextureCommands, ADescriptionOutsideEveryResourceDatabaseIsNotConverted) {
    const std::string description = tree.WorkDir() + "/box/art/side.texture.txt";
    e2e::RunResult r = Run({"compresstexture", tree.WorkDir() + "/box"});
    EXPECT_EQ(r.out, "- <NULL> : Unable to determine relative path for '" + description +
                         "'\n- <NULL> : Texture conversion failed (" + description +
                         ")\nOK (2 Errors, 0 Warnings)\n");
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
    EXPECT_FALSE(fs::exists(tree.WorkDir() + "/box/art/side.texture"));
    ExpectRun({"compresstexture", tree.WorkDir() + "/none"}, -1,
              "- <NULL> : Unable to search path: '" + tree.WorkDir() +
                  "/none'\nOK (1 Errors, 0 Warnings)\n");
}

TEST_F(TextureCommands, ACommitInstallsTheConvertedTextures) {
    ExpectRun({"edit", "<kuid:12:34>"}, 0, "+ <kuid:12:34> : " + Editing() + "\n" + kClean);
    ExpectRun({"commit", "<kuid:12:34>"}, 0, kClean);
    ExpectTexture(Installed() + "/art/side.texture");
    EXPECT_TRUE(fs::exists(Installed() + "/art/side.texture.txt"));
    EXPECT_FALSE(fs::exists(Installed() + "/art/side.convert-tex.txt"));
    ExpectRun({"closewexdaemon"}, 0, kClean);
    const std::string daemonLog = tree.ReadFile(tree.Root() + "/UserData/wexdaemon.log");
    EXPECT_NE(daemonLog.find("commit: textures of " + Editing() + " converted: 1"),
              std::string::npos)
        << daemonLog;
    const std::string hostLog = tree.ReadFile(tree.Root() + "/UserData/commandhost.log");
    EXPECT_EQ(hostLog.find("Sanitizer"), std::string::npos) << hostLog;
    EXPECT_EQ(hostLog.find("runtime error"), std::string::npos) << hostLog;
}

TEST(ProgramImage, ExportsItsPluginEntryAndNoOtherFunction) {
    e2e::InstallTree tree;
    e2e::RunResult r =
        e2e::RunProgram("/usr/bin/nm", {"-D", "--defined-only", tree.Program("HalvexUtil")}, {});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    // Functions are "T" (or "W", "i"); the data a program's image always carries for the
    // libraries it uses (copy-relocated streams, sanitizer switches) is not code it exports.
    std::vector<std::string> functions;
    std::istringstream lines(r.out);
    std::string address, type, name;
    while (lines >> address >> type >> name)
        if (type == "T" || type == "W" || type == "i") functions.push_back(name);
    EXPECT_EQ(functions, std::vector<std::string>{"KivGetPlugins"}) << r.out;
}

}  // namespace
