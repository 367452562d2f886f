#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/system/process.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace e2e {
namespace {

// The programs of a tree that may still run when a test ends: the daemon first, then the
// utility (a command host the daemon started).
constexpr const char* kTreePrograms[] = {"wexdaemon", "HalvexUtil"};

// How long a process may take to vanish after SIGKILL.
constexpr auto kKillWait = 5s;
// The slice in which a run looks at its child and its pipes.
constexpr int kPollSliceMs = 20;

// argv and envp for execve, made before fork: the child may only make async-signal-safe
// calls.
struct ExecImage {
    std::vector<std::string> strings;
    std::vector<char*> argv;
    std::vector<char*> envp;

    ExecImage(const std::string& path, const std::vector<std::string>& args,
              const std::vector<std::string>& extraEnv) {
        std::vector<std::string> env;
        for (char** e = ::environ; *e != nullptr; ++e) {
            std::string_view entry(*e);
            std::string_view name = entry.substr(0, entry.find('='));
            bool replaced = false;
            for (const std::string& x : extraEnv)
                if (x.substr(0, x.find('=')) == name) replaced = true;
            if (!replaced) env.emplace_back(entry);
        }
        env.insert(env.end(), extraEnv.begin(), extraEnv.end());
        strings.push_back(path);
        strings.insert(strings.end(), args.begin(), args.end());
        size_t argCount = strings.size();
        strings.insert(strings.end(), env.begin(), env.end());
        for (size_t i = 0; i < strings.size(); ++i)
            (i < argCount ? argv : envp).push_back(strings[i].data());
        argv.push_back(nullptr);
        envp.push_back(nullptr);
    }
};

void WriteRaw(int fd, const char* text) {
    size_t n = 0;
    while (text[n] != '\0')
        ++n;
    ssize_t ignored = ::write(fd, text, n);
    (void)ignored;
}

[[noreturn]] void ExecChild(const ExecImage& image, const std::string& dir, int in, int out,
                            int err) {
    ::setpgid(0, 0);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::signal(SIGPIPE, SIG_DFL);
    if (::dup2(in, 0) == -1 || ::dup2(out, 1) == -1 || ::dup2(err, 2) == -1) ::_exit(126);
    ::syscall(SYS_close_range, 3u, ~0u, 0u);
    if (!dir.empty() && ::chdir(dir.c_str()) != 0) {
        WriteRaw(2, "e2e harness: cannot change to the working folder\n");
        ::_exit(126);
    }
    ::execve(image.argv[0], image.argv.data(), image.envp.data());
    WriteRaw(2, "e2e harness: cannot run ");
    WriteRaw(2, image.argv[0]);
    WriteRaw(2, "\n");
    ::_exit(127);
}

std::string DescribeRun(const std::string& path, const std::vector<std::string>& args) {
    std::string text = path;
    for (const std::string& a : args)
        text += " \"" + a + "\"";
    return text;
}

// Pipes of one run: the parent's ends, closed as they finish.
struct RunPipes {
    int childIn = -1, childOut = -1, childErr = -1;  // given to the child
    int toIn = -1, fromOut = -1, fromErr = -1;       // kept here

