#include "platform/kiv/base/sync.h"

#include <gtest/gtest.h>

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
    for (bool manual : {false, true}) {
        Kiv::WEvent e(manual, true);
        e.Pulse();
        EXPECT_FALSE(e.Wait(0)) << "manual=" << manual;
    }
}

TEST(Mutex, IsReentrantAndRefusesAReleaseItDoesNotHold) {
    Kiv::Mutex m;
    EXPECT_FALSE(m.Unlock());
    EXPECT_TRUE(m.Lock(0));
    EXPECT_TRUE(m.Lock(0));
    EXPECT_TRUE(m.Unlock());
    EXPECT_TRUE(m.Unlock());
    EXPECT_FALSE(m.Unlock());
}

TEST(Semaphore, CountsAndRefusesOverflow) {
    Kiv::Semaphore s(1, 2);
    EXPECT_TRUE(s.Lock(0));
    EXPECT_FALSE(s.Lock(0));
    EXPECT_TRUE(s.Release(2));
    EXPECT_FALSE(s.Release(1));
}

TEST(MultiLock, WaitForAllTakesEverythingOrNothing) {
    Kiv::Semaphore sem(1);
    Kiv::WEvent autoEvent(false, false);
    Kiv::Mutex mutex;
    Kiv::SyncObject* objects[] = {&sem, &autoEvent, &mutex};
    {
        Kiv::MultiLock all(objects, 3);
        // The event is clear: nothing may stay taken, the semaphore's count comes back.
        EXPECT_EQ(all.Lock(0, true), Kiv::MultiLock::kTimedOut);
        EXPECT_FALSE(all.IsLocked(0));
        autoEvent.Set();
        EXPECT_EQ(all.Lock(0, true), 0);
        EXPECT_TRUE(all.IsLocked(0) && all.IsLocked(1) && all.IsLocked(2));
        EXPECT_FALSE(sem.Lock(0));  // held by the MultiLock
    }
    // The destructor gave the semaphore and the mutex back; the event was consumed.
    EXPECT_TRUE(sem.Lock(0));
    EXPECT_FALSE(autoEvent.Wait(0));
}

TEST(MultiLock, FailedWaitForAllGivesBackAnAutoResetEvent) {
    Kiv::WEvent autoEvent(false, true);
    Kiv::Semaphore empty(0);
    Kiv::SyncObject* objects[] = {&autoEvent, &empty};
    Kiv::MultiLock all(objects, 2);
    EXPECT_EQ(all.Lock(0, true), Kiv::MultiLock::kTimedOut);
    EXPECT_TRUE(autoEvent.Wait(0));  // still set for its next waiter
}

TEST(MultiLock, WaitForAnyReportsTheFirstFreeObject) {
    Kiv::Semaphore a(0);
    Kiv::Semaphore b(1);
    Kiv::SyncObject* objects[] = {&a, &b};
    Kiv::MultiLock any(objects, 2);
    EXPECT_EQ(any.Lock(0, false), 1);
    EXPECT_TRUE(any.IsLocked(1));
    EXPECT_FALSE(any.IsLocked(0));
    EXPECT_TRUE(any.Unlock(1));
    EXPECT_FALSE(any.Unlock(1));  // nothing held any more
    EXPECT_TRUE(b.Lock(0));
    EXPECT_EQ(any.Lock(5, false), Kiv::MultiLock::kTimedOut);
}

}  // namespace
