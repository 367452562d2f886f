// Launching through the parameter text, and ending the running copies of a program. The
// programs are copies of system tools (and of this test program) in a temporary folder, so
// only this test's processes ever carry their paths.
#include "foundation/process_launch.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/kiv/base/log.h"
#include "platform/system/process.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string CopyProgram(const testsupport::TempDir& dir, const std::string& from,
                        const std::string& as) {
    std::string to = dir / as;
    fs::create_directories(fs::path(to).parent_path());
    fs::copy_file(fs::canonical(from), to);
    fs::permissions(to, fs::perms::owner_all);
    return fs::canonical(to).string();
}

bool WaitUntilGone(uint32_t id) {
    for (int i = 0; i < 1000 && Sys::IsProcessAlive(id); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !Sys::IsProcessAlive(id);
}

// Collects the log lines written while it lives.
class LogCapture {
public:
    LogCapture() {
        id_ = Kiv::Log::AddListener([this](std::string_view line) {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.emplace_back(line);
        });
    }
    ~LogCapture() { Kiv::Log::RemoveListener(id_); }
    std::vector<std::string> Lines() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_;
    }

private:
    int id_;
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

class ProcessLaunchTest : public ::testing::Test {
protected:
    ~ProcessLaunchTest() override {
        for (uint32_t id : launched_)
            Sys::TerminateProcess(id);
    }
    uint32_t Launch(const std::string& file, std::string_view parameters) {
        uint32_t id = LaunchProcess(file, parameters, "", kLaunchHidden);
        if (id != 0) launched_.push_back(id);
        return id;
    }
    testsupport::TempDir dir_;
    std::vector<uint32_t> launched_;
};

TEST(SplitCommandLineTest, SplitsOnBlanksOutsideQuotes) {
    struct Case {
        const char* text;
        std::vector<std::string> args;
    };
    const Case cases[] = {
        {"", {}},
        {"   ", {}},
        {"a b\tc", {"a", "b", "c"}},
        {"  -x   30 ", {"-x", "30"}},
        {"\"C:/My Folder/a.cdp\" -q", {"C:/My Folder/a.cdp", "-q"}},
        {"pre\"fix and\"post", {"prefix andpost"}},
        {"\"\"", {""}},
        {"a \"\" b", {"a", "", "b"}},
        {"\"say \"\"hi\"\"\"", {"say \"hi\""}},
        {"\"unterminated quote", {"unterminated quote"}},
        {"path/with/slashes", {"path/with/slashes"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SplitCommandLine(c.text), c.args) << c.text;
}

TEST_F(ProcessLaunchTest, LaunchesWithParametersAndOutput) {
    EXPECT_EQ(LaunchProcess("", "x", "", 0), 0u);
    EXPECT_EQ(LaunchProcess(dir_ / "missing", "", "", kLaunchHidden), 0u);

    std::string echo = CopyProgram(dir_, "/bin/echo", "tools/echo");
    uint32_t id =
        LaunchProcess(echo, "a/b \"c d\"", dir_.path(), kLaunchMinimised, dir_ / "echo.log");
    ASSERT_NE(id, 0u);
    ASSERT_TRUE(WaitUntilGone(id));
    EXPECT_EQ(dir_.Read("echo.log"), "a/b c d\n");
}

TEST_F(ProcessLaunchTest, EndsOnlyCopiesOfTheExactProgramAndOnlyWithATimeOut) {
    std::string sleepA = CopyProgram(dir_, "/bin/sleep", "a/sleep");
    std::string sleepB = CopyProgram(dir_, "/bin/sleep", "b/sleep");
    std::string sleepAUpper = CopyProgram(dir_, "/bin/sleep", "a/Sleep");
    uint32_t a1 = Launch(sleepA, "30"), a2 = Launch(sleepA, "30");
    uint32_t b = Launch(sleepB, "30"), upper = Launch(sleepAUpper, "30");
    ASSERT_TRUE(a1 && a2 && b && upper);

    LogCapture log;
    WaitAndTerminateProcesses(sleepA, 0);
    for (uint32_t id : {a1, a2, b, upper})
        EXPECT_TRUE(Sys::IsProcessAlive(id)) << id;
    EXPECT_TRUE(log.Lines().empty());

    // The path as given need not be tidy.
    WaitAndTerminateProcesses(dir_ / "b/../a/./sleep", 1);
    EXPECT_TRUE(WaitUntilGone(a1));
    EXPECT_TRUE(WaitUntilGone(a2));
    EXPECT_TRUE(Sys::IsProcessAlive(b));
    EXPECT_TRUE(Sys::IsProcessAlive(upper));
    std::vector<std::string> expected = {"Terminating process with ID " + std::to_string(a1),
                                         "Terminating process with ID " + std::to_string(a2)};
    std::vector<std::string> lines = log.Lines();
    std::sort(lines.begin(), lines.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(lines, expected);
}

TEST_F(ProcessLaunchTest, AProcessThatEndsWithinTheTimeOutIsNotTerminated) {
    std::string sleep = CopyProgram(dir_, "/bin/sleep", "short/sleep");
    uint32_t id = Launch(sleep, "0.2");
    ASSERT_NE(id, 0u);
    LogCapture log;
    WaitAndTerminateProcesses(sleep, 60000);
    EXPECT_FALSE(Sys::IsProcessAlive(id));
    EXPECT_TRUE(log.Lines().empty());
}

// Run only inside a copy of this program (see the test below): a sleeper to be ended, and a
// sweeper that ends every other process running its own executable.
TEST(ProcessLaunchSelfTest, DISABLED_Sleeper) {
    std::this_thread::sleep_for(std::chrono::seconds(60));
}
TEST(ProcessLaunchSelfTest, DISABLED_Sweeper) {
    WaitAndTerminateProcesses(Sys::GetProcessExecutable(Sys::GetCurrentProcessId()), 1);
}

TEST_F(ProcessLaunchTest, TheCallingProcessIsSpared) {
    std::string self = CopyProgram(dir_, "/proc/self/exe", "self/tests");
    uint32_t sleeper = Launch(self,
                              "--gtest_also_run_disabled_tests "
                              "--gtest_filter=ProcessLaunchSelfTest.DISABLED_Sleeper");
    ASSERT_NE(sleeper, 0u);

    std::vector<std::string> args = {self, "--gtest_also_run_disabled_tests",
                                     "--gtest_filter=ProcessLaunchSelfTest.DISABLED_Sweeper"};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t sweeper;
    ASSERT_EQ(::posix_spawn(&sweeper, self.c_str(), nullptr, nullptr, argv.data(), environ), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(sweeper, &status, 0), sweeper);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(WaitUntilGone(sleeper));
}

}  // namespace
