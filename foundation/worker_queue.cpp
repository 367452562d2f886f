#include "foundation/worker_queue.h"

#include <condition_variable>
#include <mutex>

#include "foundation/call_guard.h"
#include "foundation/logging.h"
#include "foundation/main_lock.h"
#include "foundation/main_thread.h"
#include "platform/kiv/base/clock.h"

// What a waiting poster watches: done, and failed when the call was taken out without running.
// The runner marks it under its mutex, after which it never touches it again, so the poster may
// return (and the completion, on its stack, go away) as soon as it sees done.
struct WorkerCallQueue::Completion {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    bool failed = false;

    void Mark(bool failedCall) {
        std::lock_guard<std::mutex> lock(m);
        failed = failedCall;
        done = true;
        cv.notify_all();
    }
    bool Wait() {
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return done; });
        return !failed;
    }
};

WorkerCallQueue::WorkerCallQueue(const WorkerCallQueueOptions& options) : options_(options) {
    // Queued calls may carry holds on the process main lock, released in the teardown: the
    // lock must be built first so that it is still there then.
    MainLock::Instance();
}

WorkerCallQueue::~WorkerCallQueue() {
    std::vector<Entry> left;
    {
        Kiv::SingleLock lock(&queueLock_, true);
        left = TakeOut([](const Entry&) { return true; });
    }
    Drop(left);
    Shutdown();
}

WorkerCallQueue& WorkerCallQueue::Instance() {
    static WorkerCallQueue queue;
    return queue;
}

float WorkerCallQueue::IdleClock() const {
    return options_.idleClock != nullptr ? options_.idleClock() : GetIdleClockF();
}

void WorkerCallQueue::Invoke(const Entry& entry) {
    if (entry.target == nullptr) return;
    RunGuarded([&] { return entry.target->Invoke(entry.argument); });
}

template <typename Match>
std::vector<WorkerCallQueue::Entry> WorkerCallQueue::TakeOut(Match match) {
    std::vector<Entry> out;
    for (auto it = pending_.Begin(); !it.IsEnd();) {
        if (match(*it)) {
            out.push_back(*it);
            it = pending_.Erase(it);
        } else {
            it.Next();
        }
    }
    return out;
}

void WorkerCallQueue::Drop(const std::vector<Entry>& entries) {
    for (const Entry& e : entries) {
        if (e.lockRecord != nullptr) e.lockRecord->Release(e.lockHolder);
        if (e.completion != nullptr) e.completion->Mark(true);
        if (e.target != nullptr) e.target->Release();
    }
}

bool WorkerCallQueue::Post(const TCXCallback& callback, void* argument, uint32_t flags,
                           MainLock* lockRecord, uint32_t lockHolder) {
    if ((flags & kCallMainThread) != 0 && (flags & kCallWorker) != 0) {
        // No thread may run it: it would stay queued, and its poster wait, for good.
        LogOutputf("WorkerCallQueue::Post> flags %u ask for the main thread and a worker", flags);
        return false;
    }
    const bool wait = (flags & kCallNoWait) == 0;
    if (wait) {
        const uint32_t otherKind = IsMainThread() ? kCallWorker : kCallMainThread;
        if ((flags & otherKind) == 0) {
            RunGuarded([&] { return callback.Invoke(argument); });
            return true;
        }
    }

    Completion completion;
    Entry entry{callback.GetTarget(),
                argument,
                lockRecord,
                lockHolder != 0 ? lockHolder : Kiv::Thread::GetCurrentId(),
                flags,
                wait ? &completion : nullptr};
    {
        Kiv::SingleLock lock(&queueLock_, true);
        // Once stopped, nothing would ever run it: a waiting poster would wait for good.
        if (wait && IsStopping()) return false;
        if (entry.target != nullptr) entry.target->AddRef();
        pending_.Append(entry);
    }
    if ((flags & kCallMainThread) != 0) {
        NotifyMainThreadOfCalls();
    } else {
        StartWorkerIfNeeded();
    }
    if (!wait) return true;
    return completion.Wait();
}

uint32_t WorkerCallQueue::RunPending(uint32_t extraFlags, bool* ran) {
    if (ran != nullptr) *ran = false;
    if (IsStopping()) return 0;
    const bool onMain = IsMainThread();
    const uint32_t skip = extraFlags | (onMain ? kCallWorker : kCallMainThread);
    if (onMain) ClearMainThreadNotice();

    Entry taken{};
    bool have = false;
    bool passedOver = false;
    uint32_t count;
    uint64_t key = 0;
    {
        Kiv::SingleLock lock(&queueLock_, true);
        count = pending_.Count();
        for (auto it = pending_.Begin(); !it.IsEnd(); it.Next()) {
            if ((it->flags & skip) != 0) {
                passedOver = true;
                continue;
            }
            taken = *it;
            pending_.Erase(it);
            have = true;
            break;
        }
        // Workers sleep while nothing is left that a worker may take; leaving the event set
        // while only main-thread calls wait would spin them.
        if (count == 0 || (!have && !onMain && extraFlags == 0)) workEvent_.Reset();
        if (have) {
            key = nextRunning_++;
            running_.emplace(key, Running{taken.argument, Kiv::Thread::GetCurrentId()});
        }
    }
    if (passedOver && onMain) StartWorkerIfNeeded();
    if (!have) return 0;

    auto finish = [&](bool failed) {
        if (taken.completion != nullptr) taken.completion->Mark(failed);
        {
            Kiv::SingleLock lock(&queueLock_, true);
            running_.erase(key);
        }
        callFinished_.Pulse();
        if (taken.target != nullptr) taken.target->Release();
    };
    try {
        Invoke(taken);
    } catch (...) {
        // Unguarded call that threw: its poster and the bookkeeping must not be left hanging.
        finish(true);
        throw;
    }
    finish(false);
    if (ran != nullptr) *ran = true;
    return count - 1;
}

