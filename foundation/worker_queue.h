// The worker call queue: hands calls to the kind of thread they must run on. A call marked for
// the main thread runs when the main thread polls (while it waits for the main lock, in its
// idle work, in a chain's Wait or in the command-host loop); other calls run on worker threads
// that the queue starts on demand and that end after a spell without work. A call meant for the
// poster's own kind of thread runs at once, inside Post.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "foundation/blocklist.h"
#include "foundation/callback.h"
#include "platform/kiv/base/sync.h"
#include "platform/kiv/base/thread.h"

class MainLock;

// Post flags.
constexpr uint32_t kCallMainThread = 1;  // run on the main thread only
constexpr uint32_t kCallNoWait = 8;      // the poster returns once the call is queued
constexpr uint32_t kCallWorker = 16;     // run on a worker (any thread but the main one)

struct WorkerCallQueueOptions {
    // A worker with nothing to do for this long ends.
    uint32_t idleTimeoutMs = 30000;
    // While workers exist but none is idle, a further one starts only when the idle clock has
    // run this far past the last activity.
    float newWorkerAfterSeconds = 5.0f;
    // At most this many workers at once; 0: no limit.
    uint32_t maxWorkers = 0;
    // The idle clock read for that rule; none: GetIdleClockF (main_thread.h).
    float (*idleClock)() = nullptr;
};

class WorkerCallQueue {
public:
    explicit WorkerCallQueue(const WorkerCallQueueOptions& options = {});
    // Fails the posters still waiting, releases the lock holds of queued calls, then Shutdown.
    ~WorkerCallQueue();
    WorkerCallQueue(const WorkerCallQueue&) = delete;
    WorkerCallQueue& operator=(const WorkerCallQueue&) = delete;

    // The process-wide queue.
    static WorkerCallQueue& Instance();

    // Runs or queues a call. lockRecord is a hold on a main lock that the call stands for, held
    // by thread lockHolder (0: the poster); it is released on the call's behalf when the call is
    // taken out of the queue without running. Returns true, except that a waiting poster gets
    // false when its call was taken out without running or the queue had stopped, and that
    // flags asking for the main thread and a worker at once are refused (false, nothing runs).
    bool Post(const TCXCallback& callback, void* argument, uint32_t flags,
              MainLock* lockRecord = nullptr, uint32_t lockHolder = 0);

    // Runs at most one queued call that this thread may run (not those sharing a bit with
    // extraFlags). Returns how many calls were queued besides the one it ran: 0 when it ran none
    // or the queue is stopping. *ran, when given, tells whether a call ran.
    uint32_t RunPending(uint32_t extraFlags, bool* ran = nullptr);

    bool HasWork();
    uint32_t CountPending();

    // Takes every queued call with this argument out of the queue (its waiting poster gets
    // false), and when asked waits until no call with it is running on another thread.
    void RemoveCallsOf(void* argument, bool waitForRunning);

    // Stops the queue and waits for the workers to end. Posters still waiting for a queued call
    // get false; calls posted without waiting stay queued until removed.
    void Shutdown();
    bool IsStopping() const { return stop_.load(std::memory_order_acquire); }

    // Workers that are alive and not leaving, those of them waiting for work, and how many
    // were ever started.
    uint32_t CountWorkers();
    uint32_t CountIdleWorkers();
    uint32_t CountStartedWorkers();

private:
    struct Completion;
    struct Entry {
        TCXCallbackBase* target;  // one reference held by the entry; null for an empty handle
        void* argument;
        MainLock* lockRecord;
        uint32_t lockHolder;
        uint32_t flags;
        Completion* completion;  // null when the poster does not wait
    };
    struct Running {
        void* argument;
        uint32_t threadId;
    };

    static void Invoke(const Entry& entry);
    // Finishes entries taken out without running: each lock hold released on its holder's
    // behalf, each waiting poster failed, each reference dropped. Called without queueLock_, so
    // that a target's destructor may post again.
    static void Drop(const std::vector<Entry>& entries);
    // Takes out the pending entries that match; caller holds queueLock_.
    template <typename Match>
    std::vector<Entry> TakeOut(Match match);
    void ReapEndedWorkers();
    void StartWorkerIfNeeded();
    bool HasWorkerWork();
    uint32_t WorkerLoop();
    float IdleClock() const;

    WorkerCallQueueOptions options_;

    Kiv::CriticalSection queueLock_;
    BlockList<Entry, 13> pending_;
    std::map<uint64_t, Running> running_;
    uint64_t nextRunning_ = 0;

    // Worker bookkeeping, all under workerLock_: a worker counts as active from its start until
    // it decides to leave, and as idle while it waits for work.
    Kiv::CriticalSection workerLock_;
    std::map<uint64_t, std::unique_ptr<Kiv::Thread>> workers_;
    uint64_t nextWorker_ = 0;
    uint32_t activeWorkers_ = 0;
    uint32_t idleWorkers_ = 0;
    uint32_t startedWorkers_ = 0;
    float lastActivity_ = 0.0f;

    Kiv::WEvent callFinished_{true, false};  // pulsed after every call
    Kiv::WEvent workEvent_{true, false};     // wakes workers
    std::atomic<bool> stop_{false};
};
