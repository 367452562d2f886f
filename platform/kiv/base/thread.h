// The engine's thread object: runs Run() (or a given function) on a thread of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include "platform/kiv/base/sync.h"

namespace Kiv {

class Thread {
public:
    Thread() = default;
    virtual ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Starts the thread on Run(); false when it is already running.
    bool Start();
    // Starts the thread on the given function instead of Run().
    bool Start(std::function<uint32_t()> body);
    // Waits up to timeoutMs for the thread to end; true when it has ended (and was joined).
    bool Wait(uint32_t timeoutMs = kInfinite);
    bool IsRunning() const { return running_.load(std::memory_order_acquire); }
    uint32_t GetExitCode() const { return exitCode_; }
    // The operating system's id of the thread once started (0 before).
    uint32_t GetId() const { return id_.load(std::memory_order_acquire); }

    static uint32_t GetCurrentId();

protected:
    virtual uint32_t Run() { return 0; }

private:
    void Body();

    std::thread thread_;
    std::function<uint32_t()> body_;
    std::atomic<bool> running_{false};
    std::atomic<uint32_t> id_{0};
    WEvent finished_{true, false};
    uint32_t exitCode_ = 0;
};

}  // namespace Kiv
