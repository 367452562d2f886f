#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
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

// The thread a call ran on, recorded by the call.
struct Where {
    std::atomic<uint32_t> thread{0};
    std::atomic<int> runs{0};
    TCXCallback Callback() {
        return MakeFunctionCallback([this](void*) {
            thread = Kiv::Thread::GetCurrentId();
            ++runs;
            return 0;
        });
    }
};

class WorkerQueueTest : public ::testing::Test {
protected:
    void SetUp() override { RecordMainThreadId(); }
    static uint32_t Self() { return Kiv::Thread::GetCurrentId(); }
};

// From the main thread: a call for the main thread (or for no kind in particular) runs at once
// inside Post; a call for a worker runs on one while the poster waits.
TEST_F(WorkerQueueTest, MainThreadPostsRunAtOnceOrOnAWorker) {
    struct Case {
        uint32_t flags;
        bool atOnce;
    };
    const Case cases[] = {{0, true}, {kCallMainThread, true}, {3, true}, {kCallWorker, false}};
    WorkerCallQueue queue;
    for (const Case& c : cases) {
        Where where;
        EXPECT_TRUE(queue.Post(where.Callback(), nullptr, c.flags)) << c.flags;
        EXPECT_EQ(where.runs.load(), 1) << c.flags;  // waited for
        EXPECT_EQ(where.thread.load() == Self(), c.atOnce) << c.flags;
    }
    EXPECT_FALSE(queue.HasWork());
}

TEST_F(WorkerQueueTest, WorkerPostsRunAtOnceOrOnTheMainThread) {
    WorkerCallQueue queue;
    Where forWorker;
    Where forMain;
    std::atomic<uint32_t> poster{0};
    std::atomic<bool> posted{false};
    std::thread worker([&] {
        poster = Self();
        EXPECT_TRUE(queue.Post(forWorker.Callback(), nullptr, kCallWorker));
        EXPECT_EQ(forWorker.thread.load(), Self());  // at once, on this thread
        EXPECT_TRUE(queue.Post(forMain.Callback(), nullptr, kCallMainThread));
        posted = true;
    });
    // The worker waits until the main thread polls.
    while (!posted) {
        WaitForMainThreadCalls(10);
        queue.RunPending(0);
    }
    worker.join();
    EXPECT_EQ(forMain.thread.load(), Self());
}

int messagesSent = 0;
void CountMessage(uint32_t message) {
    EXPECT_EQ(message, kMainThreadCallMessage);
    ++messagesSent;
}

// "Do not wait" posts for the main thread return at once; the main thread runs them at its
// next poll, and the wake-up message goes out once until it polls.
TEST_F(WorkerQueueTest, NoWaitPostsForTheMainThreadWaitForItsPoll) {
    WorkerCallQueue queue;
    SetMainThreadMessageSink(&CountMessage);
    messagesSent = 0;
    ClearMainThreadNotice();
    Where a;
    Where b;
    std::thread worker([&] {
        EXPECT_TRUE(queue.Post(a.Callback(), nullptr, kCallMainThread | kCallNoWait));
        EXPECT_TRUE(queue.Post(b.Callback(), nullptr, kCallMainThread | kCallNoWait));
    });
    worker.join();
    EXPECT_EQ(a.runs.load() + b.runs.load(), 0);
    EXPECT_EQ(messagesSent, 1);
    EXPECT_TRUE(WaitForMainThreadCalls(0));

    EXPECT_EQ(queue.RunPending(0), 1u);  // ran a, b still queued
    EXPECT_EQ(queue.RunPending(0), 0u);
    EXPECT_EQ(a.thread.load(), Self());
    EXPECT_EQ(b.thread.load(), Self());
    EXPECT_FALSE(WaitForMainThreadCalls(0));

    std::thread again([&] { queue.Post(a.Callback(), nullptr, kCallMainThread | kCallNoWait); });
    again.join();
    EXPECT_EQ(messagesSent, 2);
    queue.RunPending(0);
    SetMainThreadMessageSink(nullptr);
}

TEST_F(WorkerQueueTest, AWorkerPassesOverMainThreadCalls) {
    WorkerCallQueue queue;
    Where forMain;
    Where forWorker;
    ASSERT_TRUE(queue.Post(forMain.Callback(), nullptr, kCallMainThread | kCallNoWait));
    ASSERT_TRUE(queue.Post(forWorker.Callback(), nullptr, kCallWorker | kCallNoWait));
    WaitUntil([&] { return forWorker.runs.load() == 1; });
    EXPECT_NE(forWorker.thread.load(), Self());
    EXPECT_EQ(forMain.runs.load(), 0);
    EXPECT_TRUE(queue.HasWork());
    queue.RunPending(0);
    EXPECT_EQ(forMain.thread.load(), Self());
}

TEST_F(WorkerQueueTest, ContradictoryFlagsAreRefused) {
    WorkerCallQueue queue;
    Where where;
    EXPECT_FALSE(queue.Post(where.Callback(), nullptr, kCallMainThread | kCallWorker));
    EXPECT_FALSE(queue.Post(where.Callback(), nullptr, kCallMainThread | kCallWorker | 8));
    EXPECT_FALSE(queue.HasWork());
    EXPECT_EQ(where.runs.load(), 0);
}

