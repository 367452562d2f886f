// HalvexWorkerCallChain: a series of calls run strictly one after another through the worker
// call queue, each on the kind of thread its flags ask for. Texture conversion runs its per-file
// steps through one and waits for the chain to go idle.
#pragma once

#include <cstdint>
#include <deque>

#include "foundation/callback.h"
#include "platform/kiv/base/sync.h"

class WorkerCallQueue;

class HalvexWorkerCallChain {
public:
    // queue: the queue the chain posts to (none: the process queue).
    explicit HalvexWorkerCallChain(WorkerCallQueue* queue = nullptr);
    // Drops the calls that have not started and, when the chain's call is queued or running,
    // takes it out or waits for it, so that nothing runs on a chain that is gone. A chain must
    // not be destroyed by one of its own calls.
    ~HalvexWorkerCallChain();
    HalvexWorkerCallChain(const HalvexWorkerCallChain&) = delete;
    HalvexWorkerCallChain& operator=(const HalvexWorkerCallChain&) = delete;

    // Appends the call (posted with the given flags plus "do not wait") and starts the chain
    // when it was idle.
    void Add(uint32_t flags, const TCXCallback& callback);
    // Starts the chain when calls are queued and it is idle.
    void Start();
    // Returns once the chain is idle; meanwhile runs this thread's queued calls, looking again
    // at once after a pass that ran a call, else after 10 ms.
    void Wait();
    bool IsBusy();
    // Calls added and not yet started.
    uint32_t CountWaiting();

private:
    struct Link {
        uint32_t flags;
        TCXCallback callback;
    };
    // Caller holds lock_: posts the chain's own call for the head link.
    void PostHead();
    // The chain's own call: runs the head link, then posts itself for the next one.
    void RunHead(void*);

    WorkerCallQueue* queue_;
    TCXCallback self_;
    Kiv::CriticalSection lock_;
    std::deque<Link> ring_;
    bool busy_ = false;
    Kiv::WEvent idle_{true, true};
};
