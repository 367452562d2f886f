// Round trip of a small frame over the daemon link (framing through the link's exact-length
// sends, the answer read back through it) against the scripted daemon in a process of its own,
// beside a raw ping-pong of the same sizes between two processes on loopback; and whole
// requests through the client (transaction ids, the reader thread, the reply read by its
// requester) from 1 and from 8 requesting threads against the same daemon.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "assetdb/daemon_link.h"
#include "assetdb/reader_thread.h"
#include "bench/ratio.h"
#include "foundation/data_root.h"
#include "foundation/tbuffer.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/scripted_daemon.h"

namespace {

constexpr size_t kPayload = 16;
constexpr size_t kFrame = 12 + kPayload;  // message id, second word, length, payload
constexpr size_t kAnswer = 4;

// A peer in a forked process: serve runs there once the child is forked and reports ready
// through `ready`; the child ends when this object goes.
class PeerProcess {
public:
    explicit PeerProcess(const std::function<void(int ready, int release)>& serve) {
        int ready[2];
        int release[2];
        if (::pipe(ready) != 0 || ::pipe(release) != 0) return;
        std::fflush(stdout);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::close(release[1]);
            serve(ready[1], release[0]);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(release[0]);
        release_ = release[1];
        char c;
        ok_ = pid_ > 0 && ::read(ready[0], &c, 1) == 1;
        ::close(ready[0]);
    }
    ~PeerProcess() {
        if (release_ != -1) ::close(release_);
        if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    }
    bool ok() const { return ok_; }

    static void Ready(int fd) {
        char c = 1;
        if (::write(fd, &c, 1) != 1) ::_exit(1);
    }
    static void AwaitRelease(int fd) {
        char c;
        while (::read(fd, &c, 1) > 0) {
        }
    }

private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool ok_ = false;
};

void BM_DaemonLinkRoundTrip(benchmark::State& state) {
    char folder[] = "/tmp/halvex-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string install = folder;
    std::filesystem::create_directories(install + "/UserData");
    const std::string database = install + "/UserData/assets.wbi";
    {
        PeerProcess daemon([&](int ready, int release) {
            testsupport::ScriptedDaemon scripted(database);
            PeerProcess::Ready(ready);
            PeerProcess::AwaitRelease(release);
        });
        SetFolderRoots(install, install + "/UserData");
        WEXClientOptions options;
        options.mayStartDaemon = 0;
        if (!daemon.ok() || !WEXOpenDatabase(options)) {
            state.SkipWithError("no link to the scripted daemon");
        } else {
            uint8_t bytes[kPayload] = {1, 2, 3};
            TBuffer payload(bytes, sizeof bytes);
            uint32_t answer;
            for (auto _ : state) {
                payload.SetPosition(0);
                if (!WEXClientPost(testsupport::ScriptedDaemon::kEchoMessage, payload) ||
                    !WEXClientReceiveExact(&answer, kAnswer, true)) {
                    state.SkipWithError("link failed");
                    break;
                }
            }
        }
        WEXCloseDatabase();
        SetFolderRoots("", "");
    }
    std::filesystem::remove_all(install);
}
BENCHMARK(BM_DaemonLinkRoundTrip)->UseRealTime();

// The scripted daemon in a process of its own, answering every request at once with a reply
// of kAnswer bytes, and the client's link to it; made once for all the request benchmarks.
class AnsweringDaemon {
public:
    static constexpr uint32_t kRequest = 600;

    AnsweringDaemon() {
        char folder[] = "/tmp/halvex-bench-XXXXXX";
        if (::mkdtemp(folder) == nullptr) return;
        install_ = folder;
        std::filesystem::create_directories(install_ + "/UserData");
        const std::string database = install_ + "/UserData/assets.wbi";
        daemon_ = std::make_unique<PeerProcess>([database](int ready, int release) {
            testsupport::ScriptedDaemon::Script script;
            script.onFrame = [](testsupport::ScriptedDaemon& d,
                                const testsupport::ScriptedDaemon::Frame& f) {
                return f.messageId != kRequest ||
                       d.Send(testsupport::ScriptedDaemon::ReplyRecord(f.secondWord, "@ack"));
            };
            testsupport::ScriptedDaemon scripted(database, script);
            PeerProcess::Ready(ready);
            PeerProcess::AwaitRelease(release);
        });
        SetFolderRoots(install_, install_ + "/UserData");
        WEXInstallClientLink();
        WEXClientOptions options;
        options.mayStartDaemon = 0;
        up_ = daemon_->ok() && WEXOpenDatabase(options);
    }
    ~AnsweringDaemon() {
        WEXCloseDatabase();
        SetWEXLinkHooks({});
        SetFolderRoots("", "");
        daemon_.reset();
        if (!install_.empty()) std::filesystem::remove_all(install_);
    }
    bool up() const { return up_; }

private:
    std::string install_;
    std::unique_ptr<PeerProcess> daemon_;
    bool up_ = false;
};

void BM_ClientRequest(benchmark::State& state) {
    // Made by the first run's only thread, before any run has more threads than that.
    static AnsweringDaemon daemon;
    if (!daemon.up()) {
        state.SkipWithError("no link to the scripted daemon");
        return;
    }
    uint8_t bytes[kPayload] = {1, 2, 3};
    TBuffer payload(bytes, sizeof bytes);
    TBuffer reply;
    for (auto _ : state) {
        payload.SetPosition(0);
        reply.SetPosition(0);
        if (!WEXClientTransact(AnsweringDaemon::kRequest, payload, &reply, nullptr, nullptr,
                               false)) {
            state.SkipWithError("request failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClientRequest)->UseRealTime()->Threads(1)->Threads(8);

void BM_RawTwoProcessPingPong(benchmark::State& state) {
    testsupport::LoopbackListener listener;
    PeerProcess peer([&](int ready, int) {
        PeerProcess::Ready(ready);
        int fd = listener.Accept();
        uint8_t frame[kFrame];
        uint32_t answer = testsupport::ScriptedDaemon::kEchoAnswer;
        while (fd >= 0 && testsupport::RecvAll(fd, frame, sizeof frame) &&
               testsupport::SendAll(fd, &answer, sizeof answer)) {
        }
    });
    int fd = testsupport::ConnectLoopback(listener.port());
    if (!peer.ok() || fd < 0) {
        state.SkipWithError("no peer");
        return;
    }
    uint8_t frame[kFrame] = {1, 2, 3};
    uint32_t answer;
    for (auto _ : state) {
        if (!testsupport::SendAll(fd, frame, sizeof frame) ||
            !testsupport::RecvAll(fd, &answer, sizeof answer)) {
            state.SkipWithError("socket failed");
            break;
        }
    }
    ::close(fd);
}
BENCHMARK(BM_RawTwoProcessPingPong)->UseRealTime();

HALVEX_BENCH_COMPARE("BM_DaemonLinkRoundTrip/real_time", "BM_RawTwoProcessPingPong/real_time");
HALVEX_BENCH_COMPARE("BM_ClientRequest/real_time/threads:1", "BM_RawTwoProcessPingPong/real_time");
HALVEX_BENCH_COMPARE("BM_ClientRequest/real_time/threads:8", "BM_RawTwoProcessPingPong/real_time");

}  // namespace
