#include "foundation/call_chain.h"

#include "foundation/call_guard.h"
#include "foundation/worker_queue.h"

HalvexWorkerCallChain::HalvexWorkerCallChain(WorkerCallQueue* queue)
    : queue_(queue != nullptr ? queue : &WorkerCallQueue::Instance()),
      self_(MakeCallback(this, &HalvexWorkerCallChain::RunHead)) {}

HalvexWorkerCallChain::~HalvexWorkerCallChain() {
    {
        Kiv::SingleLock lock(&lock_, true);
        ring_.clear();
    }
    // With the ring empty, a running call posts nothing more: take out the one that may be
    // queued and wait for the one that may be running.
    queue_->RemoveCallsOf(this, true);
}

void HalvexWorkerCallChain::Add(uint32_t flags, const TCXCallback& callback) {
    Kiv::SingleLock lock(&lock_, true);
    ring_.push_back(Link{flags | kCallNoWait, callback});
    if (!busy_) Start();
}

void HalvexWorkerCallChain::Start() {
    Kiv::SingleLock lock(&lock_, true);
    if (busy_ || ring_.empty()) return;
    idle_.Reset();
    busy_ = true;
    PostHead();
}

void HalvexWorkerCallChain::PostHead() {
    // "Do not wait" is always among the flags, so the post only queues; it is safe under the
    // chain's lock.
    queue_->Post(self_, this, ring_.front().flags);
}

void HalvexWorkerCallChain::RunHead(void*) {
    TCXCallback head;
    {
        Kiv::SingleLock lock(&lock_, true);
        if (ring_.empty()) {
            busy_ = false;
            idle_.Set();
            return;
        }
        head = std::move(ring_.front().callback);
        ring_.pop_front();
    }
    RunGuarded([&] { return head.Invoke(nullptr); });
    head.Reset();

    Kiv::SingleLock lock(&lock_, true);
    if (ring_.empty()) {
        busy_ = false;
        idle_.Set();
    } else {
        PostHead();
    }
}

void HalvexWorkerCallChain::Wait() {
    while (!idle_.Wait(0)) {
        bool ran = false;
        queue_->RunPending(0, &ran);
        idle_.Wait(ran ? 0 : 10);
    }
}

bool HalvexWorkerCallChain::IsBusy() {
    Kiv::SingleLock lock(&lock_, true);
    return busy_;
}

uint32_t HalvexWorkerCallChain::CountWaiting() {
    Kiv::SingleLock lock(&lock_, true);
    return static_cast<uint32_t>(ring_.size());
}
