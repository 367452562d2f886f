// Texture conversion end to end: "compresstexture" on an asset's editing copy, and a commit
// that has the daemon's command host convert the asset's descriptions before it installs them,
// all staged programs in a fresh install tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/command_host.h"
#include "assetdb/daemon_link.h"
#include "assetdb/notifications.h"
#include "foundation/tbuffer.h"
#include "tests/support/scripted_daemon.h"
#include "validation/results_log.h"

#include "materials/texture_test_support.h"
#include "mesh/testing/lod_writer.h"
#include "platform/kiv/display/materials.h"
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

// Little-endian words and a name (length with its terminator, the text, the terminator) and a
// text (length, the text), as the daemon writes a call.
std::string Word(uint32_t w) {
    return testsupport::ScriptedDaemon::Word(w);
}
std::string TextureCall(const std::string& folder) {
    return Word(kHostCallTextureConvert) + Word(6) + std::string("local", 6) +
           Word(static_cast<uint32_t>(folder.size())) + folder;
}

// The daemon's call 1 reaches a real command host, which answers with the conversion's log and
// its result word: 1 for the asset's editing folder (its texture written), 0 for a folder outside
// every resource database.
TEST_F(TextureCommands, TheCommandHostAnswersCallOneWithTheLogAndTheResult) {
    ExpectRun({"edit", "<kuid:12:34>"}, 0, "+ <kuid:12:34> : " + Editing() + "\n" + kClean);
    ExpectRun({"closewexdaemon"}, 0, kClean);
    const std::string outside = tree.WorkDir() + "/box";
    std::mutex lock;
    std::vector<std::string> answers;
    testsupport::ScriptedDaemon::Script script;
    script.onFrame = [&](testsupport::ScriptedDaemon& d,
                         const testsupport::ScriptedDaemon::Frame& f) {
        using testsupport::ScriptedDaemon;
        if (f.messageId == kMessageRegisterCommandHost)
            return d.Send(
                ScriptedDaemon::NoteRecord(kNotifyCommandHostCall, TextureCall(Editing())));
        // Start-up's requests (a setting, the hardware path) get empty replies.
        if (f.messageId != kMessageCommandHostAnswer)
            return f.secondWord == 0 || d.Send(ScriptedDaemon::ReplyRecord(f.secondWord, ""));
        std::lock_guard<std::mutex> hold(lock);
        answers.push_back(f.payload);
        if (answers.size() == 1)
            return d.Send(ScriptedDaemon::NoteRecord(kNotifyCommandHostCall, TextureCall(outside)));
        return false;  // the daemon goes, and its host with it
    };
    testsupport::ScriptedDaemon daemon(tree.Root() + "/UserData/assets.wbi", script);
    e2e::RunResult host = tree.Run("HalvexUtil", {"wexcommandhost", "norender"},
                                   e2e::RunOptions().Within(std::chrono::seconds(60)));
    daemon.Stop();
    EXPECT_EQ(host.exitCode, 0) << host.out << host.err;
    EXPECT_EQ(host.err.find("Sanitizer"), std::string::npos) << host.err;

    std::lock_guard<std::mutex> hold(lock);
    ASSERT_EQ(answers.size(), 2u);
    const struct {
        std::vector<std::string> lines;
        uint32_t result;
    } want[] = {
        {{}, 1},
        {{"3 Unable to determine relative path for '" + outside + "/art/side.texture.txt'",
          "3 Texture conversion failed (" + outside + "/art/side.texture.txt)"},
         0},
    };
    for (size_t i = 0; i < answers.size(); ++i) {
        TBuffer buffer(answers[i].data(), static_cast<uint32_t>(answers[i].size()));
        ResultsLog log;
        ResultsLog::ReadFromBuffer(buffer, log);
        std::vector<std::string> lines;
        log.ForEachEntry([&](const ResultsLogEntry& e) {
            lines.push_back(std::to_string(e.severity) + " " + e.text.str());
        });
        EXPECT_EQ(lines, want[i].lines) << i;
        uint32_t result = 99;
        ASSERT_EQ(buffer.ReadBytes(&result, 4), 4u) << i;
        EXPECT_EQ(result, want[i].result) << i;
    }
    ExpectTexture(Editing() + "/art/side.texture");
    EXPECT_FALSE(fs::exists(outside + "/art/side.texture"));
}

