// Changes to an asset whose daemon is killed part-way through, end to end: the staged daemon is
// started by hand with a crash point, the staged HalvexUtil runs the change and loses its reply,
// and then asks a daemon that is back what became of the asset. What it reports is what is true:
// a change that landed is a success, one that did not is an error saying the daemon stopped.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

namespace fs = std::filesystem;
using e2e::PosixExitCode;
using namespace std::chrono_literals;

constexpr const char* kBox = "<kuid:12:1>";

struct Cut {
    const char* command;
    const char* point;
    // What the command then ends with, and the status letters the asset shows afterwards.
    int exitCode;
    const char* out;
    const char* statusAfter;
};

void PrintTo(const Cut& c, std::ostream* out) {
    *out << c.command << " cut at " << c.point;
}

class KillPoints : public testing::TestWithParam<Cut> {
protected:
    e2e::RunResult Run(const std::vector<std::string>& args) {
        return tree.Run("HalvexUtil", args, e2e::RunOptions().Within(120s));
    }
    std::string DaemonLog() const {
        const std::string log = tree.Root() + "/UserData/wexdaemon.log";
        return fs::exists(log) ? tree.ReadFile(log) : std::string();
    }
    static size_t Count(const std::string& text, const std::string& what) {
        size_t n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
            ++n;
        return n;
    }
    // Starts the daemon by hand, set to die at the point, and waits until it listens.
    void StartDaemonDyingAt(const std::string& point) {
        const size_t listening = Count(DaemonLog(), "listening on");
        crashing = std::thread([this, point] {
            crashed = tree.Run("wexdaemon", {"-crashat=" + point},
                               e2e::RunOptions().Within(120s).OutputGrace(10s));
        });
        for (int i = 0; i < 600 && Count(DaemonLog(), "listening on") == listening; ++i)
            std::this_thread::sleep_for(50ms);
        ASSERT_GT(Count(DaemonLog(), "listening on"), listening) << DaemonLog();
    }
    void TearDown() override {
        if (crashing.joinable()) crashing.join();
    }

    e2e::InstallTree tree;
    std::thread crashing;
    e2e::RunResult crashed;
};

TEST_P(KillPoints, TheCommandReportsWhatBecameOfTheAsset) {
    const Cut& cut = GetParam();
    tree.WriteFile("work/box/config.txt",
                   "kuid <kuid:12:1>\nkind \"scenery\"\nusername \"Box\"\nhalvex-build 3.5\n");
    ASSERT_EQ(Run({"installfrompath", "box"}).exitCode, 0);
    const std::string command = cut.command;
    if (command == "commit") {
        e2e::RunResult edit = Run({"edit", kBox});
        ASSERT_EQ(edit.exitCode, 0) << edit.out;
        const size_t from = edit.out.find(" : ") + 3;
        const std::string folder = edit.out.substr(from, edit.out.find('\n') - from);
        tree.WriteFile(folder + "/config.txt",
                       "kuid <kuid:12:1>\nkind \"scenery\"\nusername \"New Box\"\n"
                       "halvex-build 3.5\n");
    }
    ASSERT_EQ(Run({"closewexdaemon"}).exitCode, 0);

    StartDaemonDyingAt(cut.point);
    e2e::RunResult r = Run({cut.command, kBox});
    crashing.join();
    EXPECT_EQ(crashed.signal, 9) << "the daemon did not reach " << cut.point;
    EXPECT_EQ(r.exitCode, PosixExitCode(cut.exitCode)) << r.out;
    EXPECT_EQ(r.out, cut.out);

    e2e::RunResult status = Run({"status", kBox});
    EXPECT_NE(status.out.find(cut.statusAfter), std::string::npos) << status.out;
    Run({"closewexdaemon"});
}

INSTANTIATE_TEST_SUITE_P(
    Points, KillPoints,
    testing::Values(
        // Once its change record is written, start-up carries a commit through.
        Cut{"commit", "change.staged", 0, "OK (0 Errors, 0 Warnings)\n", ": eIadLmf :"},
        Cut{"delete", "delete.moved", 0, "OK (0 Errors, 0 Warnings)\n", "Unknown AssetID."},
        // The editing copy was never put in place: the asset is not open for edit.
        Cut{"edit", "edit.copied", -1,
            "- <kuid:12:1> : The daemon stopped before the opening of the asset for edit "
            "landed.\nOK (1 Errors, 0 Warnings)\n",
            ": eIadlmf :"}),
    [](const testing::TestParamInfo<Cut>& info) {
        std::string name = std::string(info.param.command) + "_" + info.param.point;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

}  // namespace