bool WorkerCallQueue::HasWork() {
    Kiv::SingleLock lock(&queueLock_, true);
    return !pending_.IsEmpty();
}

uint32_t WorkerCallQueue::CountPending() {
    Kiv::SingleLock lock(&queueLock_, true);
    return pending_.Count();
}

bool WorkerCallQueue::HasWorkerWork() {
    Kiv::SingleLock lock(&queueLock_, true);
    for (const Entry& e : pending_)
        if ((e.flags & kCallMainThread) == 0) return true;
    return false;
}

void WorkerCallQueue::RemoveCallsOf(void* argument, bool waitForRunning) {
    std::vector<Entry> removed;
    {
        Kiv::SingleLock lock(&queueLock_, true);
        removed = TakeOut([&](const Entry& e) { return e.argument == argument; });
    }
    Drop(removed);
    if (!waitForRunning) return;

    // A call of this argument that runs on this very thread is the caller itself; waiting for
    // it would never end.
    const uint32_t self = Kiv::Thread::GetCurrentId();
    for (;;) {
        {
            Kiv::SingleLock lock(&queueLock_, true);
            bool busy = false;
            for (const auto& [k, r] : running_)
                busy = busy || (r.argument == argument && r.threadId != self);
            if (!busy) return;
        }
        // The pulse after a call may come before this wait begins: wait in slices and look
        // again rather than once for good.
        callFinished_.Wait(10);
    }
}

void WorkerCallQueue::ReapEndedWorkers() {
    for (auto it = workers_.begin(); it != workers_.end();) {
        if (!it->second->IsRunning()) {
            it->second->Wait();
            it = workers_.erase(it);
        } else {
            ++it;
        }
    }
}

void WorkerCallQueue::StartWorkerIfNeeded() {
    Kiv::SingleLock lock(&workerLock_, true);
    ReapEndedWorkers();
    if (!IsStopping() && idleWorkers_ == 0 &&
        (options_.maxWorkers == 0 || activeWorkers_ < options_.maxWorkers) &&
        (activeWorkers_ == 0 || IdleClock() > lastActivity_ + options_.newWorkerAfterSeconds)) {
        lastActivity_ = IdleClock();
        auto thread = std::make_unique<Kiv::Thread>();
        thread->SetPriority(0);
        ++activeWorkers_;
        if (thread->Start([this] { return WorkerLoop(); })) {
            ++startedWorkers_;
            workers_.emplace(nextWorker_++, std::move(thread));
        } else {
            // The call stays queued for the next post or the main thread's next pass.
            --activeWorkers_;
        }
    }
    workEvent_.Set();
}

uint32_t WorkerCallQueue::WorkerLoop() {
    for (;;) {
        while (RunPending(0) != 0) {
        }
        {
            Kiv::SingleLock lock(&workerLock_, true);
            ++idleWorkers_;
            lastActivity_ = IdleClock();
        }
        const bool woken = !IsStopping() && workEvent_.Wait(options_.idleTimeoutMs);
        Kiv::SingleLock lock(&workerLock_, true);
        --idleWorkers_;
        lastActivity_ = IdleClock();
        if (woken) continue;
        // A call posted while this worker still counted as idle started no other worker: the
        // decision to leave is made under the worker lock, where that poster looked.
        if (!IsStopping() && HasWorkerWork()) continue;
        --activeWorkers_;
        return 0;
    }
}

void WorkerCallQueue::Shutdown() {
    stop_.store(true, std::memory_order_release);
    std::vector<Entry> waiting;
    {
        Kiv::SingleLock lock(&queueLock_, true);
        waiting = TakeOut([](const Entry& e) { return e.completion != nullptr; });
    }
    Drop(waiting);

    // A worker that shuts the queue down (exit called on it) does not wait for itself.
    const uint32_t self = Kiv::Thread::GetCurrentId();
    for (;;) {
        {
            Kiv::SingleLock lock(&workerLock_, true);
            ReapEndedWorkers();
            bool others = false;
            for (const auto& [k, t] : workers_)
                others = others || t->GetId() != self;
            if (!others) return;
        }
        workEvent_.Set();
        Kiv::Time::Delay(10);
    }
}

uint32_t WorkerCallQueue::CountWorkers() {
    Kiv::SingleLock lock(&workerLock_, true);
    return activeWorkers_;
}

uint32_t WorkerCallQueue::CountIdleWorkers() {
    Kiv::SingleLock lock(&workerLock_, true);
    return idleWorkers_;
}

uint32_t WorkerCallQueue::CountStartedWorkers() {
    Kiv::SingleLock lock(&workerLock_, true);
    return startedWorkers_;
}
