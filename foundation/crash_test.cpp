#include "foundation/crash.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include "foundation/call_guard.h"
#include "foundation/main_thread.h"
#include "foundation/worker_queue.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

// A real access fault (not a raised signal), at an address the report must name.
void Crash() {
    volatile uintptr_t address = 16;
    *reinterpret_cast<volatile int*>(address) = 1;
}

int CountOf(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class CrashTest : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    // Runs body in a child whose working directory is the test folder.
    testsupport::ChildResult Run(const std::function<void()>& body) {
        return testsupport::RunInChild([&] {
            if (::chdir(dir.path().c_str()) != 0) ::_exit(40);
            body();
        });
    }
    std::string Report() { return dir.Read(OS::kCrashDumpName); }
};

TEST_F(CrashTest, AnArmedProcessThatCrashesWritesOneReport) {
    testsupport::ChildResult r = Run([] {
        OS::InstallCrashHandlers(false);
        Crash();
    });
    EXPECT_NE(r.ExitCode(), 0);  // ended by the fault (or by a sanitiser's report of it)
    std::string report = Report();
    EXPECT_NE(report.find("Build: 49922\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Signal: 11 (SIGSEGV)\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Address: 0x0000000000000010\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Backtrace:\n"), std::string::npos) << report;
    EXPECT_EQ(CountOf(report, "Halvex crash report"), 1);
    EXPECT_FALSE(dir.Read(std::string(OS::kCrashDumpName) + ".tmp").size() > 0);
}

// Two crashes in a row: the first report stays, the second writes nothing.
TEST_F(CrashTest, OnlyTheFirstCrashIsReported) {
    dir.Write(OS::kCrashDumpName, "an old report\n");
    testsupport::ChildResult r = Run([] {
        OS::InstallCrashHandlers(false);
        OS::ForceCrashDump();
        if (!OS::WasCrashDumpWritten()) ::_exit(41);
        Crash();
    });
    EXPECT_NE(r.ExitCode(), 0);
    std::string report = Report();
    EXPECT_NE(report.find("Signal: 0 (none)\nReason: report requested\n"), std::string::npos)
        << report;
    EXPECT_EQ(report.find("SIGSEGV"), std::string::npos);
    EXPECT_EQ(report.find("an old report"), std::string::npos);  // replaced
}

TEST_F(CrashTest, ExitingWhileArmedWritesAReportAndDisarmedDoesNot) {
    testsupport::ChildResult armed = Run([] {
        OS::InstallCrashHandlers(false);
        std::exit(3);
    });
    EXPECT_EQ(armed.ExitCode(), 3);
    EXPECT_NE(Report().find("Reason: report requested\n"), std::string::npos);

    ::unlink((dir / OS::kCrashDumpName).c_str());
    testsupport::ChildResult disarmed = Run([] {
        OS::InstallCrashHandlers(false);
        OS::DisarmCrashHandlers();
        std::exit(4);
    });
    EXPECT_EQ(disarmed.ExitCode(), 4);
    EXPECT_EQ(Report(), "");
}

TEST_F(CrashTest, AnUnhandledExceptionOfAnArmedProcessIsReported) {
    testsupport::ChildResult r = Run([] {
        OS::InstallCrashHandlers(false);
        std::thread([] { throw std::runtime_error("escaped"); }).join();
    });
    EXPECT_TRUE(r.KilledBy(SIGABRT));
    EXPECT_NE(Report().find("Reason: unhandled C++ exception\n"), std::string::npos);
}

TEST_F(CrashTest, AnUnarmedCrashWritesNoReport) {
    testsupport::ChildResult r = Run([] { Crash(); });
    EXPECT_NE(r.ExitCode(), 0);
    EXPECT_EQ(Report(), "");
}

// While the guards are on, a call that crashes or throws ends the process with -100 (156 to
// the caller), whether it runs on the poster or on a worker; with the guards off it does not.
TEST_F(CrashTest, GuardedCallsEndTheProcessWithMinusOneHundred) {
    struct Case {
        const char* what;
        std::function<void()> body;
        int exitCode;
    };
    const Case cases[] = {
        {"crash in place",
         [] {
             SetCallGuards(true);
             RunGuarded([] { Crash(); });
         },
         156},
        {"exception in place",
         [] {
             SetCallGuards(true);
             RunGuarded([]() -> int { throw std::runtime_error("x"); });
         },
         156},
        {"crash on a worker",
         [] {
             RecordMainThreadId();
             SetCallGuards(true);
             WorkerCallQueue::Instance().Post(MakeFunctionCallback([](void*) {
                                                  Crash();
                                                  return 0;
                                              }),
                                              nullptr, kCallWorker);
         },
         156},
        {"guards off: the exception reaches the caller",
         [] {
             SetCallGuards(false);
             try {
                 RunGuarded([]() -> int { throw std::runtime_error("x"); });
             } catch (const std::runtime_error&) {
                 ::_exit(7);
             }
         },
         7},
    };
    for (const Case& c : cases) {
        testsupport::ChildResult r = Run(c.body);
        EXPECT_EQ(r.ExitCode(), c.exitCode) << c.what << "\n" << r.err;
        EXPECT_EQ(Report(), "") << c.what;  // not armed: no report
    }
}

// A close request while quitting is not allowed only sets the flag the command host polls; the
// process ends by its own hand once the host has disarmed.
TEST_F(CrashTest, CloseRequestsWaitForTheHostToDisarm) {
    testsupport::ChildResult r = Run([] {
        OS::InstallCrashHandlers(false);
        ::kill(::getpid(), SIGTERM);
        while (!OS::IsCloseRequested())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        OS::DisarmCrashHandlers();
        std::fflush(stdout);
        ::_exit(9);
    });
    EXPECT_EQ(r.ExitCode(), 9);
    EXPECT_EQ(r.out, "Console Window event handler called for CtrlType=6\n");
}

TEST_F(CrashTest, CloseRequestsEndTheProcessWhenQuittingIsAllowed) {
    for (int signal : {SIGINT, SIGHUP, SIGTERM}) {
        testsupport::ChildResult r = Run([signal] {
            OS::InstallCrashHandlers(true);
            ::kill(::getpid(), signal);
            for (;;)
                ::pause();
        });
        EXPECT_TRUE(r.KilledBy(signal)) << signal;
        EXPECT_FALSE(OS::IsCloseRequested());
    }
}

// The handler of a close, log-off or shut-down request returns only once quitting is allowed;
// a Ctrl+C request returns at once.
TEST_F(CrashTest, TheCloseHandlerHoldsUntilQuittingIsAllowed) {
    testsupport::ChildResult r = Run([] {
        OS::InstallCrashHandlers(false);
        if (!OS::ConsoleCtrlHandler(OS::kCtrlC)) ::_exit(50);
        std::atomic<bool> returned{false};
        std::thread console([&] {
            if (!OS::ConsoleCtrlHandler(OS::kCtrlClose)) ::_exit(51);
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (returned) ::_exit(52);
        OS::DisarmCrashHandlers();
        console.join();
        if (OS::ConsoleCtrlHandler(OS::kCtrlClose)) ::_exit(53);  // quitting allowed now
        if (OS::IsCrashHandlingArmed()) ::_exit(54);
    });
    EXPECT_EQ(r.ExitCode(), 0);
}

}  // namespace
