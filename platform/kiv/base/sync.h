// The engine's synchronisation objects. Each is a SyncObject, so SingleLock and MultiLock can
// hold any of them. Critical sections and mutexes are re-entrant for their owning thread, as
// the product's code expects; events are manual- or auto-reset.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace Kiv {

constexpr uint32_t kInfinite = 0xFFFFFFFFu;

class SyncObject {
public:
    virtual ~SyncObject() = default;
    // Waits up to timeoutMs (kInfinite: no limit) to take or see the object.
    virtual bool Lock(uint32_t timeoutMs = kInfinite) = 0;
    virtual bool Unlock() = 0;

protected:
    friend class MultiLock;
    // Undoes a successful Lock(0) that MultiLock could not use (it takes all objects or none).
    // Most objects give back by unlocking; an auto-reset event sets itself again.
    virtual void GiveBack() { Unlock(); }
    // Tells threads blocked in MultiLock that some object may have become free. Costs one
    // atomic load when nobody waits that way.
    static void NotifyStateChange();
};

namespace detail {

// A lock its owning thread may take again, with time-outs. Built on a plain mutex and a
// condition so that every take and release is visible to the thread sanitiser, and so that a
// release by a thread that does not own it is refused rather than undefined.
class RecursiveLock {
public:
    bool Lock(uint32_t timeoutMs);
    bool Unlock();

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::thread::id owner_;
    uint32_t depth_ = 0;
    uint32_t waiters_ = 0;
};

}  // namespace detail

// Re-entrant lock for one process.
class CriticalSection final : public SyncObject {
public:
    bool Lock(uint32_t timeoutMs = kInfinite) override { return lock_.Lock(timeoutMs); }
    // False when the calling thread does not hold it.
    bool Unlock() override;
    bool TryLock() { return lock_.Lock(0); }
    // For std::lock_guard and friends.
    void lock() { lock_.Lock(kInfinite); }
    void unlock() { Unlock(); }

private:
    detail::RecursiveLock lock_;
};

// Re-entrant lock with time-outs (the engine's unnamed mutex).
class Mutex final : public SyncObject {
public:
    bool Lock(uint32_t timeoutMs = kInfinite) override { return lock_.Lock(timeoutMs); }
    // False when the calling thread does not hold it.
    bool Unlock() override;
    void lock() { lock_.Lock(kInfinite); }
    void unlock() { Unlock(); }

private:
    detail::RecursiveLock lock_;
};

// An event. A manual-reset event stays set until Reset; an auto-reset event lets one waiter
// through and clears itself. Pulse releases the threads blocked in Wait at that moment (all of
// them for manual reset, one for auto reset) and leaves the event clear; a thread blocked in a
// MultiLock is not counted among them.
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
    // Seeing an event takes nothing, so there is nothing to give up.
    bool Unlock() override { return true; }

protected:
    void GiveBack() override {
        if (!manual_) Set();
    }

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
    // Adds n to the count; false (and no change) when that would pass the maximum.
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

// Waits for several SyncObjects together: for all of them (taken at once or not at all) or for
// the first that can be taken. Unlock gives up whatever it holds; the destructor does too.
class MultiLock {
public:
    static constexpr int kTimedOut = -1;

    MultiLock(SyncObject* const* objects, uint32_t count, bool lockNow = false);
    ~MultiLock() { Unlock(); }
    MultiLock(const MultiLock&) = delete;
    MultiLock& operator=(const MultiLock&) = delete;

    // Returns the index of the object that ended the wait (0 when waiting for all), or
    // kTimedOut. Objects already held by this MultiLock count as taken.
    int Lock(uint32_t timeoutMs = kInfinite, bool waitForAll = true);
    bool Unlock();
    bool Unlock(uint32_t index);
    bool IsLocked(uint32_t index) const { return index < held_.size() && held_[index]; }

private:
    bool TryAll();
    int TryAny();

    std::vector<SyncObject*> objects_;
    std::vector<bool> held_;
};

}  // namespace Kiv
