// The engine's thread object: runs Run() (or a given function) on a thread of its own. A thread
// is also a SyncObject that becomes signalled when its body has ended, so it can be waited for
// with SingleLock or MultiLock.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/kiv/base/sync.h"

namespace Kiv {

class Thread : public SyncObject {
public:
    Thread() = default;
    ~Thread() override;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the thread on Run(); false when it is already running.
    bool Start();
    // Starts the thread on the given function instead of Run().
    bool Start(std::function<uint32_t()> body);
    // Waits up to timeoutMs for the thread to end; true when it has ended (and was joined).
    bool Wait(uint32_t timeoutMs = kInfinite);
    bool IsRunning() const { return running_.load(std::memory_order_acquire); }
    uint32_t GetExitCode() const { return exitCode_.load(std::memory_order_acquire); }
    // The operating system's id of the thread once started (0 before).
    uint32_t GetId() const { return id_.load(std::memory_order_acquire); }

    // The scheduling priority the owner asked for (0 normal). The stand-in records it and
    // leaves scheduling to the system: unprivileged Linux threads cannot be raised.
    void SetPriority(int priority) { priority_.store(priority); }
    int GetPriority() const { return priority_.load(); }

    bool Lock(uint32_t timeoutMs = kInfinite) override { return Wait(timeoutMs); }
    bool Unlock() override { return true; }

    static uint32_t GetCurrentId();
    // Gives the calling thread an alternate signal stack, so that a crash handler can still run
    // when the thread has overflowed its own stack. Engine threads get one as they start; a
    // stack already set (by a sanitiser, say) is left alone.
    static void EnsureSignalStack();
    // True while a process of that id exists and has not ended (a zombie counts as ended).
    static bool IsProcessAlive(uint32_t processId);

protected:
    virtual uint32_t Run() { return 0; }
    void GiveBack() override {}

private:
    void Body();

    std::mutex joinMutex_;
    std::thread thread_;
    std::function<uint32_t()> body_;
    std::atomic<bool> running_{false};
    std::atomic<uint32_t> id_{0};
    std::atomic<uint32_t> exitCode_{0};
    WEvent finished_{true, true};   // a thread never started counts as ended
    std::atomic<int> priority_{0};  // set by any thread, as the system call allows
};

}  // namespace Kiv
