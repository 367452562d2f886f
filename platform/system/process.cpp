#include "platform/system/process.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <string_view>

namespace Sys {

namespace {

// What the launch's helper processes tell the caller through the status pipe. Each message is
// one write of 8 bytes, which a pipe never interleaves.
struct LaunchMessage {
    int32_t kind;
    int32_t value;
};
constexpr int32_t kMessagePid = 1;     // value: the program's process id
constexpr int32_t kMessageFailed = 2;  // value: errno of the step that failed

void Tell(int fd, int32_t kind, int32_t value) {
    LaunchMessage m{kind, value};
    ssize_t r;
    do {
        r = ::write(fd, &m, sizeof m);
    } while (r < 0 && errno == EINTR);
}

// Marks every descriptor from 3 on close-on-exec. Only async-signal-safe calls: this runs
// between fork and exec.
void CloseOnExecFromThree() {
    if (::syscall(SYS_close_range, 3u, ~0u, CLOSE_RANGE_CLOEXEC) == 0) return;
    long max = ::sysconf(_SC_OPEN_MAX);
    if (max < 0 || max > 65536) max = 65536;
    for (int fd = 3; fd < max; ++fd)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

void ResetSignals() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    for (int sig = 1; sig < NSIG; ++sig)
        if (sig != SIGKILL && sig != SIGSTOP) ::sigaction(sig, &action, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
}

// The program's side of the launch, in the grandchild; never returns.
[[noreturn]] void ExecProgram(int status, const char* file, char* const* argv,
                              const char* directory, const char* output) {
    ResetSignals();
    if (directory != nullptr && ::chdir(directory) != 0) {
        Tell(status, kMessageFailed, errno);
        ::_exit(127);
    }
    int in = ::open("/dev/null", O_RDONLY);
    int out = ::open(output, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0) {
        Tell(status, kMessageFailed, errno);
        ::_exit(127);
    }
    if (in > 2) ::close(in);
    if (out > 2) ::close(out);
    CloseOnExecFromThree();
    ::execv(file, argv);
    Tell(status, kMessageFailed, errno);
    ::_exit(127);
}

std::string ReadLink(const std::string& path) {
    std::string buffer(256, '\0');
    for (;;) {
        ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            return buffer;
        }
        if (buffer.size() >= 65536) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::string ProcPath(ProcessId id, const char* leaf) {
    return "/proc/" + std::to_string(id) + "/" + leaf;
}

// The path taken from the current folder, so that the program's own working folder does not
// change what it names.
bool MakeAbsolute(std::string& path) {
    if (path.empty() || path[0] == '/') return true;
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return false;
    path = std::string(cwd) + "/" + path;
    return true;
}

bool ValidId(ProcessId id) {
    return id != 0 && id <= static_cast<ProcessId>(INT_MAX);
}

}  // namespace

ProcessId LaunchDetached(const LaunchRequest& request) {
    if (request.file.empty()) return 0;

    // Everything the child needs is made before fork: after it, only async-signal-safe calls.
    std::string file = request.file;
    std::string output = request.outputPath.empty() ? "/dev/null" : request.outputPath;
    if (!MakeAbsolute(file) || !MakeAbsolute(output)) return 0;
    std::vector<std::string> args;
    args.push_back(request.file);
    args.insert(args.end(), request.arguments.begin(), request.arguments.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const char* directory = request.directory.empty() ? nullptr : request.directory.c_str();

    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0) return 0;
    pid_t child = ::fork();
    if (child < 0) {
        ::close(status[0]);
        ::close(status[1]);
        return 0;
    }
    if (child == 0) {
        ::close(status[0]);
        ::setsid();
        pid_t program = ::fork();
        if (program == 0)
            ExecProgram(status[1], file.c_str(), argv.data(), directory, output.c_str());
        if (program < 0)
            Tell(status[1], kMessageFailed, errno);
        else
            Tell(status[1], kMessagePid, static_cast<int32_t>(program));
        ::_exit(0);
    }

    ::close(status[1]);
    int childStatus;
    while (::waitpid(child, &childStatus, 0) < 0 && errno == EINTR) {
    }
    // The pipe reaches its end once the program has been executed (close-on-exec) or has
    // given up.
    ProcessId program = 0;
    bool failed = false;
    LaunchMessage m;
    for (;;) {
        ssize_t r = ::read(status[0], &m, sizeof m);
        if (r < 0 && errno == EINTR) continue;
        if (r != static_cast<ssize_t>(sizeof m)) break;
        if (m.kind == kMessagePid)
            program = static_cast<ProcessId>(m.value);
        else
            failed = true;
    }
    ::close(status[0]);
    return failed ? 0 : program;
}

std::vector<ProcessEntry> ListProcesses() {
    std::vector<ProcessEntry> list;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) return list;
    while (dirent* e = ::readdir(proc)) {
        char* end = nullptr;
        unsigned long id = std::strtoul(e->d_name, &end, 10);
        if (end == e->d_name || *end != '\0' || !ValidId(static_cast<ProcessId>(id))) continue;
        std::string exe = GetProcessExecutable(static_cast<ProcessId>(id));
        if (!exe.empty()) list.push_back({static_cast<ProcessId>(id), std::move(exe)});
    }
    ::closedir(proc);
    return list;
}

std::string GetProcessExecutable(ProcessId id) {
    if (!ValidId(id)) return {};
    std::string exe = ReadLink(ProcPath(id, "exe"));
    constexpr std::string_view kDeleted = " (deleted)";
    if (exe.size() > kDeleted.size() && exe.ends_with(kDeleted))
        exe.resize(exe.size() - kDeleted.size());
    return exe;
}

bool IsProcessAlive(ProcessId id) {
    if (!ValidId(id)) return false;
    std::ifstream status(ProcPath(id, "status"));
    std::string line;
    bool running = false;
    bool isProcess = false;
    while (std::getline(status, line)) {
        if (line.rfind("State:", 0) == 0) {
            size_t s = line.find_first_not_of(" \t", 6);
            running = s != std::string::npos && line[s] != 'Z' && line[s] != 'X';
        } else if (line.rfind("Tgid:", 0) == 0) {
            isProcess = std::strtoul(line.c_str() + 5, nullptr, 10) == id;
        }
    }
    return running && isProcess;
}

bool TerminateProcess(ProcessId id) {
    return ValidId(id) && ::kill(static_cast<pid_t>(id), SIGKILL) == 0;
}

ProcessId GetCurrentProcessId() {
    return static_cast<ProcessId>(::getpid());
}

}  // namespace Sys
