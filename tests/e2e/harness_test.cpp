#include "tests/e2e/harness.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <optional>

#include "platform/system/process.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A tree whose daemon is the probe program.
class Harness : public testing::Test {
protected:
    void SetUp() override { tree.InstallProgram("wexdaemon", HALVEX_E2E_PROBE); }
    e2e::RunResult Probe(const std::vector<std::string>& args, const e2e::RunOptions& o = {}) {
        return tree.Run("wexdaemon", args, o);
    }
    uint32_t StartDaemon(e2e::InstallTree& in, const char* kind = "meek") {
        e2e::RunResult r = in.Run("wexdaemon", {"daemon", kind});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        return static_cast<uint32_t>(std::stoul(r.out));
    }
    e2e::InstallTree tree;
};

TEST_F(Harness, TreeIsAFreshCopyOfTheStage) {
    for (const char* part : {"bin", "bin/DUVData", "bin/plugins", "Data"})
        EXPECT_TRUE(fs::is_directory(tree.Root() + "/" + part)) << part;
    for (const auto& e : fs::recursive_directory_iterator(HALVEX_STAGE_DIR "/Data"))
        EXPECT_TRUE(fs::exists(fs::path(tree.Root()) / "Data" /
                               fs::relative(e.path(), HALVEX_STAGE_DIR "/Data")))
            << e.path();
    EXPECT_FALSE(fs::exists(tree.Root() + "/UserData"));
    EXPECT_FALSE(fs::equivalent(tree.Root(), HALVEX_STAGE_DIR));
    // Replacing a program leaves the staged one alone.
    EXPECT_FALSE(fs::exists(HALVEX_STAGE_DIR "/bin/wexdaemon") &&
                 fs::equivalent(tree.Program("wexdaemon"), HALVEX_STAGE_DIR "/bin/wexdaemon"));
}

TEST_F(Harness, CapturesOutputErrorAndTheExitCodeAsPosixReportsIt) {
    struct Case {
        const char* code;
        int expected;
    };
    for (Case c : {Case{"0", 0}, Case{"3", 3}, Case{"-1", 255}, Case{"-100", 156}}) {
        e2e::RunResult r = Probe({"print", "to out", "to err", c.code});
        EXPECT_EQ(r.exitCode, c.expected) << c.code;
        EXPECT_EQ(r.exitCode, e2e::PosixExitCode(std::stoi(c.code))) << c.code;
        EXPECT_EQ(r.out, "to out");
        EXPECT_EQ(r.err, "to err");
        EXPECT_EQ(r.signal, 0);
        EXPECT_FALSE(r.timedOut);
    }
}

TEST_F(Harness, PassesArgumentsFolderInputAndEnvironment) {
    EXPECT_EQ(Probe({"args", "two words", "", "\"quoted\""}).out,
              "[two words]\n[]\n[\"quoted\"]\n");
    EXPECT_EQ(Probe({"cwd"}).out, tree.WorkDir() + "\n");
    EXPECT_EQ(Probe({"cwd"}, e2e::RunOptions().In(tree.Bin())).out, tree.Bin() + "\n");
    // Large enough that it cannot sit in a pipe while nobody reads.
    std::string input(1 << 20, 'x');
    EXPECT_EQ(Probe({"cat"}, e2e::RunOptions().Input(input)).out, input);
    EXPECT_EQ(Probe({"cat"}).out, "");
    EXPECT_EQ(Probe({"env", "HALVEX_E2E"}, e2e::RunOptions().Env("HALVEX_E2E=yes")).out, "yes\n");
    EXPECT_EQ(Probe({"env", "HOME"}, e2e::RunOptions().Env("HOME=/nowhere")).out, "/nowhere\n");
}

TEST_F(Harness, AProgramThatCannotRunIsReported) {
    e2e::RunResult r = tree.Run("no-such-program", {});
    EXPECT_EQ(r.exitCode, 127);
    EXPECT_NE(r.err.find("cannot run"), std::string::npos) << r.err;
}

TEST_F(Harness, ARunPastItsTimeLimitFailsTheTestInsteadOfHanging) {
    e2e::RunResult r;
    EXPECT_NONFATAL_FAILURE(r = Probe({"sleep"}, e2e::RunOptions().Within(300ms)),
                            "did not end within 300 ms");
    EXPECT_TRUE(r.timedOut);
    EXPECT_EQ(r.exitCode, -1);
    EXPECT_EQ(r.signal, SIGKILL);
}

TEST_F(Harness, AProcessLeftHoldingTheOutputFailsTheTestInsteadOfHanging) {
    e2e::RunResult r;
    EXPECT_NONFATAL_FAILURE(r = Probe({"hold"}, e2e::RunOptions().OutputGrace(200ms)),
                            "still holds its standard output");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(tree.StopPrograms(100ms), 1u);
}

TEST_F(Harness, StopsTheDaemonsOfItsOwnTreeOnly) {
    uint32_t mine = StartDaemon(tree);
    uint32_t stubborn = StartDaemon(tree, "stubborn");
    std::optional<e2e::InstallTree> other(std::in_place);
    other->InstallProgram("wexdaemon", HALVEX_E2E_PROBE);
    uint32_t theirs = StartDaemon(*other);
    EXPECT_EQ(tree.RunningProcessesOf("wexdaemon").size(), 2u);

    // SIGTERM ends the first; the stubborn one is killed after the grace period.
    EXPECT_EQ(tree.StopPrograms(200ms), 2u);
    EXPECT_FALSE(Sys::IsProcessAlive(mine));
    EXPECT_FALSE(Sys::IsProcessAlive(stubborn));
    EXPECT_TRUE(Sys::IsProcessAlive(theirs));
    EXPECT_TRUE(tree.RunningProcessesOf("wexdaemon").empty());

    // The end of a tree stops its daemons too.
    other.reset();
    EXPECT_FALSE(Sys::IsProcessAlive(theirs));
}

}  // namespace
