// The engine's synchronisation objects. Each is a SyncObject, so SingleLock and MultiLock can
// hold any of them. Critical sections and mutexes are re-entrant for their owning thread, as
// the product's code expects; events are manual- or auto-reset.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace Kiv {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class SyncObject {
public:
    virtual ~SyncObject() = default;
    // Waits up to timeoutMs (kInfinite: no limit) to take or see the object.
    virtual bool Lock(uint32_t timeoutMs = kInfinite) = 0;
    virtual bool Unlock() = 0;
};

// Re-entrant lock for one process.
class CriticalSection final : public SyncObject {
public:
    bool Lock(uint32_t timeoutMs = kInfinite) override;
    bool Unlock() override;
    bool TryLock() { return mutex_.try_lock(); }
    // For std::lock_guard and friends.
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    std::recursive_timed_mutex mutex_;
};

// Re-entrant lock with time-outs (the engine's unnamed mutex).
class Mutex final : public SyncObject {
public:
    bool Lock(uint32_t timeoutMs = kInfinite) override;
    bool Unlock() override;
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    std::recursive_timed_mutex mutex_;
};

// An event. A manual-reset event stays set until Reset; an auto-reset event lets one waiter
// through and clears itself. Pulse releases the threads waiting at that moment (all of them
// for manual reset, one for auto reset) and leaves the event clear.
class WEvent final : public SyncObject {
public:
    explicit WEvent(bool manualReset = false, bool initiallySet = false)
        : manual_(manualReset), set_(initiallySet) {}

    void Set();
    void Reset();
    void Pulse();
    bool Wait(uint32_t timeoutMs = kInfinite);
    bool IsSet();

    bool Lock(uint32_t timeoutMs = kInfinite) override { return Wait(timeoutMs); }
    bool Unlock() override { return true; }

private:
    std::mutex m_;
    std::condition_variable cv_;
    bool manual_;
    bool set_;
    uint64_t pulses_ = 0;       // generation of pulses, so a pulse wakes only current waiters
    uint32_t pulseTokens_ = 0;  // auto-reset pulse: one waiter may pass
    uint32_t waiters_ = 0;
};

// A counting semaphore.
class Semaphore final : public SyncObject {
public:
    explicit Semaphore(uint32_t initial = 0, uint32_t maximum = 0x7FFFFFFF)
        : count_(initial), max_(maximum) {}
    bool Lock(uint32_t timeoutMs = kInfinite) override;
    bool Unlock() override { return Release(1); }
    bool Release(uint32_t n);

private:
    std::mutex m_;
    std::condition_variable cv_;
    uint32_t count_;
    uint32_t max_;
};

// Holds one SyncObject for a scope.
class SingleLock {
public:
    explicit SingleLock(SyncObject* object, bool lockNow = false) : object_(object) {
        if (lockNow) Lock();
    }
    ~SingleLock() { Unlock(); }
    SingleLock(const SingleLock&) = delete;
    SingleLock& operator=(const SingleLock&) = delete;

    bool Lock(uint32_t timeoutMs = kInfinite) {
        if (object_ != nullptr && !locked_) locked_ = object_->Lock(timeoutMs);
        return locked_;
    }
    bool Unlock() {
        if (object_ != nullptr && locked_) {
            object_->Unlock();
            locked_ = false;
        }
        return true;
    }
    bool IsLocked() const { return locked_; }

private:
    SyncObject* object_;
    bool locked_ = false;
};

}  // namespace Kiv
