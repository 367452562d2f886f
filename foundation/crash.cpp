#include "foundation/crash.h"

#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>

#include "foundation/call_guard.h"
#include "foundation/console_out.h"
#include "foundation/logging.h"
#include "platform/kiv/base/sync.h"
#include "platform/kiv/base/thread.h"

namespace {

std::atomic<bool> armed{false};
std::atomic<bool> quitAllowed{true};
std::atomic<bool> closeRequested{false};
std::atomic<bool> dumpWritten{false};

Kiv::WEvent& QuitEvent() {
    static Kiv::WEvent* event = new Kiv::WEvent(true, true);  // a console thread may wait late
    return *event;
}

// Text building without allocation or locks, for the signal handlers.
class RawText {
public:
    void Add(const char* text) {
        while (*text != '\0' && n_ < sizeof data_)
            data_[n_++] = *text++;
    }
    void AddDec(uint64_t v) {
        char digits[24];
        int k = 0;
        do {
            digits[k++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (k > 0 && n_ < sizeof data_)
            data_[n_++] = digits[--k];
    }
    void AddHex(uintptr_t v) {
        Add("0x");
        for (int shift = static_cast<int>(sizeof v * 8) - 4; shift >= 0; shift -= 4)
            if (n_ < sizeof data_) data_[n_++] = "0123456789abcdef"[(v >> shift) & 0xF];
    }
    void WriteTo(int fd) const {
        size_t done = 0;
        while (done < n_) {
            ssize_t w = ::write(fd, data_ + done, n_ - done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return;
            done += static_cast<size_t>(w);
        }
    }

private:
    char data_[1024];
    size_t n_ = 0;
};

struct SignalName {
    int signal;
    const char* name;
};
constexpr SignalName kFaultSignals[] = {
    {SIGSEGV, "SIGSEGV"}, {SIGBUS, "SIGBUS"},   {SIGFPE, "SIGFPE"},
    {SIGILL, "SIGILL"},   {SIGABRT, "SIGABRT"},
};

const char* NameOf(int signal) {
    for (const SignalName& s : kFaultSignals)
        if (s.signal == signal) return s.name;
    return signal == 0 ? "none" : "other";
}

void WriteReport(int signal, const void* address, const char* reason) {
    static const char kTemp[] = "Halvex-49922.dmp.tmp";
    int fd = ::open(kTemp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd == -1) return;  // no report, as on any failure of the crash path
    RawText head;
    head.Add("Halvex crash report\nBuild: ");
    head.AddDec(OS::kBuildNumber);
    head.Add("\nProcess: ");
    head.AddDec(static_cast<uint64_t>(::getpid()));
    head.Add("\nThread: ");
    head.AddDec(Kiv::Thread::GetCurrentId());
    head.Add("\nSignal: ");
    head.AddDec(static_cast<uint64_t>(signal));
    head.Add(" (");
    head.Add(NameOf(signal));
    head.Add(")\nReason: ");
    head.Add(reason);
    head.Add("\nAddress: ");
    head.AddHex(reinterpret_cast<uintptr_t>(address));
    head.Add("\nBacktrace:\n");
    head.WriteTo(fd);
    void* frames[64];
    int depth = ::backtrace(frames, 64);
    ::backtrace_symbols_fd(frames, depth, fd);
    ::close(fd);
    ::rename(kTemp, OS::kCrashDumpName);
}

void CrashFilterWithReason(int signal, const void* address, const char* reason) {
    if (dumpWritten.exchange(true)) return;
    WriteReport(signal, address, reason);
}

// --- Fault signals -------------------------------------------------------------------------

struct sigaction previousFault[NSIG];

void FlushForSignal() {
    // stdio may be mid-write on this very thread; a plain stream only calls write(2) when
    // flushed, but the pipe's converting stream allocates, which a signal handler must not.
    if (OS::IsStdoutPipe()) return;
    if (::ftrylockfile(stdout) == 0) {
        ::fflush_unlocked(stdout);
        ::funlockfile(stdout);
    }
}

void OnFault(int signal, siginfo_t* info, void*) {
    const int savedErrno = errno;
    if (signal != SIGABRT && IsInGuardedCall() && !IsDebuggerAttached()) {
        RawText line;
        line.Add("Fatal signal ");
        line.AddDec(static_cast<uint64_t>(signal));
        line.Add(" in a guarded call; ending the process.\n");
        line.WriteTo(STDERR_FILENO);
        FlushForSignal();
        ::_exit(kGuardedCallExitCode);
    }
    if (armed.load()) CrashFilterWithReason(signal, info->si_addr, "fault");
    // Hand the signal on to whoever had it before: a sanitiser's report, or the default
    // action, which ends the process.
    ::sigaction(signal, &previousFault[signal], nullptr);
    if (info->si_code <= 0) ::raise(signal);  // sent rather than caused: send it again
    errno = savedErrno;
}

std::terminate_handler previousTerminate = nullptr;

void OnTerminate() {
    if (armed.load()) CrashFilterWithReason(SIGABRT, nullptr, "unhandled C++ exception");
    if (previousTerminate != nullptr) previousTerminate();
    std::abort();
}

// --- Close requests ------------------------------------------------------------------------

int consolePipe[2] = {-1, -1};

void OnConsoleSignal(int signal) {
    const int savedErrno = errno;
    auto b = static_cast<unsigned char>(signal);
    [[maybe_unused]] ssize_t n = ::write(consolePipe[1], &b, 1);
    errno = savedErrno;
}

uint32_t CtrlTypeOf(int signal) {
    return signal == SIGINT ? OS::kCtrlC : signal == SIGHUP ? OS::kCtrlClose : OS::kCtrlShutdown;
}

// The close request is handled on a thread of its own, as the system's console thread would:
// it may log and wait, which a signal handler may not.
void WatchConsole() {
    for (;;) {
        unsigned char b = 0;
        ssize_t n = ::read(consolePipe[0], &b, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        int signal = b;
        if (!OS::ConsoleCtrlHandler(CtrlTypeOf(signal))) {
            ::signal(signal, SIG_DFL);
            ::kill(::getpid(), signal);
        }
    }
}

void InstallConsoleHandlers() {
    static std::atomic<pid_t> installedIn{0};
    const pid_t self = ::getpid();
    if (installedIn.exchange(self) == self) return;
    if (::pipe2(consolePipe, O_CLOEXEC) != 0) return;
    std::thread(WatchConsole).detach();
    struct sigaction sa {};
    sa.sa_handler = OnConsoleSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGHUP, SIGTERM})
        ::sigaction(signal, &sa, nullptr);
}

void AtExit() {
    OS::ExitCrashCheck();
}

}  // namespace

namespace OS {

void InstallFaultHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        // backtrace() loads its unwinder on first use, which allocates: do it now, not in a
        // signal handler.
        void* frame[1];
        ::backtrace(frame, 1);
        Kiv::Thread::EnsureSignalStack();
        struct sigaction sa {};
        sa.sa_sigaction = OnFault;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_SIGINFO | SA_ONSTACK;
        for (const SignalName& s : kFaultSignals)
            ::sigaction(s.signal, &sa, &previousFault[s.signal]);
    });
}