TEST_F(WorkerQueueTest, IdleWorkersEndAndNewOnesStartOnDemand) {
    WorkerCallQueueOptions options;
    options.idleTimeoutMs = 20;
    WorkerCallQueue queue(options);
    Where first;
    ASSERT_TRUE(queue.Post(first.Callback(), nullptr, kCallWorker));
    EXPECT_EQ(queue.CountStartedWorkers(), 1u);
    WaitUntil([&] { return queue.CountWorkers() == 0; });
    Where second;
    ASSERT_TRUE(queue.Post(second.Callback(), nullptr, kCallWorker));
    EXPECT_EQ(second.runs.load(), 1);
    EXPECT_EQ(queue.CountStartedWorkers(), 2u);
}

std::atomic<float> fakeIdleClock{0.0f};
float FakeIdleClock() {
    return fakeIdleClock.load();
}

// While the only worker is busy, more work starts a second worker only once the idle clock is
// more than 5 s past the last activity.
TEST_F(WorkerQueueTest, ASecondWorkerStartsOnlyAfterFiveIdleSeconds) {
    WorkerCallQueueOptions options;
    options.idleClock = &FakeIdleClock;
    fakeIdleClock = 100.0f;
    Kiv::WEvent release(true, false);  // outlives the queue and so its workers
    std::atomic<bool> busy{false};
    WorkerCallQueue queue(options);
    TCXCallback blocker = MakeFunctionCallback([&](void*) {
        busy = true;
        release.Wait();
        return 0;
    });
    ASSERT_TRUE(queue.Post(blocker, nullptr, kCallWorker | kCallNoWait));
    WaitUntil([&] { return busy.load(); });

    Where queued;
    ASSERT_TRUE(queue.Post(queued.Callback(), nullptr, kCallWorker | kCallNoWait));
    fakeIdleClock = 105.0f;  // exactly 5 s: not more
    ASSERT_TRUE(queue.Post(queued.Callback(), nullptr, kCallWorker | kCallNoWait));
    EXPECT_EQ(queue.CountStartedWorkers(), 1u);
    EXPECT_EQ(queued.runs.load(), 0);

    fakeIdleClock = 105.5f;
    ASSERT_TRUE(queue.Post(queued.Callback(), nullptr, kCallWorker | kCallNoWait));
    EXPECT_EQ(queue.CountStartedWorkers(), 2u);
    WaitUntil([&] { return queued.runs.load() == 3; });
    release.Set();
}

// Removing the calls of an argument fails their waiting posters, releases the main-lock hold
// each stood for under its holder's id, and leaves other calls alone.
TEST_F(WorkerQueueTest, RemoveCallsOfFailsPostersAndReleasesTheirHolds) {
    WorkerCallQueue queue;
    MainLock lock;
    int target = 0;
    int other = 0;
    Where removed;
    Where kept;
    std::atomic<int> result{-1};
    std::atomic<uint32_t> posterId{0};
    std::thread poster([&] {
        posterId = Self();
        ASSERT_TRUE(lock.AcquireCurrent(false));  // the hold the call stands for
        result = queue.Post(removed.Callback(), &target, kCallMainThread, &lock) ? 1 : 0;
    });
    WaitUntil([&] { return queue.CountPending() == 1; });
    EXPECT_EQ(lock.CountHoldsOf(posterId), 1u);
    ASSERT_TRUE(queue.Post(kept.Callback(), &other, kCallMainThread | kCallNoWait));

    queue.RemoveCallsOf(&target, false);
    poster.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(removed.runs.load(), 0);
    EXPECT_EQ(lock.GetHoldCount(), 0u);
    EXPECT_EQ(lock.CountHoldsOf(posterId), 0u);
    EXPECT_TRUE(queue.HasWork());
    queue.RunPending(0);
    EXPECT_EQ(kept.runs.load(), 1);
}

TEST_F(WorkerQueueTest, RemoveCallsOfWaitsForARunningCall) {
    WorkerCallQueue queue;
    int target = 0;
    Kiv::WEvent started(true, false);
    std::atomic<bool> finished{false};
    TCXCallback slow = MakeFunctionCallback([&](void*) {
        started.Set();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        finished = true;
        return 0;
    });
    ASSERT_TRUE(queue.Post(slow, &target, kCallWorker | kCallNoWait));
    started.Wait();
    queue.RemoveCallsOf(&target, true);
    EXPECT_TRUE(finished.load());
}

TEST_F(WorkerQueueTest, ShutdownFailsWaitingPostersAndRefusesNewOnes) {
    WorkerCallQueue queue;
    Where never;
    std::atomic<int> result{-1};
    std::thread poster(
        [&] { result = queue.Post(never.Callback(), nullptr, kCallMainThread) ? 1 : 0; });
    WaitUntil([&] { return queue.CountPending() == 1; });
    queue.Shutdown();
    poster.join();
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(queue.CountWorkers(), 0u);
    EXPECT_FALSE(queue.Post(never.Callback(), nullptr, kCallWorker));
    EXPECT_EQ(queue.RunPending(0), 0u);
    EXPECT_EQ(never.runs.load(), 0);
}

}  // namespace
