#include "foundation/main_lock.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>
#include <vector>

#include "platform/kiv/base/thread.h"

namespace {

constexpr uint32_t kA = 101;
constexpr uint32_t kB = 102;
constexpr uint32_t kC = 103;

// A waiter on a scripted clock: every sleep moves the clock on by stepMs and then runs onSleep.
class ScriptedWaiter : public MainLockWaiter {
public:
    bool mainThread = true;
    uint64_t now = 0;
    uint64_t stepMs = 500;
    std::function<void()> onSleep;
    int shows = 0, refreshes = 0, hides = 0, frees = 0, callPasses = 0;

    bool IsMainThread() override { return mainThread; }
    uint64_t NowMs() override { return now; }
    void Sleep(uint32_t) override {
        now += stepMs;
        if (onSleep) onSleep();
    }
    void ShowScreen() override { ++shows; }
    void RefreshScreen() override { ++refreshes; }
    void HideScreen() override { ++hides; }
    void FreeCaches() override { ++frees; }
    void RunMainThreadCalls() override { ++callPasses; }
};

TEST(MainLock, TakesFollowTheSharedAndExclusiveRules) {
    struct Case {
        const char* what;
        std::vector<std::pair<uint32_t, bool>> holds;  // taken first, in order
        uint32_t thread;
        bool exclusive;
        bool granted;
    };
    const Case cases[] = {
        {"free, shared", {}, kA, false, true},
        {"free, exclusive", {}, kA, true, true},
        {"shared re-entry", {{kA, false}}, kA, false, true},
        {"no shared-to-exclusive", {{kA, false}}, kA, true, false},
        {"exclusive re-entry", {{kA, true}}, kA, true, true},
        {"shared inside exclusive", {{kA, true}}, kA, false, true},
        {"second shared taker", {{kA, false}}, kB, false, true},
        {"exclusive against shared", {{kA, false}}, kB, true, false},
        {"shared against exclusive", {{kA, true}}, kB, false, false},
        {"exclusive against exclusive", {{kA, true}}, kB, true, false},
        {"no upgrade beside another reader", {{kA, false}, {kB, false}}, kA, true, false},
    };
    for (const Case& c : cases) {
        MainLock lock;
        for (auto [thread, exclusive] : c.holds)
            ASSERT_TRUE(lock.TryAcquire(thread, exclusive)) << c.what;
        EXPECT_EQ(lock.TryAcquire(c.thread, c.exclusive), c.granted) << c.what;
        EXPECT_EQ(lock.GetHoldCount(), c.holds.size() + (c.granted ? 1 : 0)) << c.what;
    }
}

TEST(MainLock, ReleasesCountHoldsAndRefuseNonHolders) {
    MainLock lock;
    ASSERT_TRUE(lock.TryAcquire(kA, true));
    ASSERT_TRUE(lock.TryAcquire(kA, false));
    EXPECT_FALSE(lock.GetReleasedEvent().IsSet());
    EXPECT_EQ(lock.CountHoldsOf(kA), 2u);

    // A thread that holds nothing changes nothing (no wrapped count, no freed lock).
    EXPECT_FALSE(lock.Release(kB));
    EXPECT_EQ(lock.GetHoldCount(), 2u);
    EXPECT_TRUE(lock.IsExclusive());
    EXPECT_FALSE(lock.TryAcquire(kB, false));

    EXPECT_FALSE(lock.Release(kA));  // one hold left
    EXPECT_TRUE(lock.GetReleasedEvent().IsSet());
    EXPECT_TRUE(lock.Release(kA));
    EXPECT_FALSE(lock.IsExclusive());
    EXPECT_FALSE(lock.Release(kA));
    EXPECT_EQ(lock.GetHoldCount(), 0u);
    EXPECT_TRUE(lock.TryAcquire(kB, false));
}

TEST(MainLock, AnExclusiveWaiterHoldsBackNewSharedTakers) {
    ScriptedWaiter w;
    MainLock lock(&w);
    ASSERT_TRUE(lock.TryAcquire(kA, false));
    int step = 0;
    w.onSleep = [&] {
        if (step++ != 0) return;
        // kC waits exclusively: a new reader waits too, a thread already reading re-enters.
        EXPECT_EQ(lock.GetExclusiveWaiters(), 1u);
        EXPECT_FALSE(lock.TryAcquire(kB, false));
        EXPECT_TRUE(lock.TryAcquire(kA, false));
        lock.Release(kA);
        lock.Release(kA);
        // Free now, and still the reader waits behind the exclusive waiter.
        EXPECT_FALSE(lock.TryAcquire(kB, false));
    };
    EXPECT_TRUE(lock.Acquire(kC, true));
    EXPECT_EQ(lock.GetExclusiveWaiters(), 0u);
    EXPECT_TRUE(lock.IsExclusive());
    EXPECT_EQ(lock.CountHoldsOf(kC), 1u);
}

TEST(MainLock, AnExclusiveTakeByAReaderIsRefusedAtOnce) {
    ScriptedWaiter w;
    w.onSleep = [] { FAIL() << "the refused take must not wait"; };
    MainLock lock(&w);
    ASSERT_TRUE(lock.Acquire(kA, false));
    EXPECT_FALSE(lock.Acquire(kA, true));
    EXPECT_EQ(lock.GetHoldCount(), 1u);
    EXPECT_EQ(lock.GetExclusiveWaiters(), 0u);
}

// The main thread waiting 40 s: the screen goes up after 15 s and is refreshed once more after
// a further 15 s (and again only after another 15 s, which this wait does not reach); it comes
// down when the lock is taken. Another thread waiting as long shows nothing and runs no calls.
TEST(MainLock, LongWaitsOfTheMainThreadPutUpTheBlockingScreen) {
    for (bool mainThread : {true, false}) {
        ScriptedWaiter w;
        w.mainThread = mainThread;
        MainLock lock(&w);
        ASSERT_TRUE(lock.TryAcquire(kA, true));
        w.onSleep = [&] {
            if (w.now == 40000) lock.Release(kA);
        };
        EXPECT_TRUE(lock.Acquire(kB, false));
        EXPECT_EQ(w.shows, mainThread ? 1 : 0);
        EXPECT_EQ(w.refreshes, mainThread ? 1 : 0);
        EXPECT_EQ(w.hides, mainThread ? 1 : 0);
        EXPECT_EQ(w.frees, mainThread ? 2 : 0);
        // One pass of queued calls after every sleep, on the main thread only.
        EXPECT_EQ(w.callPasses, mainThread ? 80 : 0);
    }
}

TEST(MainLock, ShortWaitsNeitherShowTheScreenNorFreeCaches) {
    ScriptedWaiter w;
    MainLock lock(&w);
    ASSERT_TRUE(lock.TryAcquire(kA, false));
    w.onSleep = [&] {
        if (w.now == 15000) lock.Release(kA);  // exactly 15 s is not more than 15 s
    };
    EXPECT_TRUE(lock.Acquire(kB, true));
    EXPECT_EQ(w.shows + w.refreshes + w.hides + w.frees, 0);
}

}  // namespace

namespace {

TEST(MainLockScope, HoldsExclusivelyOrKeepsASharedHold) {
    MainLock& lock = MainLock::Instance();
    const uint32_t me = Kiv::Thread::GetCurrentId();
    {
        MainLockScope scope;
        EXPECT_EQ(lock.CountHoldsOf(me), 1u);
        EXPECT_TRUE(lock.IsExclusive());
    }
    EXPECT_EQ(lock.CountHoldsOf(me), 0u);

    // A thread holding the lock shared cannot have it exclusively; the scope holds it shared.
    ASSERT_TRUE(lock.AcquireCurrent(false));
    {
        MainLockScope scope;
        EXPECT_EQ(lock.CountHoldsOf(me), 2u);
        EXPECT_FALSE(lock.IsExclusive());
    }
    EXPECT_EQ(lock.CountHoldsOf(me), 1u);
    lock.ReleaseCurrent();
    EXPECT_EQ(lock.GetHoldCount(), 0u);
}

}  // namespace