void InstallCrashHandlers(bool allowQuit) {
    quitAllowed.store(allowQuit);
    if (allowQuit) {
        QuitEvent().Set();
    } else {
        QuitEvent().Reset();
    }
    armed.store(true);
    InstallFaultHandlers();
    static std::once_flag once;
    std::call_once(once, [] {
        previousTerminate = std::set_terminate(OnTerminate);
        std::atexit(AtExit);
    });
    InstallConsoleHandlers();
}

void DisarmCrashHandlers() {
    armed.store(false);
    quitAllowed.store(true);
    QuitEvent().Set();
}

bool IsCrashHandlingArmed() {
    return armed.load();
}

bool IsCloseRequested() {
    return closeRequested.load();
}

void RemoveConsoleCloseButton() {}

void ForceCrashDump() {
    CrashFilterWithReason(0, nullptr, "report requested");
}

void CrashFilter(int signal, const void* address) {
    CrashFilterWithReason(signal, address, signal == 0 ? "report requested" : "fault");
}

bool WasCrashDumpWritten() {
    return dumpWritten.load();
}

void ExitCrashCheck() {
    if (armed.load()) ForceCrashDump();
}

bool ConsoleCtrlHandler(uint32_t ctrlType) {
    LogLineA("Console Window event handler called for CtrlType=%d", static_cast<int>(ctrlType));
    if (quitAllowed.load()) {
        armed.store(false);
        return false;
    }
    closeRequested.store(true);
    if (ctrlType > 1) {
        while (!quitAllowed.load())
            QuitEvent().Wait(1000);
    }
    return true;
}

}  // namespace OS

void EndProcess(int exitCode) {
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(exitCode);
}

bool IsDebuggerAttached() {
    int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd == -1) return false;
    char buffer[4096];
    size_t n = 0;
    for (;;) {
        ssize_t r = ::read(fd, buffer + n, sizeof buffer - 1 - n);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        n += static_cast<size_t>(r);
        if (n == sizeof buffer - 1) break;
    }
    ::close(fd);
    buffer[n] = '\0';
    const char* at = std::strstr(buffer, "TracerPid:");
    if (at == nullptr) return false;
    at += sizeof("TracerPid:") - 1;
    while (*at == ' ' || *at == '\t')
        ++at;
    return *at >= '1' && *at <= '9';
}
