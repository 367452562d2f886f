#include "platform/kiv/base/sync.h"

#include <atomic>
#include <chrono>

namespace Kiv {
namespace {

// Threads blocked in MultiLock wait on one process-wide condition for any object to change.
// A waiter registers before it tries its objects and an object announces a change after it
// made it, so a change is either seen by the try or announced to the registered waiter.
struct ChangeBoard {
    std::atomic<uint32_t> waiters{0};
    std::mutex m;
    std::condition_variable cv;
    uint64_t generation = 0;
};

ChangeBoard& Board() {
    static ChangeBoard* board = new ChangeBoard;  // objects change during static destruction
    return *board;
}

// A MultiLock waiter also wakes by itself this often, so that a pulse it cannot see, or a
// change made by code outside these classes, never leaves it blocked for good.
constexpr uint32_t kMultiWaitSliceMs = 50;

}  // namespace

void SyncObject::NotifyStateChange() {
    ChangeBoard& b = Board();
    // A read-modify-write rather than a load, so that it is ordered after the change just made
    // against the waiter's registration (a fence would do, but the thread sanitiser cannot see
    // fences).
    if (b.waiters.fetch_add(0, std::memory_order_seq_cst) == 0) return;
    {
        std::lock_guard<std::mutex> lock(b.m);
        ++b.generation;
    }
    b.cv.notify_all();
}

namespace detail {

bool RecursiveLock::Lock(uint32_t timeoutMs) {
    const std::thread::id self = std::this_thread::get_id();
    std::unique_lock<std::mutex> lock(m_);
    if (depth_ > 0 && owner_ == self) {
        ++depth_;
        return true;
    }
    if (depth_ > 0) {
        auto free = [&] { return depth_ == 0; };
        ++waiters_;
        bool got = true;
        if (timeoutMs == kInfinite) {
            cv_.wait(lock, free);
        } else {
            got = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), free);
        }
        --waiters_;
        if (!got) return false;
    }
    owner_ = self;
    depth_ = 1;
    return true;
}

bool RecursiveLock::Unlock() {
    std::lock_guard<std::mutex> lock(m_);
    if (depth_ == 0 || owner_ != std::this_thread::get_id()) return false;
    if (--depth_ > 0) return true;
    owner_ = std::thread::id();
    // Under the mutex: once it is released another thread may take the lock, drop the last
    // reference to the object that holds it and free it.
    if (waiters_ > 0) cv_.notify_one();
    return true;
}

}  // namespace detail

bool CriticalSection::Unlock() {
    if (!lock_.Unlock()) return false;
    NotifyStateChange();
    return true;
}

bool Mutex::Unlock() {
    if (!lock_.Unlock()) return false;
    NotifyStateChange();
    return true;
}

void WEvent::Set() {
    {
        std::lock_guard<std::mutex> lock(m_);
        set_ = true;
        if (manual_) {
            cv_.notify_all();
        } else {
            cv_.notify_one();
        }
    }
    NotifyStateChange();
}

void WEvent::Reset() {
    std::lock_guard<std::mutex> lock(m_);
    set_ = false;
}

void WEvent::Pulse() {
    std::lock_guard<std::mutex> lock(m_);
    set_ = false;
    if (waiters_ == 0) return;
    ++pulses_;
    if (!manual_) pulseTokens_ = 1;
    cv_.notify_all();
}

bool WEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_);
    uint64_t generation = pulses_;
    auto ready = [&] {
        if (set_) return true;
        if (pulses_ != generation) return manual_ || pulseTokens_ > 0;
        return false;
    };
    ++waiters_;
    bool ok;
    if (timeoutMs == kInfinite) {
        cv_.wait(lock, ready);
        ok = true;
    } else {
        ok = cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    }
    --waiters_;
    if (!ok) return false;
    if (set_) {
        if (!manual_) set_ = false;
    } else if (!manual_) {
        --pulseTokens_;
    }
    return true;
}

bool WEvent::IsSet() {
    std::lock_guard<std::mutex> lock(m_);
    return set_;
}

bool Semaphore::Lock(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_);
    auto ready = [&] { return count_ > 0; };
    if (timeoutMs == kInfinite) {
        cv_.wait(lock, ready);
    } else if (!cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        return false;
    }
    --count_;
    return true;
}

bool Semaphore::Release(uint32_t n) {
    {
        std::lock_guard<std::mutex> lock(m_);
        if (n > max_ - count_) return false;
        count_ += n;
        cv_.notify_all();
    }
    NotifyStateChange();
    return true;
}

MultiLock::MultiLock(SyncObject* const* objects, uint32_t count, bool lockNow)
    : objects_(objects, objects + count), held_(count, false) {
    if (lockNow) Lock();
}

bool MultiLock::TryAll() {
    std::vector<uint32_t> taken;
    for (uint32_t i = 0; i < objects_.size(); ++i) {
        if (held_[i] || objects_[i] == nullptr) continue;
        if (!objects_[i]->Lock(0)) {
            for (uint32_t j : taken) {
                objects_[j]->GiveBack();
                held_[j] = false;
            }
            return false;
        }
        held_[i] = true;
        taken.push_back(i);
    }
    return true;
}

int MultiLock::TryAny() {
    for (uint32_t i = 0; i < objects_.size(); ++i) {
        if (objects_[i] == nullptr) continue;
        if (held_[i]) return static_cast<int>(i);
        if (objects_[i]->Lock(0)) {
            held_[i] = true;
            return static_cast<int>(i);
        }
    }
    return kTimedOut;
}

int MultiLock::Lock(uint32_t timeoutMs, bool waitForAll) {
    using Clock = std::chrono::steady_clock;
    if (objects_.empty()) return kTimedOut;
    auto attempt = [&] { return waitForAll ? (TryAll() ? 0 : kTimedOut) : TryAny(); };

    ChangeBoard& b = Board();
    b.waiters.fetch_add(1, std::memory_order_seq_cst);
    const Clock::time_point deadline = timeoutMs == kInfinite
                                           ? Clock::time_point::max()
                                           : Clock::now() + std::chrono::milliseconds(timeoutMs);
    int result = kTimedOut;
    for (;;) {
        uint64_t seen;
        {
            std::lock_guard<std::mutex> lock(b.m);
            seen = b.generation;
        }
        result = attempt();
        if (result != kTimedOut) break;
        Clock::time_point now = Clock::now();
        if (now >= deadline) break;
        Clock::time_point until = now + std::chrono::milliseconds(kMultiWaitSliceMs);
        if (until > deadline) until = deadline;
        std::unique_lock<std::mutex> lock(b.m);
        b.cv.wait_until(lock, until, [&] { return b.generation != seen; });
    }
    b.waiters.fetch_sub(1, std::memory_order_seq_cst);
    return result;
}

bool MultiLock::Unlock() {
    for (uint32_t i = 0; i < objects_.size(); ++i)
        Unlock(i);
    return true;
}

bool MultiLock::Unlock(uint32_t index) {
    if (index >= objects_.size() || !held_[index]) return false;
    held_[index] = false;
    objects_[index]->Unlock();
    return true;
}

}  // namespace Kiv
