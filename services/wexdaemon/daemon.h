// The daemon program's life: it finds its data root, takes the database's instance lock (a
// second copy leaves at once with exit code 0), listens on loopback, publishes its port as
// the database owner, loads and reconciles the store while requests wait, and then serves
// until it is asked to close (request 270), gets SIGTERM, SIGINT or SIGHUP, or has had no link
// open for the idle time-out. Stopping answers the request that asked for it, closes every
// link, writes the index, clears port and owner and leaves the shared block.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "services/wexdaemon/command_host_manager.h"
#include "services/wexdaemon/daemon_options.h"
#include "services/wexdaemon/data_paths.h"
#include "services/wexdaemon/owner_record.h"
#include "services/wexdaemon/request_table.h"

namespace wexd {

class AssetStore;
class CommandHostManager;

class Daemon {
public:
    Daemon(DaemonOptions options, std::unique_ptr<OwnerRecord> owner);
    ~Daemon();
    Daemon(const Daemon&) = delete;
    Daemon& operator=(const Daemon&) = delete;

    // Runs the daemon to its end; the process's exit code.
    int Run();
    // Asks the main loop to stop (any thread).
    void RequestStop(const char* why);

    const DaemonOptions& Options() const { return options_; }
    // The requests served; handlers are added before Run.
    RequestTable& Requests() { return requests_; }
    // The store the handlers work on: made by Run before any request is let through, so a
    // handler may always use it; null before Run.
    AssetStore* Store() { return store_.get(); }
    // The command host the handlers call through: made by Run with the store.
    CommandHostManager* Host() { return host_.get(); }

private:
    CommandHostManager::Options HostOptions();
    // Waits up to the time given or until a stop is asked for; true when stopping.
    bool WaitForStop(std::chrono::steady_clock::duration timeout);

    DaemonOptions options_;
    std::unique_ptr<OwnerRecord> owner_;
    DataPaths paths_;
    RequestTable requests_;
    std::unique_ptr<AssetStore> store_;
    std::unique_ptr<CommandHostManager> host_;
    std::mutex stopMutex_;
    std::condition_variable stopWake_;
    bool stop_ = false;
};

}  // namespace wexd
