#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "foundation/call_chain.h"
#include "foundation/main_thread.h"
#include "foundation/worker_queue.h"
#include "platform/kiv/base/thread.h"

namespace {

// Steps alternate between workers and the main thread; they run one at a time, in the order
// added, each on its kind of thread, and Wait (on the main thread) runs the main-thread ones.
TEST(HalvexWorkerCallChain, RunsItsCallsStrictlyInOrder) {
    RecordMainThreadId();
    WorkerCallQueue queue;
    HalvexWorkerCallChain chain(&queue);
    const uint32_t self = Kiv::Thread::GetCurrentId();
    std::mutex m;
    std::vector<int> order;
    std::atomic<int> inFlight{0};
    std::atomic<bool> overlap{false};
    std::atomic<bool> wrongThread{false};
    for (int i = 0; i < 40; ++i) {
        const bool onMain = i % 3 == 0;
        chain.Add(onMain ? kCallMainThread : kCallWorker,
                  MakeFunctionCallback([&, i, onMain](void*) {
                      if (inFlight.fetch_add(1) != 0) overlap = true;
                      if ((Kiv::Thread::GetCurrentId() == self) != onMain) wrongThread = true;
                      {
                          std::lock_guard<std::mutex> lock(m);
                          order.push_back(i);
                      }
                      inFlight.fetch_sub(1);
                      return 0;
                  }));
    }
    chain.Wait();
    EXPECT_FALSE(chain.IsBusy());
    EXPECT_FALSE(overlap.load());
    EXPECT_FALSE(wrongThread.load());
    ASSERT_EQ(order.size(), 40u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(order[i], i);

    // An idle chain starts again on the next Add.
    std::atomic<int> later{0};
    chain.Add(kCallWorker, MakeFunctionCallback([&](void*) { return ++later; }));
    chain.Wait();
    EXPECT_EQ(later.load(), 1);
}

// A chain released while its call is still queued takes that call out: nothing runs on the
// chain once it is gone.
TEST(HalvexWorkerCallChain, ReleasingAQueuedChainTakesItsCallOut) {
    RecordMainThreadId();
    WorkerCallQueue queue;
    std::atomic<int> runs{0};
    {
        HalvexWorkerCallChain chain(&queue);
        chain.Add(kCallMainThread, MakeFunctionCallback([&](void*) { return ++runs; }));
        chain.Add(kCallMainThread, MakeFunctionCallback([&](void*) { return ++runs; }));
        EXPECT_EQ(queue.CountPending(), 1u);  // the chain's one call, for the main thread
    }
    EXPECT_EQ(queue.CountPending(), 0u);
    EXPECT_EQ(queue.RunPending(0), 0u);
    EXPECT_EQ(runs.load(), 0);
}

// Released while its call runs on a worker, the chain waits for that call and runs no more.
TEST(HalvexWorkerCallChain, ReleasingARunningChainWaitsForItsCall) {
    RecordMainThreadId();
    WorkerCallQueue queue;
    Kiv::WEvent started(true, false);
    Kiv::WEvent go(true, false);
    std::atomic<bool> firstDone{false};
    std::atomic<int> secondRuns{0};
    auto chain = std::make_unique<HalvexWorkerCallChain>(&queue);
    chain->Add(kCallWorker, MakeFunctionCallback([&](void*) {
                   started.Set();
                   go.Wait();
                   firstDone = true;
                   return 0;
               }));
    chain->Add(kCallWorker, MakeFunctionCallback([&](void*) { return ++secondRuns; }));
    started.Wait();
    HalvexWorkerCallChain* raw = chain.get();
    EXPECT_EQ(raw->CountWaiting(), 1u);
    std::thread releaser([&] { chain.reset(); });
    // Let the first call end only once the release has dropped the second.
    while (raw->CountWaiting() != 0)
        std::this_thread::yield();
    go.Set();
    releaser.join();
    EXPECT_TRUE(firstDone.load());
    EXPECT_EQ(secondRuns.load(), 0);
    EXPECT_EQ(queue.CountPending(), 0u);
}

}  // namespace