    ~RunPipes() {
        for (int fd : {childIn, childOut, childErr, toIn, fromOut, fromErr})
            if (fd != -1) ::close(fd);
    }
    bool Open(bool withInput) {
        int p[2];
        if (withInput) {
            if (::pipe2(p, O_CLOEXEC) != 0) return false;
            childIn = p[0];
            toIn = p[1];
            ::fcntl(toIn, F_SETFL, O_NONBLOCK);
        } else if ((childIn = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) == -1) {
            return false;
        }
        if (::pipe2(p, O_CLOEXEC) != 0) return false;
        fromOut = p[0];
        childOut = p[1];
        if (::pipe2(p, O_CLOEXEC) != 0) return false;
        fromErr = p[0];
        childErr = p[1];
        return true;
    }
    void CloseChildEnds() {
        for (int* fd : {&childIn, &childOut, &childErr}) {
            ::close(*fd);
            *fd = -1;
        }
    }
    static void Close(int& fd) {
        if (fd != -1) ::close(fd);
        fd = -1;
    }
};

// Moves what is ready between the pipes and the buffers; returns when the slice is over.
void PumpOnce(RunPipes& p, std::string_view input, size_t& written, std::string& out,
              std::string& err) {
    pollfd fds[3];
    nfds_t n = 0;
    for (int fd : {p.fromOut, p.fromErr, p.toIn})
        if (fd != -1) fds[n++] = {fd, static_cast<short>(fd == p.toIn ? POLLOUT : POLLIN), 0};
    if (n == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollSliceMs));
        return;
    }
    if (::poll(fds, n, kPollSliceMs) <= 0) return;
    for (nfds_t i = 0; i < n; ++i) {
        if (fds[i].revents == 0) continue;
        if (fds[i].fd == p.toIn) {
            ssize_t w = ::write(p.toIn, input.data() + written, input.size() - written);
            if (w > 0) written += static_cast<size_t>(w);
            if (w < 0 && errno != EAGAIN) written = input.size();  // the reader went away
            if (written == input.size()) RunPipes::Close(p.toIn);
            continue;
        }
        char buf[65536];
        ssize_t r = ::read(fds[i].fd, buf, sizeof buf);
        if (r > 0) {
            (fds[i].fd == p.fromOut ? out : err).append(buf, static_cast<size_t>(r));
        } else if (r == 0 || errno != EINTR) {
            RunPipes::Close(fds[i].fd == p.fromOut ? p.fromOut : p.fromErr);
        }
    }
}

}  // namespace

RunResult RunProgram(const std::string& path, const std::vector<std::string>& args,
                     const RunOptions& options) {
    // A program that ends before reading all its input must not end the test with SIGPIPE.
    static const bool ignoringSigPipe = (::signal(SIGPIPE, SIG_IGN), true);
    (void)ignoringSigPipe;

    RunResult result;
    RunPipes pipes;
    if (!pipes.Open(!options.input.empty())) {
        ADD_FAILURE() << "cannot make the pipes for " << path;
        return result;
    }
    ExecImage image(path, args, options.environment);
    pid_t pid = ::fork();
    if (pid == 0)
        ExecChild(image, options.workingDir, pipes.childIn, pipes.childOut, pipes.childErr);
    if (pid < 0) {
        ADD_FAILURE() << "cannot start " << path;
        return result;
    }
    ::setpgid(pid, pid);  // also here, so that a kill of the group cannot come too early
    pipes.CloseChildEnds();

    const auto deadline = Clock::now() + options.timeout;
    size_t written = 0;
    int status = 0;
    bool exited = false;
    Clock::time_point exitedAt;
    for (;;) {
        if (!exited && ::waitpid(pid, &status, WNOHANG) == pid) {
            exited = true;
            exitedAt = Clock::now();
        }
        if (exited && pipes.fromOut == -1 && pipes.fromErr == -1) break;
        if (exited && Clock::now() - exitedAt > options.outputGrace) {
            ADD_FAILURE() << "a process started by " << DescribeRun(path, args)
                          << " still holds its standard output or error after it ended";
            break;
        }
        if (!exited && Clock::now() > deadline) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.timedOut = true;
            ADD_FAILURE() << DescribeRun(path, args) << " did not end within "
                          << options.timeout.count() << " ms and was killed";
            // What the killed group wrote is still in the pipes.
            for (int i = 0; i < 10 && (pipes.fromOut != -1 || pipes.fromErr != -1); ++i)
                PumpOnce(pipes, options.input, written, result.out, result.err);
            break;
        }
        PumpOnce(pipes, options.input, written, result.out, result.err);
    }
    if (WIFEXITED(status) && !result.timedOut) result.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

InstallTree::InstallTree(std::string stageDir) {
    std::string tmpl = (fs::temp_directory_path() / "halvex-e2e-XXXXXX").string();
    if (::mkdtemp(tmpl.data()) == nullptr) {
        ADD_FAILURE() << "cannot make a temporary folder";
        return;
    }
    top_ = fs::canonical(tmpl).string();
    std::error_code ec;
    fs::create_directories(WorkDir(), ec);
    if (!fs::is_directory(stageDir + "/bin")) {
        ADD_FAILURE() << "no staged install tree at " << stageDir << " (build first)";
        return;
    }
    for (const char* part : {"bin", "Data", "scripts"}) {
        fs::path from = fs::path(stageDir) / part;
        if (!fs::exists(from)) continue;
        for (auto it = fs::recursive_directory_iterator(from); it != fs::end(it); ++it) {
            fs::path to = fs::path(Root()) / part / fs::relative(it->path(), from);
            if (it->is_directory()) {
                fs::create_directories(to);
                continue;
            }
            bool program = !it->is_symlink() && it->is_regular_file() &&
                           (it->status().permissions() & fs::perms::owner_exec) != fs::perms::none;
            fs::create_directories(to.parent_path());
            // Programs are large and never written; data files are the test's to change.
            if (program) fs::create_hard_link(it->path(), to, ec);
            if (!program || ec) fs::copy(it->path(), to, fs::copy_options::copy_symlinks);
        }
    }
}

