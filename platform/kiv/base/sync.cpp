#include "platform/kiv/base/sync.h"

#include <chrono>

namespace Kiv {
namespace {

template <typename M>
bool TimedLock(M& m, uint32_t timeoutMs) {
    if (timeoutMs == kInfinite) {
        m.lock();
        return true;
    }
    return m.try_lock_for(std::chrono::milliseconds(timeoutMs));
}

}  // namespace

bool CriticalSection::Lock(uint32_t timeoutMs) {
    return TimedLock(mutex_, timeoutMs);
}

bool CriticalSection::Unlock() {
    mutex_.unlock();
    return true;
}

bool Mutex::Lock(uint32_t timeoutMs) {
    return TimedLock(mutex_, timeoutMs);
}

bool Mutex::Unlock() {
    mutex_.unlock();
    return true;
}

void WEvent::Set() {
    std::lock_guard<std::mutex> lock(m_);
    set_ = true;
    if (manual_) {
        cv_.notify_all();
    } else {
        cv_.notify_one();
    }
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
    if (manual_) {
        cv_.notify_all();
    } else {
        pulseTokens_ = 1;
        cv_.notify_all();
    }
}

bool WEvent::Wait(uint32_t timeoutMs) {
    std::unique_lock<std::mutex> lock(m_);
    uint64_t generation = pulses_;
    auto ready = [&] {
        if (set_) return true;
        if (pulses_ != generation) {
            if (manual_) return true;
            if (pulseTokens_ > 0) return true;
        }
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
    std::lock_guard<std::mutex> lock(m_);
    if (n > max_ - count_) return false;
    count_ += n;
    cv_.notify_all();
    return true;
}

}  // namespace Kiv