// An asset whose LOD mesh draws with the program's bump and no-fog materials, its textures
// described and converted when the asset is committed: the validator loads the mesh with those
// materials and has only its advice on the mesh's detail levels to give.
TEST(ValidateConverted, AnLodMeshWithTheProgramsMaterialsGetsOnlyItsLevelAdvice) {
    e2e::InstallTree tree;
    meshtesting::LodLevel level;
    level.mesh.subMeshes.push_back(meshtesting::QuadSubMesh());
    level.mesh.subMeshes.push_back(meshtesting::QuadSubMesh());
    meshtesting::IdxmMaterial& bump = level.mesh.subMeshes[0].material;
    bump.typeName = "m.tbumptex";
    bump.textures = {{0, "body.texture", 1.0f}, {8, "normals.texture", 1.0f}};
    meshtesting::IdxmMaterial& glass = level.mesh.subMeshes[1].material;
    glass.typeName = "m.nofogtex";
    glass.textures = {{0, "body.texture", 1.0f}};
    // The writer loads the levels it writes: it must know the two types.
    for (const char* type : {"m.tbumptex", "m.nofogtex"})
        Kiv::MaterialLoader::RegisterType(type, {});
    const std::vector<uint8_t> lm = meshtesting::WriteLodm({level});
    ASSERT_FALSE(lm.empty());
    tree.WriteFile("work/hut/config.txt",
                   "kuid <kuid:12:35>\r\nusername \"Hut\"\r\nkind \"scenery\"\r\n"
                   "halvex-build 3.6\r\n"
                   "mesh-table\r\n{\r\n  default\r\n  {\r\n    mesh \"hut.lm\"\r\n"
                   "    auto-create 1\r\n  }\r\n  shadow\r\n  {\r\n    mesh \"shadow.im\"\r\n"
                   "  }\r\n}\r\n");
    tree.WriteFile("work/hut/hut.lm", std::string(lm.begin(), lm.end()));
    meshtesting::IdxmFile shadow;
    shadow.subMeshes.push_back(meshtesting::QuadSubMesh());
    shadow.subMeshes[0].material.typeName = "m.notex";
    shadow.subMeshes[0].material.textures.clear();
    const std::vector<uint8_t> im = meshtesting::WriteIdxm(shadow);
    tree.WriteFile("work/hut/shadow.im", std::string(im.begin(), im.end()));
    tree.WriteFile("work/hut/body.tga", texture_test::GradientTga(64, 64));
    tree.WriteFile("work/hut/body.texture.txt", "Primary=body.tga\r\n");
    tree.WriteFile("work/hut/normals.tga", texture_test::GradientTga(64, 64));
    tree.WriteFile("work/hut/normals.texture.txt", "Primary=normals.tga\r\nHint=normalmap\r\n");
    auto run = [&](const std::vector<std::string>& args) {
        e2e::RunResult r = tree.Run("HalvexUtil", args);
        EXPECT_EQ(r.err, "") << args[0];
        EXPECT_EQ(r.exitCode, 0) << args[0];
        return r.out;
    };
    const std::string editing = tree.Root() + "/UserData/editing/kuid 12 35";
    const std::string installed = tree.Root() + "/UserData/local/kuid 12 35";
    run({"installfrompath", "hut"});
    EXPECT_EQ(run({"edit", "<kuid:12:35>"}), "+ <kuid:12:35> : " + editing + "\n" + kClean);
    EXPECT_EQ(run({"commit", "<kuid:12:35>"}), kClean);
    for (const char* name : {"body.texture", "normals.texture"})
        EXPECT_TRUE(fs::exists(installed + "/" + name)) << name;
    const std::string out = run({"validate", "<kuid:12:35>"});
    for (const char* advice :
         {"Performance: this LOD mesh has no attachment points or animations: /hut.lm",
          "Performance: this LOD mesh has only one detail level: /hut.lm",
          "Performance: the last detail level of this LOD mesh has under 300 polygons: /hut.lm"})
        EXPECT_NE(out.find(advice), std::string::npos) << advice << "\n" << out;
    EXPECT_NE(out.find("OK (0 Errors, 3 Warnings)"), std::string::npos) << out;
    EXPECT_EQ(out.find("not available"), std::string::npos) << out;
    run({"closewexdaemon"});
    const std::string hostLog = tree.ReadFile(tree.Root() + "/UserData/commandhost.log");
    EXPECT_EQ(hostLog.find("runtime error"), std::string::npos) << hostLog;
    EXPECT_EQ(hostLog.find("Unable to load"), std::string::npos) << hostLog;
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
