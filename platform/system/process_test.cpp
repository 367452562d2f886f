// Detached launches, the process list and process state, on real programs: copies of system
// tools in a temporary folder, so each test's processes are told apart by their path.
#include "platform/system/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Copies a system tool into the folder (a real file, not a link) and returns its path.
std::string CopyTool(const testsupport::TempDir& dir, const char* tool, const std::string& as) {
    std::string to = dir / as;
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(fs::canonical(std::string("/bin/") + tool), to);
    fs::permissions(to, fs::perms::owner_all);
    return fs::canonical(to).string();
}

// Polls until the process has ended; false when it still runs after a generous while.
bool WaitUntilGone(Sys::ProcessId id) {
    for (int i = 0; i < 1000 && Sys::IsProcessAlive(id); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !Sys::IsProcessAlive(id);
}

std::set<int> OpenDescriptors(Sys::ProcessId id) {
    std::set<int> fds;
    for (const auto& e : fs::directory_iterator("/proc/" + std::to_string(id) + "/fd"))
        fds.insert(std::stoi(e.path().filename().string()));
    return fds;
}

std::string Link(Sys::ProcessId id, const std::string& leaf) {
    return fs::read_symlink("/proc/" + std::to_string(id) + "/" + leaf).string();
}

class ProcessTest : public ::testing::Test {
protected:
    ~ProcessTest() override {
        for (Sys::ProcessId id : launched_)
            Sys::TerminateProcess(id);
    }
    Sys::ProcessId Launch(Sys::LaunchRequest request) {
        Sys::ProcessId id = Sys::LaunchDetached(request);
        if (id != 0) launched_.push_back(id);
        return id;
    }
    testsupport::TempDir dir_;
    std::vector<Sys::ProcessId> launched_;
};

TEST_F(ProcessTest, LaunchedProgramIsDetachedAndInheritsNothing) {
    std::string sleep = CopyTool(dir_, "sleep", "bin/sleep");
    fs::create_directories(dir_ / "work");
    int leak[2];
    ASSERT_EQ(::pipe(leak), 0);  // deliberately inheritable

    Sys::ProcessId id = Launch({sleep, {"30"}, dir_ / "work", ""});
    ::close(leak[0]);
    ::close(leak[1]);
    ASSERT_NE(id, 0u);
    EXPECT_TRUE(Sys::IsProcessAlive(id));
    EXPECT_EQ(Sys::GetProcessExecutable(id), sleep);
    EXPECT_EQ(Link(id, "cwd"), fs::canonical(dir_ / "work").string());
    // Right after exec the program's loader may briefly hold a library open: look until it
    // has settled, but never accept the inherited pipe.
    std::set<int> open = OpenDescriptors(id);
    for (int i = 0; i < 200 && open != std::set<int>{0, 1, 2}; ++i) {
        ::usleep(10000);
        open = OpenDescriptors(id);
    }
    EXPECT_EQ(open, (std::set<int>{0, 1, 2}));
    for (int fd : {0, 1, 2})
        EXPECT_EQ(Link(id, "fd/" + std::to_string(fd)), "/dev/null") << fd;
    EXPECT_NE(::getsid(static_cast<pid_t>(id)), ::getsid(0));
    // Nothing is left for this process to reap, and the program is not its child.
    int status;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);

    bool listed = false;
    for (const Sys::ProcessEntry& p : Sys::ListProcesses())
        if (p.id == id) listed = p.executable == sleep;
    EXPECT_TRUE(listed);

    EXPECT_TRUE(Sys::TerminateProcess(id));
    EXPECT_TRUE(WaitUntilGone(id));
}

TEST_F(ProcessTest, OutputGoesToTheGivenFileAndArgumentsArriveWhole) {
    std::string echo = CopyTool(dir_, "echo", "echo");
    std::string log = dir_ / "out.log";
    { std::ofstream(log) << "before\n"; }
    Sys::ProcessId id = Launch({echo, {"one two", "", "three"}, "", log});
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(WaitUntilGone(id));
    EXPECT_EQ(dir_.Read("out.log"), "before\none two  three\n");
}

TEST_F(ProcessTest, LaunchFailuresGiveZero) {
    std::string sleep = CopyTool(dir_, "sleep", "sleep");
    std::string notExecutable = dir_.Write("plain.txt", "text");
    struct Case {
        const char* what;
        Sys::LaunchRequest request;
    };
    const Case cases[] = {
        {"empty file", {"", {}, "", ""}},
        {"missing program", {dir_ / "nothing", {}, "", ""}},
        {"not executable", {notExecutable, {}, "", ""}},
        {"a folder", {dir_.path(), {}, "", ""}},
        {"missing working folder", {sleep, {"30"}, dir_ / "no/such", ""}},
        {"output cannot be opened", {sleep, {"30"}, "", dir_ / "no/such/out.log"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Launch(c.request), 0u);
    }
    int status;
    EXPECT_EQ(::waitpid(-1, &status, WNOHANG), -1);
}

TEST_F(ProcessTest, AZombieIsNotAlive) {
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) ::_exit(0);
    auto id = static_cast<Sys::ProcessId>(child);
    // The child has ended but is not collected yet.
    siginfo_t info;
    ASSERT_EQ(::waitid(P_PID, child, &info, WEXITED | WNOWAIT), 0);
    EXPECT_TRUE(fs::exists("/proc/" + std::to_string(child)));
    EXPECT_FALSE(Sys::IsProcessAlive(id));
    ::waitpid(child, nullptr, 0);
    EXPECT_FALSE(Sys::IsProcessAlive(id));
}

TEST_F(ProcessTest, StateQueriesOnOddIds) {
    EXPECT_TRUE(Sys::IsProcessAlive(Sys::GetCurrentProcessId()));
    EXPECT_EQ(Sys::GetProcessExecutable(Sys::GetCurrentProcessId()),
              fs::canonical("/proc/self/exe").string());
    // A thread of this process has an entry under /proc but is no process.
    std::atomic<pid_t> tid{0};
    std::atomic<bool> stop{false};
    std::thread t([&] {
        tid = ::gettid();
        while (!stop)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (tid == 0)
        std::this_thread::yield();
    EXPECT_FALSE(Sys::IsProcessAlive(static_cast<Sys::ProcessId>(tid.load())));
    stop = true;
    t.join();
    // 0 and ids past the signed range would reach whole process groups: refused.
    for (Sys::ProcessId id : {0u, 0xFFFFFFFFu, 0x80000000u}) {
        EXPECT_FALSE(Sys::TerminateProcess(id)) << id;
        EXPECT_FALSE(Sys::IsProcessAlive(id)) << id;
    }
}

TEST_F(ProcessTest, AProgramRemovedWhileRunningKeepsItsPath) {
    std::string sleep = CopyTool(dir_, "sleep", "gone/sleep");
    Sys::ProcessId id = Launch({sleep, {"30"}, "", ""});
    ASSERT_NE(id, 0u);
    fs::remove(sleep);
    EXPECT_EQ(Sys::GetProcessExecutable(id), sleep);
}

}  // namespace
