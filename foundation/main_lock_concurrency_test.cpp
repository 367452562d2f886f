#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/main_lock.h"
#include "foundation/main_thread.h"
#include "foundation/worker_queue.h"
#include "platform/kiv/base/thread.h"

namespace {

template <typename Pred>
void WaitUntil(Pred pred) {
    while (!pred())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// A worker holds the lock and needs a call run on the main thread before it can let go; the
// main thread, waiting for the lock, runs that call inside its wait.
TEST(MainLockConcurrency, MainThreadRunsTheHoldersCallWhileItWaits) {
    RecordMainThreadId();
    MainLock& lock = MainLock::Instance();
    std::atomic<bool> holding{false};
    std::atomic<uint32_t> ranOn{0};
    std::atomic<bool> heldDuringCall{false};
    std::thread holder([&] {
        ASSERT_TRUE(lock.AcquireCurrent(true));
        holding = true;
        TCXCallback call = MakeFunctionCallback([&](void*) {
            ranOn = Kiv::Thread::GetCurrentId();
            heldDuringCall = lock.CountHoldsOf(GetMainThreadId()) == 0 && lock.IsExclusive();
            return 0;
        });
        EXPECT_TRUE(WorkerCallQueue::Instance().Post(call, nullptr, kCallMainThread));
        EXPECT_TRUE(lock.ReleaseCurrent());
    });
    WaitUntil([&] { return holding.load(); });
    EXPECT_TRUE(lock.AcquireCurrent(false));
    holder.join();
    EXPECT_EQ(ranOn.load(), Kiv::Thread::GetCurrentId());
    EXPECT_TRUE(heldDuringCall.load());
    EXPECT_TRUE(lock.ReleaseCurrent());
}

// Readers and writers from several threads: a writer is always alone, readers may share.
TEST(MainLockConcurrency, WritersAreAloneAndReadersShare) {
    MainLock lock;
    std::atomic<int> readers{0};
    std::atomic<int> writers{0};
    std::atomic<bool> broken{false};
    std::atomic<int> maxReaders{0};
    auto body = [&](int seed) {
        for (int i = 0; i < 300; ++i) {
            const bool exclusive = (i + seed) % 4 == 0;
            ASSERT_TRUE(lock.AcquireCurrent(exclusive));
            if (exclusive) {
                if (writers.fetch_add(1) != 0 || readers.load() != 0) broken = true;
                // Re-entry of the writer, shared and exclusive.
                ASSERT_TRUE(lock.AcquireCurrent(false));
                ASSERT_TRUE(lock.AcquireCurrent(true));
                EXPECT_FALSE(lock.ReleaseCurrent());
                EXPECT_FALSE(lock.ReleaseCurrent());
                writers.fetch_sub(1);
            } else {
                int now = readers.fetch_add(1) + 1;
                if (writers.load() != 0) broken = true;
                int seen = maxReaders.load();
                while (now > seen && !maxReaders.compare_exchange_weak(seen, now)) {
                }
                readers.fetch_sub(1);
            }
            lock.ReleaseCurrent();
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back(body, t);
    for (auto& t : threads)
        t.join();
    EXPECT_FALSE(broken.load());
    EXPECT_EQ(lock.GetHoldCount(), 0u);
    EXPECT_EQ(lock.GetExclusiveWaiters(), 0u);
}

}  // namespace
