// MainLock: the one process-wide lock that serialises work on engine objects (the resource
// cache, interned strings, render objects) with the main thread. It is re-entrant by thread id,
// taken shared or exclusive, and never times out. A waiting thread polls; when the waiter is
// the main thread, it spends the wait on idle work: it runs the calls queued for it (so that the
// holder, waiting for such a call, can finish), and after long waits it puts up the blocking
// screen and frees cached resources and unused interned strings.
#pragma once

#include <cstdint>

#include "foundation/blocklist.h"
#include "platform/kiv/base/sync.h"

// What a thread does while it waits for the lock. The process default asks the real clock, the
// blocking screen, the caches and the worker call queue; tests put in a scripted one.
class MainLockWaiter {
public:
    virtual ~MainLockWaiter() = default;
    virtual bool IsMainThread();
    virtual uint64_t NowMs();
    virtual void Sleep(uint32_t ms);
    virtual void ShowScreen();
    virtual void RefreshScreen();
    virtual void HideScreen();
    virtual void FreeCaches();
    virtual void RunMainThreadCalls();
};

class MainLock {
public:
    // The main thread's wait puts up the blocking screen, and frees caches, at most once per
    // this much waiting.
    static constexpr uint64_t kIdleWorkEveryMs = 15000;

    // waiter: what waiting threads do (none: the process default). The waiter must outlive
    // the lock.
    explicit MainLock(MainLockWaiter* waiter = nullptr);
    MainLock(const MainLock&) = delete;
    MainLock& operator=(const MainLock&) = delete;

    // The process-wide lock.
    static MainLock& Instance();

    // One attempt; true when taken.
    bool TryAcquire(uint32_t threadId, bool exclusive);
    // Returns once taken (true). The one refusal: an exclusive request by a thread that holds
    // the lock without holding it exclusively could never be granted, so it returns false at
    // once instead of waiting for good.
    bool Acquire(uint32_t threadId, bool exclusive);
    // Gives up one hold of that thread; true when the lock became free. A thread that holds
    // nothing gets false and changes nothing.
    bool Release(uint32_t threadId);
    bool AcquireCurrent(bool exclusive);
    bool ReleaseCurrent();

    uint32_t GetHoldCount();
    bool IsExclusive();
    uint32_t GetExclusiveWaiters();
    // Holds of that thread (a thread that took the lock twice holds it twice).
    uint32_t CountHoldsOf(uint32_t threadId);
    // Set on every release, reset on every take.
    Kiv::WEvent& GetReleasedEvent() { return released_; }

private:
    bool TryAcquireLocked(uint32_t threadId, bool exclusive);
    // Caller holds lock_.
    bool HoldsAll(uint32_t threadId);

    MainLockWaiter* waiter_;
    Kiv::CriticalSection lock_;
    uint32_t holdCount_ = 0;
    bool exclusive_ = false;
    uint32_t exclusiveWaiters_ = 0;
    Kiv::WEvent released_{true, true};
    BlockList<uint32_t, 13> holders_;
};

// Holds the process-wide lock for one scope, exclusively when the thread can have that; a
// thread that already holds it shared cannot, and keeps a shared hold for the scope instead.
class MainLockScope {
public:
    MainLockScope() {
        MainLock& lock = MainLock::Instance();
        held_ = lock.AcquireCurrent(true) || lock.AcquireCurrent(false);
    }
    ~MainLockScope() {
        if (held_) MainLock::Instance().ReleaseCurrent();
    }
    MainLockScope(const MainLockScope&) = delete;
    MainLockScope& operator=(const MainLockScope&) = delete;

private:
    bool held_;
};
