#include "platform/kiv/base/thread.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace Kiv {

Thread::~Thread() {
    // A thread object must not outlive its thread's body: wait for it.
    if (thread_.joinable()) thread_.join();
}

bool Thread::Start() {
    return Start(nullptr);
}

bool Thread::Start(std::function<uint32_t()> body) {
    if (running_.load(std::memory_order_acquire)) return false;
    if (thread_.joinable()) thread_.join();
    body_ = std::move(body);
    finished_.Reset();
    running_.store(true, std::memory_order_release);
    thread_ = std::thread([this] { Body(); });
    return true;
}

void Thread::Body() {
    id_.store(GetCurrentId(), std::memory_order_release);
    exitCode_ = body_ ? body_() : Run();
    running_.store(false, std::memory_order_release);
    finished_.Set();
}

bool Thread::Wait(uint32_t timeoutMs) {
    if (!thread_.joinable()) return true;
    if (!finished_.Wait(timeoutMs)) return false;
    thread_.join();
    return true;
}

uint32_t Thread::GetCurrentId() {
    return static_cast<uint32_t>(::syscall(SYS_gettid));
}

}  // namespace Kiv
