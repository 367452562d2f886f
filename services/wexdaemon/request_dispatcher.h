// Runs each frame that a link brings in: holds it until the daemon is ready (the index loaded
// and reconciled), finds its handler, runs it on the link's reader thread or, for a request
// that runs long, on a job thread of its own, and sends exactly one reply for every request:
// an id nobody handles, and a handler that failed, get an empty one. A post gets none.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "services/wexdaemon/link_connection.h"
#include "services/wexdaemon/request_table.h"

namespace wexd {

class RequestDispatcher {
public:
    // Job threads at most; a long request beyond them runs on its link's reader thread.
    static constexpr size_t kMaxJobThreads = 64;

    struct Hooks {
        // Runs after a handler and before its reply (the daemon writes its index there).
        std::function<void()> beforeReply;
        // Asked for by a request that stops the daemon, once its reply is sent.
        std::function<void()> stop;
    };

    RequestDispatcher(const RequestTable& table, Hooks hooks);
    ~RequestDispatcher();
    RequestDispatcher(const RequestDispatcher&) = delete;
    RequestDispatcher& operator=(const RequestDispatcher&) = delete;

    // Lets held requests run.
    void SetReady();
    // From now on no handler runs: held and later requests are dropped unanswered (their
    // links are being closed). Waits for the job threads to finish.
    void Shutdown();

    // Called by a link's reader thread for each whole frame.
    void Dispatch(const std::shared_ptr<LinkConnection>& link, Frame&& frame);

    // Job threads running now (for tests).
    size_t RunningJobs();

private:
    struct Job {
        std::thread thread;
        bool done = false;
    };

    // Waits for the gate; false when shut down.
    bool WaitUntilReady();
    void Execute(const std::shared_ptr<LinkConnection>& link, const Frame& frame);
    // False when shut down or at the job limit; the body then does not run.
    bool StartJob(std::function<void()>& body);
    void ReapJobsLocked(std::list<Job>& finished);

    const RequestTable& table_;
    Hooks hooks_;
    std::mutex mutex_;
    std::condition_variable gate_;
    bool ready_ = false;
    bool shutDown_ = false;
    std::list<Job> jobs_;
};

}  // namespace wexd