bool InstallTree::ShipsNativeScriptLibraries() const {
    for (const char* name :
         {"gs", "worldcoordinate", "orientation", "kuid", "Soup", "HTMLBuffer", "KUIDList",
          "StringTable", "asset", "HalvexGameObject", "OnlineAccess", "OnlineGroup", "Image",
          "Library", "SecurityToken", "Constructors", "LinkedList"})
        if (!fs::exists(Bin() + "/libraries/" + name + ".gsl")) return false;
    return true;
}

InstallTree::~InstallTree() {
    if (top_.empty()) return;
    StopPrograms();
    std::error_code ec;
    fs::remove_all(top_, ec);
}

RunResult InstallTree::Run(std::string_view program, const std::vector<std::string>& args,
                           const RunOptions& options) const {
    std::string path =
        program.find('/') == std::string_view::npos ? Program(program) : std::string(program);
    RunOptions o = options;
    if (o.workingDir.empty()) o.workingDir = WorkDir();
    return RunProgram(path, args, o);
}

std::string InstallTree::AbsolutePath(std::string_view path) const {
    return !path.empty() && path[0] == '/' ? std::string(path) : top_ + "/" + std::string(path);
}

std::string InstallTree::WriteFile(std::string_view path, std::string_view body) const {
    std::string p = AbsolutePath(path);
    fs::create_directories(fs::path(p).parent_path());
    std::ofstream(p, std::ios::binary)
        .write(body.data(), static_cast<std::streamsize>(body.size()));
    return p;
}

std::map<std::string, std::string> InstallTree::FilesBelow(const std::string& dir) const {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir))
        if (e.is_regular_file())
            out[std::filesystem::relative(e.path(), dir).string()] = ReadFile(e.path().string());
    return out;
}

std::string InstallTree::ReadFile(std::string_view path) const {
    std::ifstream in(AbsolutePath(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void InstallTree::InstallProgram(std::string_view name, const std::string& source) const {
    fs::path to = Program(name);
    std::error_code ec;
    fs::remove(to, ec);  // a link to the staged program: unlink, never overwrite
    fs::copy_file(source, to, ec);
    if (ec) ADD_FAILURE() << "cannot put " << source << " in place of " << to << ": " << ec;
}

std::vector<uint32_t> InstallTree::RunningProcessesOf(std::string_view name) const {
    std::error_code ec;
    std::string exe = fs::weakly_canonical(Program(name), ec).string();
    std::vector<uint32_t> ids;
    for (const Sys::ProcessEntry& p : Sys::ListProcesses())
        if (p.executable == exe && Sys::IsProcessAlive(p.id)) ids.push_back(p.id);
    return ids;
}

size_t InstallTree::StopPrograms(std::chrono::milliseconds grace) const {
    auto waitGone = [](const std::vector<uint32_t>& ids, Clock::duration limit) {
        const auto until = Clock::now() + limit;
        for (;;) {
            bool any = false;
            for (uint32_t id : ids)
                any = any || Sys::IsProcessAlive(id);
            if (!any || Clock::now() > until) return !any;
            std::this_thread::sleep_for(std::chrono::milliseconds(kPollSliceMs));
        }
    };
    size_t stopped = 0;
    for (const char* name : kTreePrograms) {
        std::vector<uint32_t> ids = RunningProcessesOf(name);
        stopped += ids.size();
        for (uint32_t id : ids)
            ::kill(static_cast<pid_t>(id), SIGTERM);
        if (waitGone(ids, grace)) continue;
        for (uint32_t id : ids)
            if (Sys::IsProcessAlive(id)) Sys::TerminateProcess(id);
        if (!waitGone(ids, kKillWait))
            ADD_FAILURE() << "a process of " << Program(name) << " outlived SIGKILL";
    }
    return stopped;
}

}  // namespace e2e
