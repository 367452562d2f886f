// Archives end to end: installed assets packed by "createcdp", deleted, and installed back by
// "installcdp" through the daemon and the command host it starts, all staged programs in a
// fresh install tree; the host ends with its daemon.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

namespace fs = std::filesystem;
using e2e::PosixExitCode;

constexpr const char* kClean = "OK (0 Errors, 0 Warnings)\n";

class InstallCdp : public testing::Test {
protected:
    e2e::RunResult Run(const std::vector<std::string>& args, const e2e::RunOptions& options = {}) {
        e2e::RunResult r = tree.Run("HalvexUtil", args, options);
        EXPECT_EQ(r.err, "") << args[0];
        EXPECT_EQ(r.signal, 0) << args[0];
        return r;
    }
    std::string Local(const std::string& folder) {
        return tree.Root() + "/UserData/local/" + folder;
    }
    e2e::InstallTree tree;
};

TEST_F(InstallCdp, AssetsGoIntoAnArchiveAndComeBackAsTheyWere) {
    // A mesh that a scenery object needs; both with files in sub-folders.
    tree.WriteFile("work/src/mesh/config.txt",
                   "kuid <kuid:424:1>\nkind \"Mesh\"\nusername \"Roof\"\nhalvex-build 3.5\n");
    tree.WriteFile("work/src/mesh/roof.im", std::string(3000, 'r'));
    tree.WriteFile("work/src/mesh/art/roof.texture.txt", "Primary=roof.tga\n");
    tree.WriteFile("work/src/mesh/art/roof.tga", std::string(64, '\x07'));
    tree.WriteFile("work/src/shed/config.txt",
                   "kuid <kuid:424:2>\nkind \"scenery\"\nusername \"Shed\"\nhalvex-build 3.5\n"
                   "mesh-asset <kuid:424:1>\n");
    tree.WriteFile("work/src/shed/shed.im", std::string(5000, 's'));
    tree.WriteFile("work/src/shed/deep/er/note.txt", "deep");
    e2e::RunResult r = Run({"installfrompath", tree.WorkDir() + "/src"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const auto mesh = tree.FilesBelow(Local("kuid 424 1"));
    const auto shed = tree.FilesBelow(Local("kuid 424 2"));

    r = Run({"createcdp", tree.WorkDir() + "/a.cdp", "<kuid:424:1>", "<kuid:424:2>"});
    ASSERT_EQ(r.out, kClean);
    ASSERT_EQ(r.exitCode, 0);
    for (const char* kuid : {"<kuid:424:1>", "<kuid:424:2>"})
        ASSERT_EQ(Run({"delete", kuid}).exitCode, 0) << kuid;
    ASSERT_FALSE(fs::exists(Local("kuid 424 1")));

    // A relative path is taken from where the user ran the program.
    r = Run({"installcdp", "a.cdp"}, e2e::RunOptions().In(tree.WorkDir()));
    EXPECT_EQ(r.out,
              "+ <kuid:424:1> : Asset <kuid:424:1> was installed.\n"
              "+ <kuid:424:2> : Asset <kuid:424:2> was installed.\n" +
                  std::string("OK (0 Errors, 0 Warnings)\n"));
    EXPECT_EQ(r.exitCode, 0);

    // Every file back byte for byte; the config as the archive keeps it, in binary form.
    for (const auto& [folder, before] :
         {std::pair{std::string("kuid 424 1"), mesh}, std::pair{std::string("kuid 424 2"), shed}}) {
        auto after = tree.FilesBelow(Local(folder));
        EXPECT_TRUE(after.count("config.chump")) << folder;
        after.erase("config.chump");
        auto expected = before;
        expected.erase("config.txt");
        EXPECT_EQ(after, expected) << folder;
    }
    r = Run({"printconfig", "<kuid:424:1>"});
    EXPECT_NE(r.out.find("\"mesh\""), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("\"Mesh\""), std::string::npos) << r.out;
    r = Run({"printconfig", "<kuid:424:2>"});
    EXPECT_NE(r.out.find("kuid-table"), std::string::npos) << r.out;
    for (const char* kuid : {"<kuid:424:1>", "<kuid:424:2>"})
        EXPECT_NE(Run({"status", kuid}).out.find(" : eIadlmf : "), std::string::npos) << kuid;

    // Again over the installed assets: each waits open for edit, not committed.
    r = Run({"installcdp", tree.WorkDir() + "/a.cdp"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(Run({"status", "<kuid:424:1>"}).out.find(" : EIadlmf : "), std::string::npos);
    EXPECT_TRUE(fs::exists(tree.Root() + "/UserData/editing/kuid 424 1/config.txt"));

    // Closing the daemon ends its host too.
    EXPECT_EQ(Run({"closewexdaemon"}).exitCode, 0);
    bool gone = false;
    for (int i = 0; i < 200 && !gone; ++i) {
        gone = tree.RunningProcessesOf("HalvexUtil").empty() &&
               tree.RunningProcessesOf("wexdaemon").empty();
        if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(gone);
    const std::string hostLog = tree.ReadFile(tree.Root() + "/UserData/commandhost.log");
    EXPECT_EQ(hostLog.find("Sanitizer"), std::string::npos) << hostLog;
    EXPECT_EQ(hostLog.find("runtime error"), std::string::npos) << hostLog;
}

TEST_F(InstallCdp, AHostStartedByHandServesAndEndsWithItsDaemon) {
    tree.WriteFile("work/src/box/config.txt",
                   "kuid <kuid:424:5>\nkind \"scenery\"\nusername \"Box\"\nhalvex-build 3.5\n");
    ASSERT_EQ(Run({"installfrompath", tree.WorkDir() + "/src"}).exitCode, 0);
    e2e::RunResult host;
    std::thread hostThread([&] {
        host = tree.Run("HalvexUtil", {"wexcommandhost", "norender"},
                        e2e::RunOptions().Within(std::chrono::seconds(120)));
    });
    const std::string daemonLog = tree.Root() + "/UserData/wexdaemon.log";
    bool registered = false;
    for (int i = 0; i < 400 && !registered; ++i) {
        registered = fs::exists(daemonLog) &&
                     tree.ReadFile(daemonLog).find("is the command host") != std::string::npos;
        if (!registered) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_TRUE(registered);
    e2e::RunResult r = Run({"validate", "<kuid:424:5>"});
    EXPECT_EQ(r.out, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_EQ(r.exitCode, 0);
    // The daemon used the host it had; it started none.
    EXPECT_EQ(tree.ReadFile(daemonLog).find("started the command host"), std::string::npos);
    EXPECT_EQ(Run({"closewexdaemon"}).exitCode, 0);
    hostThread.join();
    EXPECT_EQ(host.signal, 0) << host.out;
    EXPECT_EQ(host.exitCode, 0) << host.out;
    EXPECT_EQ(host.err.find("Sanitizer"), std::string::npos) << host.err;
    EXPECT_TRUE(tree.RunningProcessesOf("wexdaemon").empty());
}

TEST_F(InstallCdp, ArchivesThatCannotBeReadInstallNothing) {
    tree.WriteFile("work/not.cdp", "this is not an archive");
    tree.WriteFile("work/empty.cdp", "");
    struct Case {
        std::string path;
        std::string message;
    };
    const Case cases[] = {
        {tree.WorkDir() + "/missing.cdp",
         "Content could not be read, as the file is not a valid CDP"},
        {tree.WorkDir() + "/not.cdp", "Content could not be read, as the file is not a valid CDP"},
        {tree.WorkDir() + "/empty.cdp",
         "Content could not be read, as the file is not a valid CDP"},
    };
    for (const Case& c : cases) {
        e2e::RunResult r = Run({"installcdp", c.path});
        EXPECT_EQ(r.out, "- <NULL> : " + c.message + "\nOK (1 Errors, 0 Warnings)\n") << c.path;
        EXPECT_EQ(r.exitCode, PosixExitCode(-1));
    }
    EXPECT_FALSE(fs::exists(tree.Root() + "/UserData/local/kuid 424 1"));
}

}  // namespace
