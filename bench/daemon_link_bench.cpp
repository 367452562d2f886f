// Round trip of a small frame over the daemon link (framing through the link's exact-length
// sends, the answer read back through it) against the scripted daemon in a process of its own,
// beside a raw ping-pong of the same sizes between two processes on loopback; and whole
// requests through the client (transaction ids; a request alone on the link reads its own
// reply, otherwise the reader thread reads each reply whole and wakes its requester once) from
// 1 and from 8 requesting threads; and an empty command-host
// call from the daemon's note to the host's answer. Each run has a daemon and a link
// of its own, so the runs may come in any order.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "assetdb/command_host.h"
#include "assetdb/daemon_link.h"
#include "assetdb/notifications.h"
#include "assetdb/reader_thread.h"
#include "bench/ratio.h"
#include "foundation/data_root.h"
#include "foundation/main_thread.h"
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

// A scripted daemon in a process of its own and the client's link to it, made by a benchmark
// run's Setup and gone with its Teardown, so that runs of different benchmarks, in any order
// (--benchmark_enable_random_interleaving), never share one another's link. With `answering`,
// the client's reader thread and request layer are installed and the daemon answers every
// request kRequest at once with a reply of kAnswer bytes; without, there is no reader and the
// benchmark reads the echo answers itself.
class DaemonUnderTest {
public:
    static constexpr uint32_t kRequest = 600;

