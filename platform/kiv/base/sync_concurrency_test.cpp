#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/kiv/base/sync.h"
#include "platform/kiv/base/thread.h"

namespace {

TEST(WEvent, PulseReleasesACurrentWaiter) {
    for (bool manual : {false, true}) {
        Kiv::WEvent e(manual, false);
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
}

TEST(WEvent, ManualSetReleasesEveryWaiter) {
    Kiv::WEvent e(true, false);
    std::atomic<int> through{0};
    std::thread a([&] { through += e.Wait() ? 1 : 0; });
    std::thread b([&] { through += e.Wait() ? 1 : 0; });
    e.Set();
    a.join();
    b.join();
    EXPECT_EQ(through.load(), 2);
}

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
    Kiv::CriticalSection cs;
    Kiv::SingleLock outer(&cs, true);
    Kiv::SingleLock inner(&cs, true);
    EXPECT_TRUE(inner.IsLocked());
    std::atomic<bool> other{true};
    std::atomic<bool> foreignRelease{true};
    std::thread t([&] {
        other = cs.Lock(20);
        foreignRelease = cs.Unlock();  // not this thread's to give up
    });
    t.join();
    EXPECT_FALSE(other);
    EXPECT_FALSE(foreignRelease);
    inner.Unlock();
    outer.Unlock();
    std::thread u([&] {
        other = cs.Lock(0);
        cs.Unlock();
    });
    u.join();
    EXPECT_TRUE(other);
}

TEST(MultiLock, WakesWhenAnotherThreadReleases) {
    Kiv::Semaphore sem(0);
    Kiv::Mutex mutex;
    Kiv::WEvent go(true, false);
    Kiv::SyncObject* objects[] = {&sem, &mutex};
    std::thread holder([&] {
        Kiv::SingleLock hold(&mutex, true);
        go.Wait();
        sem.Release(1);
    });
    Kiv::MultiLock all(objects, 2);
    go.Set();
    EXPECT_EQ(all.Lock(Kiv::kInfinite, true), 0);
    holder.join();
}

TEST(MultiLock, SeesAThreadEnd) {
    Kiv::Thread worker;
    Kiv::WEvent go(true, false);
    ASSERT_TRUE(worker.Start([&] {
        go.Wait();
        return 3u;
    }));
    Kiv::SyncObject* objects[] = {&worker};
    Kiv::MultiLock wait(objects, 1);
    EXPECT_EQ(wait.Lock(0, false), Kiv::MultiLock::kTimedOut);
    go.Set();
    EXPECT_EQ(wait.Lock(Kiv::kInfinite, false), 0);
    EXPECT_EQ(worker.GetExitCode(), 3u);
}

TEST(Thread, RunsItsBodyAndReportsTheExitCode) {
    Kiv::Thread t;
    EXPECT_TRUE(t.Wait(0));  // never started: nothing to wait for
    std::atomic<uint32_t> seenId{0};
    ASSERT_TRUE(t.Start([&] {
        seenId = Kiv::Thread::GetCurrentId();
        return 7u;
    }));
    ASSERT_TRUE(t.Wait());
    EXPECT_EQ(t.GetExitCode(), 7u);
    EXPECT_NE(seenId.load(), Kiv::Thread::GetCurrentId());
    EXPECT_EQ(seenId.load(), t.GetId());
    EXPECT_TRUE(t.Start([] { return 8u; }));  // a thread object can run again
    ASSERT_TRUE(t.Wait());
    EXPECT_EQ(t.GetExitCode(), 8u);
}

}  // namespace
