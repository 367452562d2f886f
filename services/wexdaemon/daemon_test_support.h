// Test support for the daemon: the real wexdaemon program started in a temporary data root and
// stopped again whatever the test does, and a small scripted client that speaks the link's
// byte forms over a raw loopback socket.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/shared_state.h"
#include "platform/system/shared_memory.h"
#include "services/wexdaemon/wire_format.h"
#include "tests/support/loopback_listener.h"

extern char** environ;

namespace wexdtest {

inline std::string DaemonProgram() {
    return std::string(HALVEX_STAGE_DIR) + "/bin/wexdaemon";
}

inline std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Polls `done` every 10 ms for up to `limit`; true once it held. For waiting on another
// process, never for judging speed.
template <typename F>
bool WaitFor(F done, std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// One run of the daemon program. The destructor ends a daemon still running (SIGTERM, then
// SIGKILL), so no test leaves one behind.
class DaemonProcess {
public:
    DaemonProcess() = default;
    DaemonProcess(const DaemonProcess&) = delete;
    DaemonProcess& operator=(const DaemonProcess&) = delete;
    ~DaemonProcess() {
        if (pid_ > 0 && !Exited()) {
            ::kill(pid_, SIGTERM);
            if (!WaitExit(std::chrono::seconds(10))) {
                ::kill(pid_, SIGKILL);
                WaitExit(std::chrono::seconds(10));
            }
        }
    }

    // Starts the program with the arguments, in the working folder (empty: this one's).
    bool Start(const std::vector<std::string>& arguments, const std::string& folder = {},
               const std::string& program = DaemonProgram()) {
        std::vector<std::string> all{program};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
        int r = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        return r == 0;
    }

    pid_t Pid() const { return pid_; }

    // True once the process has ended (its status is then kept).
    bool Exited() {
        if (status_) return true;
        int status = 0;
        if (pid_ <= 0 || ::waitpid(pid_, &status, WNOHANG) != pid_) return false;
        status_ = status;
        return true;
    }
    bool WaitExit(std::chrono::milliseconds limit = std::chrono::seconds(20)) {
        return WaitFor([this] { return Exited(); }, limit);
    }
    // The exit code once ended normally; -1 otherwise.
    int ExitCode() const { return status_ && WIFEXITED(*status_) ? WEXITSTATUS(*status_) : -1; }

    void Signal(int signal) { ::kill(pid_, signal); }

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
};

// The port the daemon of that database published in the shared-state block, read as a client
// reads it; 0 when none was published within the limit.
inline uint16_t WaitForPort(const std::string& databasePath) {
    uint32_t port = 0;
    WaitFor([&] {
        if (!AttachSharedState(databasePath)) return false;
        port = GetDaemonPort();
        DetachSharedState();
        return port != 0;
    });
    return static_cast<uint16_t>(port);
}

// The port that the daemon of that process id published as the database's owner; 0 when it did
// not within the limit. Unlike WaitForPort, a port left in the block by a daemon that was
// killed is never taken for the new one's.
inline uint16_t WaitForOwner(const std::string& databasePath, pid_t pid) {
    uint32_t port = 0;
    WaitFor([&] {
        if (!AttachSharedState(databasePath)) return false;
        Sys::SharedMemory memory;
        if (memory.Open(SharedStateNamesFor(databasePath).mapping, kSharedStateSize)) {
            WEXSharedState block(memory.Data());
            if (block.Owner() == static_cast<uint32_t>(pid)) port = block.Port();
            memory.Close();
        }
        DetachSharedState();
        return port != 0;
    });
    return static_cast<uint16_t>(port);
}

inline std::string Word(uint32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

inline std::string HelloBytes(const std::string& databasePath, uint32_t clientFlag = 1) {
    return Word(wexd::kHelloClientTag) + Word(wexd::kLinkVersion) + Word(wexd::kLinkBuild) +
           Word(clientFlag) + Word(static_cast<uint32_t>(databasePath.size())) + databasePath;
}

inline std::string FrameBytes(uint32_t id, uint32_t transaction, const std::string& payload) {
    return Word(id) + Word(transaction) + Word(static_cast<uint32_t>(payload.size())) + payload;
}

struct Record {
    uint32_t tag = 0;
    uint32_t word = 0;
    std::string bytes;
};

// A raw client link. Reads time out after a few seconds so that a daemon that never answers
// fails the test instead of hanging it.
class ScriptedClient {
public:
    explicit ScriptedClient(uint16_t port) : fd_(testsupport::ConnectLoopback(port)) {
        timeval limit{10, 0};
        if (fd_ >= 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
    ~ScriptedClient() {
        if (fd_ >= 0) ::close(fd_);
    }
    ScriptedClient(const ScriptedClient&) = delete;
    ScriptedClient& operator=(const ScriptedClient&) = delete;

    bool Connected() const { return fd_ >= 0; }
    bool Send(const std::string& bytes) {
        return testsupport::SendAll(fd_, bytes.data(), bytes.size());
    }

    // Sends the hello and reads the daemon's answer; true when it is "WEXD" and two words.
    bool Hello(const std::string& databasePath) {
        if (!Send(HelloBytes(databasePath))) return false;
        uint32_t answer[3];
        return testsupport::RecvAll(fd_, answer, sizeof answer) &&
               answer[0] == wexd::kHelloDaemonTag;
    }

    // The next reply or note; nullopt when the link ended (or nothing came in time).
    std::optional<Record> Next() {
        uint32_t header[3];
        if (!testsupport::RecvAll(fd_, header, sizeof header)) return std::nullopt;
        Record r{header[0], header[1], std::string(header[2], '\0')};
        if (header[2] != 0 && !testsupport::RecvAll(fd_, r.bytes.data(), header[2]))
            return std::nullopt;
        return r;
    }

    // Ends this side's sending; the daemon reads the end of the link.
    void StopSending() { ::shutdown(fd_, SHUT_WR); }

    // True when the daemon has closed the link: a read sees its end, not a time-out.
    bool ClosedByDaemon() {
        char c;
        ssize_t n = ::recv(fd_, &c, 1, 0);
        return n == 0 || (n < 0 && errno == ECONNRESET);
    }

    // Sends a request and reads its reply.
    std::optional<Record> Request(uint32_t id, uint32_t transaction, const std::string& payload) {
        if (!Send(FrameBytes(id, transaction, payload))) return std::nullopt;
        return Next();
    }

private:
    int fd_;
};

}  // namespace wexdtest
