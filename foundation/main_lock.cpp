#include "foundation/main_lock.h"

#include <algorithm>

#include "foundation/blocking_screen.h"
#include "foundation/logging.h"
#include "foundation/main_thread.h"
#include "foundation/worker_queue.h"
#include "platform/kiv/base/clock.h"
#include "platform/kiv/base/thread.h"

bool MainLockWaiter::IsMainThread() {
    return ::IsMainThread();
}

uint64_t MainLockWaiter::NowMs() {
    return Kiv::Time::GetMilliseconds();
}

void MainLockWaiter::Sleep(uint32_t ms) {
    Kiv::Time::Delay(ms);
}

void MainLockWaiter::ShowScreen() {
    BlockingScreen::Instance().Show();
}

void MainLockWaiter::RefreshScreen() {
    BlockingScreen::Instance().Refresh();
}

void MainLockWaiter::HideScreen() {
    BlockingScreen::Instance().Hide();
}

void MainLockWaiter::FreeCaches() {
    FreeIdleCaches();
}

void MainLockWaiter::RunMainThreadCalls() {
    WorkerCallQueue::Instance().RunPending(0);
}

namespace {

MainLockWaiter& DefaultWaiter() {
    static MainLockWaiter* waiter = new MainLockWaiter;
    return *waiter;
}

}  // namespace

MainLock::MainLock(MainLockWaiter* waiter)
    : waiter_(waiter != nullptr ? waiter : &DefaultWaiter()) {}

MainLock& MainLock::Instance() {
    // Never destroyed: queued calls still hold it while the queue is torn down at exit.
    static MainLock* lock = new MainLock;
    return *lock;
}

bool MainLock::HoldsAll(uint32_t threadId) {
    for (uint32_t holder : holders_)
        if (holder != threadId) return false;
    return true;
}

bool MainLock::TryAcquireLocked(uint32_t threadId, bool exclusive) {
    bool granted;
    if (holdCount_ == 0) {
        // Exclusive waiters are served first.
        granted = exclusive || exclusiveWaiters_ == 0;
    } else if (!holders_.Find(threadId).IsEnd()) {
        // Re-entry. A shared hold is never turned into an exclusive one.
        granted = !exclusive || (exclusive_ && HoldsAll(threadId));
    } else {
        granted = !exclusive && !exclusive_ && exclusiveWaiters_ == 0;
    }
    if (!granted) return false;
    ++holdCount_;
    if (exclusive) exclusive_ = true;
    holders_.Append(threadId);
    released_.Reset();
    return true;
}

bool MainLock::TryAcquire(uint32_t threadId, bool exclusive) {
    Kiv::SingleLock lock(&lock_, true);
    return TryAcquireLocked(threadId, exclusive);
}

bool MainLock::Acquire(uint32_t threadId, bool exclusive) {
    {
        Kiv::SingleLock lock(&lock_, true);
        if (TryAcquireLocked(threadId, exclusive)) return true;
        // Only this thread could give up the shared hold that stands in the way.
        if (exclusive && !holders_.Find(threadId).IsEnd()) {
            lock.Unlock();
            LogOutputf("MainLock::Acquire> thread %u holds the lock shared; exclusive take refused",
                       threadId);
            return false;
        }
        if (exclusive) ++exclusiveWaiters_;
    }

    MainLockWaiter& w = *waiter_;
    const bool onMain = w.IsMainThread();
    uint64_t mark = w.NowMs();
    bool screenUp = false;
    // Short waits cost no sleep: the first 110 retries sleep 0 ms, then the sleep grows by
    // 1 ms every 10 retries up to 20 ms.
    for (int round = -100; !TryAcquire(threadId, exclusive); round = std::min(round + 1, 200)) {
        w.Sleep(static_cast<uint32_t>(std::clamp(round / 10, 0, 20)));
        if (!onMain) continue;
        uint64_t now = w.NowMs();
        if (now - mark > kIdleWorkEveryMs) {
            mark = now;
            if (!screenUp) {
                w.ShowScreen();
                screenUp = true;
            } else {
                w.RefreshScreen();
            }
            w.FreeCaches();
        }
        // The holder may be waiting for one of these to finish before it can release.
        w.RunMainThreadCalls();
    }

    if (screenUp) w.HideScreen();
    if (exclusive) {
        Kiv::SingleLock lock(&lock_, true);
        --exclusiveWaiters_;
    }
    return true;
}

bool MainLock::Release(uint32_t threadId) {
    Kiv::SingleLock lock(&lock_, true);
    auto it = holders_.Find(threadId);
    if (it.IsEnd()) {
        // A caller's error; counting it would wrap the hold count and keep the lock for good.
        lock.Unlock();
        LogOutputf("MainLock::Release> thread %u holds nothing", threadId);
        return false;
    }
    holders_.Erase(it);
    --holdCount_;
    const bool free = holdCount_ == 0;
    if (free) exclusive_ = false;
    released_.Set();
    return free;
}

bool MainLock::AcquireCurrent(bool exclusive) {
    return Acquire(Kiv::Thread::GetCurrentId(), exclusive);
}

bool MainLock::ReleaseCurrent() {
    return Release(Kiv::Thread::GetCurrentId());
}

uint32_t MainLock::GetHoldCount() {
    Kiv::SingleLock lock(&lock_, true);
    return holdCount_;
}

bool MainLock::IsExclusive() {
    Kiv::SingleLock lock(&lock_, true);
    return exclusive_;
}

uint32_t MainLock::GetExclusiveWaiters() {
    Kiv::SingleLock lock(&lock_, true);
    return exclusiveWaiters_;
}

uint32_t MainLock::CountHoldsOf(uint32_t threadId) {
    Kiv::SingleLock lock(&lock_, true);
    uint32_t n = 0;
    for (uint32_t holder : holders_)
        n += holder == threadId ? 1 : 0;
    return n;
}
