#include "platform/kiv/base/sync.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/kiv/base/thread.h"

namespace {

TEST(WEvent, AutoResetLetsOneWaiterThrough) {
    Kiv::WEvent e(false, false);
    EXPECT_FALSE(e.Wait(0));
    e.Set();
    EXPECT_TRUE(e.Wait(0));
    EXPECT_FALSE(e.Wait(0));  // cleared by the waiter
}

TEST(WEvent, ManualResetStaysSetUntilReset) {
    Kiv::WEvent e(true, true);
    EXPECT_TRUE(e.Wait(0));
    EXPECT_TRUE(e.Wait(0));
    e.Reset();
    EXPECT_FALSE(e.Wait(10));
}

TEST(WEvent, PulseWithoutWaitersLeavesItClear) {
    Kiv::WEvent e(true, false);
    e.Pulse();
    EXPECT_FALSE(e.Wait(0));
}

TEST(WEvent, PulseReleasesACurrentWaiter) {
    Kiv::WEvent e(false, false);
    std::atomic<bool> released{false};
    std::thread t([&] {
        e.Wait();
        released = true;
    });
    while (!released) {
        e.Pulse();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    t.join();
    EXPECT_FALSE(e.IsSet());
}

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
    Kiv::CriticalSection cs;
    Kiv::SingleLock outer(&cs, true);
    Kiv::SingleLock inner(&cs, true);
    EXPECT_TRUE(inner.IsLocked());
    std::atomic<bool> other{true};
    std::thread t([&] { other = cs.Lock(20); });
    t.join();
    EXPECT_FALSE(other);
}

TEST(Semaphore, CountsAndRefusesOverflow) {
    Kiv::Semaphore s(1, 2);
    EXPECT_TRUE(s.Lock(0));
    EXPECT_FALSE(s.Lock(0));
    EXPECT_TRUE(s.Release(2));
    EXPECT_FALSE(s.Release(1));
}

TEST(Thread, RunsItsBodyAndReportsTheExitCode) {
    Kiv::Thread t;
    std::atomic<uint32_t> seenId{0};
    ASSERT_TRUE(t.Start([&] {
        seenId = Kiv::Thread::GetCurrentId();
        return 7u;
    }));
    ASSERT_TRUE(t.Wait());
    EXPECT_EQ(t.GetExitCode(), 7u);
    EXPECT_NE(seenId.load(), Kiv::Thread::GetCurrentId());
    EXPECT_EQ(seenId.load(), t.GetId());
}

}  // namespace