    explicit DaemonUnderTest(bool answering) {
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
        if (answering)
            WEXInstallClientLink();
        else
            SetWEXLinkHooks({});
        WEXClientOptions options;
        options.mayStartDaemon = 0;
        up_ = daemon_->ok() && WEXOpenDatabase(options);
    }
    ~DaemonUnderTest() {
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

std::unique_ptr<DaemonUnderTest>& CurrentDaemon() {
    static std::unique_ptr<DaemonUnderTest> daemon;
    return daemon;
}
void StartEchoDaemon(const benchmark::State&) {
    CurrentDaemon() = std::make_unique<DaemonUnderTest>(false);
}
void StartAnsweringDaemon(const benchmark::State&) {
    CurrentDaemon() = std::make_unique<DaemonUnderTest>(true);
}
void StopDaemon(const benchmark::State&) {
    CurrentDaemon().reset();
}

void BM_DaemonLinkRoundTrip(benchmark::State& state) {
    if (!CurrentDaemon() || !CurrentDaemon()->up()) {
        state.SkipWithError("no link to the scripted daemon");
        return;
    }
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
BENCHMARK(BM_DaemonLinkRoundTrip)->UseRealTime()->Setup(StartEchoDaemon)->Teardown(StopDaemon);

void BM_ClientRequest(benchmark::State& state) {
    if (!CurrentDaemon() || !CurrentDaemon()->up()) {
        state.SkipWithError("no link to the scripted daemon");
        return;
    }
    uint8_t bytes[kPayload] = {1, 2, 3};
    TBuffer payload(bytes, sizeof bytes);
    TBuffer reply;
    for (auto _ : state) {
        payload.SetPosition(0);
        reply.SetPosition(0);
        if (!WEXClientTransact(DaemonUnderTest::kRequest, payload, &reply, nullptr, nullptr,
                               false)) {
            state.SkipWithError("request failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClientRequest)
    ->UseRealTime()
    ->Threads(1)
    ->Threads(8)
    ->Setup(StartAnsweringDaemon)
    ->Teardown(StopDaemon);

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

// The raw ceiling for requests from many threads over one link: the same frames and answers
// over one loopback connection to a peer process, each thread holding the connection for its
// own exchange.
struct SharedRawLink {
    testsupport::LoopbackListener listener;
    std::unique_ptr<PeerProcess> peer;
    int fd = -1;
    std::mutex lock;
};
std::unique_ptr<SharedRawLink>& CurrentRawLink() {
    static std::unique_ptr<SharedRawLink> link;
    return link;
}
void StartRawLink(const benchmark::State&) {
    auto link = std::make_unique<SharedRawLink>();
    SharedRawLink* raw = link.get();
    raw->peer = std::make_unique<PeerProcess>([raw](int ready, int) {
        PeerProcess::Ready(ready);
        int fd = raw->listener.Accept();
        uint8_t frame[kFrame];
        uint32_t answer = testsupport::ScriptedDaemon::kEchoAnswer;
        while (fd >= 0 && testsupport::RecvAll(fd, frame, sizeof frame) &&
               testsupport::SendAll(fd, &answer, sizeof answer)) {
        }
    });
    raw->fd = raw->peer->ok() ? testsupport::ConnectLoopback(raw->listener.port()) : -1;
    CurrentRawLink() = std::move(link);
}
void StopRawLink(const benchmark::State&) {
    if (CurrentRawLink() && CurrentRawLink()->fd >= 0) ::close(CurrentRawLink()->fd);
    CurrentRawLink().reset();
}

void BM_RawSharedLinkPingPong(benchmark::State& state) {
    SharedRawLink* raw = CurrentRawLink().get();
    if (raw == nullptr || raw->fd < 0) {
        state.SkipWithError("no peer");
        return;
    }
    uint8_t frame[kFrame] = {1, 2, 3};
    uint32_t answer;
    for (auto _ : state) {
        std::lock_guard<std::mutex> hold(raw->lock);
        if (!testsupport::SendAll(raw->fd, frame, sizeof frame) ||
            !testsupport::RecvAll(raw->fd, &answer, sizeof answer)) {
            state.SkipWithError("socket failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawSharedLinkPingPong)
    ->UseRealTime()
    ->Threads(1)
    ->Threads(8)
    ->Setup(StartRawLink)
    ->Teardown(StopRawLink);

// An empty install call (id 3, no ids) through the command host's path: the daemon's note,
// queued for the main thread, the host's callback and its 141; the scripted daemon then tells
// the main thread with a note of type 0 that the answer came. The main thread polls as the
// host loop does.
constexpr uint32_t kTriggerHostCall = 601;
std::atomic<uint32_t> gHostAnswers{0};

void CountHostAnswer(uint32_t) {
    ++gHostAnswers;
}

void BM_EmptyHostCall(benchmark::State& state) {
    char folder[] = "/tmp/halvex-bench-XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        state.SkipWithError("no folder");
        return;
    }
    const std::string install = folder;
    std::filesystem::create_directories(install + "/UserData");
    const std::string database = install + "/UserData/assets.wbi";
    auto daemon = std::make_unique<PeerProcess>([database](int ready, int release) {
        testsupport::ScriptedDaemon::Script script;
        script.onFrame = [](testsupport::ScriptedDaemon& d,
                            const testsupport::ScriptedDaemon::Frame& f) {
            using SD = testsupport::ScriptedDaemon;
            if (f.messageId == kTriggerHostCall)
                return d.Send(SD::NoteRecord(
                    kNotifyCommandHostCall,
                    SD::Word(3) + SD::Word(7) + SD::Word(2) + std::string("/\0", 2) + SD::Word(0)));
            if (f.messageId == kMessageCommandHostAnswer)
                return d.Send(SD::NoteRecord(kNotifyCallbackValue, SD::Word(1)));
            return true;
        };
        testsupport::ScriptedDaemon scripted(database, script);
        PeerProcess::Ready(ready);
        PeerProcess::AwaitRelease(release);
    });
    SetFolderRoots(install, install + "/UserData");
    WEXInstallClientLink();
    RecordMainThreadId();
    WEXClientOptions options;
    options.mayStartDaemon = 0;
    options.notificationCallback = CountHostAnswer;
    if (!daemon->ok() || !WEXOpenDatabase(options)) {
        state.SkipWithError("no link to the scripted daemon");
    } else {
        SetWEXCommandHostCallback(&CommandHostCallback);
        for (auto _ : state) {
            const uint32_t before = gHostAnswers.load();
            TBuffer empty;
            if (!WEXClientPost(kTriggerHostCall, empty)) {
                state.SkipWithError("link failed");
                break;
            }
            int waits = 0;
            while (gHostAnswers.load() == before && waits++ < 1000) {
                WaitForMainThreadCalls(50);
                RunIdleTasks();
            }
            if (gHostAnswers.load() == before) {
                state.SkipWithError("no answer");
                break;
            }
        }
        SetWEXCommandHostCallback(nullptr);
    }
    WEXCloseDatabase();
    SetWEXLinkHooks({});
    SetFolderRoots("", "");
    daemon.reset();
    std::filesystem::remove_all(install);
}
BENCHMARK(BM_EmptyHostCall)->UseRealTime();

HALVEX_BENCH_COMPARE("BM_EmptyHostCall/real_time", "BM_RawTwoProcessPingPong/real_time");
HALVEX_BENCH_COMPARE("BM_DaemonLinkRoundTrip/real_time", "BM_RawTwoProcessPingPong/real_time");
HALVEX_BENCH_COMPARE("BM_ClientRequest/real_time/threads:1", "BM_RawTwoProcessPingPong/real_time");
HALVEX_BENCH_COMPARE("BM_ClientRequest/real_time/threads:1",
                     "BM_RawSharedLinkPingPong/real_time/threads:1");
HALVEX_BENCH_COMPARE("BM_ClientRequest/real_time/threads:8",
                     "BM_RawSharedLinkPingPong/real_time/threads:8");

}  // namespace
