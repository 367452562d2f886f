#include "services/wexdaemon/daemon.h"

#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "platform/kiv/base/log.h"
#include "platform/system/process.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/command_host_manager.h"
#include "services/wexdaemon/core_requests.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/folder_ops.h"
#include "services/wexdaemon/instance_lock.h"
#include "services/wexdaemon/link_server.h"
#include "services/wexdaemon/request_dispatcher.h"
#include "services/wexdaemon/vendrix_service.h"

namespace wexd {

namespace {

constexpr std::chrono::seconds kIdlePeriod{1};

// The stop signals, received by a thread of their own: every other thread is started with
// them blocked, so none is interrupted inside a system call.
class SignalWatcher {
public:
    explicit SignalWatcher(Daemon& daemon) {
        sigemptyset(&set_);
        for (int s : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&set_, s);
        pthread_sigmask(SIG_BLOCK, &set_, &previous_);
        thread_ = std::thread([this, &daemon] {
            timespec step{0, 100 * 1000 * 1000};
            while (!done_.load(std::memory_order_acquire)) {
                int s = sigtimedwait(&set_, nullptr, &step);
                if (s > 0)
                    daemon.RequestStop(s == SIGTERM  ? "SIGTERM"
                                       : s == SIGINT ? "SIGINT"
                                                     : "SIGHUP");
            }
        });
    }
    ~SignalWatcher() {
        done_.store(true, std::memory_order_release);
        thread_.join();
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    sigset_t set_;
    sigset_t previous_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

void Complain(const std::string& text) {
    std::fprintf(stderr, "wexdaemon: %s\n", text.c_str());
    std::fflush(stderr);
}

}  // namespace

Daemon::Daemon(DaemonOptions options, std::unique_ptr<OwnerRecord> owner)
    : options_(std::move(options)), owner_(std::move(owner)) {
    AddCoreRequests(requests_);
}

Daemon::~Daemon() = default;

void Daemon::RequestStop(const char* why) {
    std::lock_guard<std::mutex> lock(stopMutex_);
    if (!stop_) DaemonLog("stopping (%s)", why);
    stop_ = true;
    stopWake_.notify_all();
}

CommandHostManager::Options Daemon::HostOptions() {
    CommandHostManager::Options options;
    options.callLimit = std::chrono::seconds(options_.hostTimeoutSeconds);
    options.logFile = paths_.root + "/commandhost.log";
    // The host finds its database from where it lies: only the install's own data root has one
    // that the host would find.
    std::string program = Sys::GetProcessExecutable(Sys::GetCurrentProcessId());
    std::string ownRoot = DataRootForProgram(program);
    if (!ownRoot.empty() && IsSameDatabase(paths_.Database(), ownRoot))
        options.program = program.substr(0, program.find_last_of('/') + 1) + "HalvexUtil";
    options.revert = [this](uint64_t handle) {
        StoreResult result = store_->Revert(handle);
        if (!result.Ok())
            DaemonLog("reverting handle %llu after a failed call: %s",
                      static_cast<unsigned long long>(handle), result.message.c_str());
    };
    return options;
}

bool Daemon::WaitForStop(std::chrono::steady_clock::duration timeout) {
    std::unique_lock<std::mutex> lock(stopMutex_);
    stopWake_.wait_for(lock, timeout, [this] { return stop_; });
    return stop_;
}

int Daemon::Run() {
    paths_.root = !options_.userData.empty()
                      ? options_.userData
                      : DataRootForProgram(Sys::GetProcessExecutable(Sys::GetCurrentProcessId()));
    if (paths_.root.empty()) {
        Complain("cannot tell where the install's UserData folder is");
        return 1;
    }
    std::string error;
    if (!MakeDataFolders(paths_, error)) {
        Complain(error);
        return 1;
    }
    // The log names the user's folders and assets: it is the user's alone.
    if (!MakePrivateFile(paths_.LogFile()) || !Kiv::Log::ToFile(paths_.LogFile()))
        Complain("cannot write " + paths_.LogFile());

    InstanceLock lock;
    switch (lock.TryAcquire(paths_.LockFile(), error)) {
        case InstanceLock::Result::kAcquired:
            break;
        case InstanceLock::Result::kHeldElsewhere:
            DaemonLog("another daemon owns %s; leaving", paths_.Database().c_str());
            return 0;
        case InstanceLock::Result::kFailed:
            DaemonLog("%s", error.c_str());
            Complain(error);
            return 1;
    }
    DaemonLog("starting on %s", paths_.root.c_str());
    // What the content service fetched in an earlier run is nobody's now.
    EmptyVendrixCache(paths_.root);

    SignalWatcher signals(*this);
    store_ = std::make_unique<AssetStore>(paths_);
    host_ = std::make_unique<CommandHostManager>(HostOptions());
    RequestDispatcher dispatcher(
        requests_, {[this] { store_->Flush(); }, [this] { RequestStop("request 270"); }});
    std::string root = paths_.root;
    LinkServer server(dispatcher, [root](const ClientHello& hello, std::string& why) {
        if (IsSameDatabase(hello.databasePath, root)) return true;
        why = "the hello names another database (" + hello.databasePath + ")";
        return false;
    });
    // A command host keeps its link open as long as the daemon runs: it is no user.
    server.SetIdleExemption([this](uint64_t link) { return link == host_->HostLink(); });
    if (!server.Listen(error)) {
        DaemonLog("%s", error.c_str());
        Complain(error);
        return 1;
    }
    server.Start();
    DaemonLog("listening on 127.0.0.1:%u", static_cast<unsigned>(server.Port()));
    // Published before the store is loaded: clients give up after about ten seconds, so they
    // are better connected and waiting than not finding the daemon at all.
    // A daemon no client can find would only hold the lock that keeps a findable one out.
    bool ready = owner_->Publish(paths_.Database(), server.Port(), error);
    if (!ready) {
        DaemonLog("clients cannot find this daemon: %s", error.c_str());
        RequestStop("not published");
    } else if (store_->Open(error)) {
        dispatcher.SetReady();
    } else {
        ready = false;
        DaemonLog("the store cannot be used: %s", error.c_str());
        RequestStop("no store");
    }

    auto nextIdle = std::chrono::steady_clock::now() + kIdlePeriod;
    for (;;) {
        auto wake = nextIdle;
        if (auto due = store_->BatchDue()) wake = std::min(wake, *due);
        if (WaitForStop(wake - std::chrono::steady_clock::now())) break;
        store_->FlushBatched();
        if (std::chrono::steady_clock::now() >= nextIdle) {
            owner_->Idle();
            nextIdle = std::chrono::steady_clock::now() + kIdlePeriod;
            if (options_.idleTimeoutSeconds != 0 &&
                server.IdleFor() >= std::chrono::seconds(options_.idleTimeoutSeconds))
                RequestStop("idle time-out");
        }
    }

    // No handler runs from here on; then every link is closed and its thread joined.
    dispatcher.Shutdown();
    server.Stop();
    store_->Close();
    owner_->Withdraw();
    lock.Release();
    DaemonLog("stopped");
    return ready ? 0 : 1;
}

}  // namespace wexd
