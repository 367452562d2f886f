#include "platform/kiv/base/thread.h"

#include "platform/system/process.h"

#include <pthread.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace Kiv {
namespace {

// The alternate signal stack of one thread, freed when the thread ends.
class AltStack {
public:
    AltStack() {
        stack_t current{};
        if (::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) return;
        memory_ = std::malloc(kSize);
        if (memory_ == nullptr) return;
        stack_t mine{};
        mine.ss_sp = memory_;
        mine.ss_size = kSize;
        if (::sigaltstack(&mine, nullptr) != 0) {
            std::free(memory_);
            memory_ = nullptr;
        }
    }
    ~AltStack() {
        if (memory_ == nullptr) return;
        stack_t off{};
        off.ss_flags = SS_DISABLE;
        ::sigaltstack(&off, nullptr);
        std::free(memory_);
    }
    AltStack(const AltStack&) = delete;
    AltStack& operator=(const AltStack&) = delete;

private:
    static constexpr size_t kSize = 64 * 1024;
    void* memory_ = nullptr;
};

}  // namespace

Thread::~Thread() {
    // A thread object must not outlive its thread's body: wait for it.
    std::lock_guard<std::mutex> lock(joinMutex_);
    if (thread_.joinable()) thread_.join();
}

bool Thread::Start() {
    return Start(nullptr);
}

bool Thread::Start(std::function<uint32_t()> body) {
    std::lock_guard<std::mutex> lock(joinMutex_);
    if (running_.load(std::memory_order_acquire)) return false;
    if (thread_.joinable()) thread_.join();
    body_ = std::move(body);
    finished_.Reset();
    running_.store(true, std::memory_order_release);
    try {
        thread_ = std::thread([this] { Body(); });
    } catch (const std::system_error&) {
        running_.store(false, std::memory_order_release);
        finished_.Set();
        return false;
    }
    return true;
}

void Thread::EnsureSignalStack() {
    thread_local AltStack altStack;
}

void Thread::Body() {
    EnsureSignalStack();
    id_.store(GetCurrentId(), std::memory_order_release);
    exitCode_.store(body_ ? body_() : Run(), std::memory_order_release);
    running_.store(false, std::memory_order_release);
    finished_.Set();
}

bool Thread::Wait(uint32_t timeoutMs) {
    if (!finished_.Wait(timeoutMs)) return false;
    std::lock_guard<std::mutex> lock(joinMutex_);
    if (thread_.joinable()) thread_.join();
    return true;
}

namespace {

// The id is asked for on every lock take, and a system call each time is most of the cost. A
// forked child's one thread has a new id: the cache is cleared there.
thread_local uint32_t cachedId = 0;

void ForgetCachedId() {
    cachedId = 0;
}

}  // namespace

uint32_t Thread::GetCurrentId() {
    if (cachedId == 0) {
        static const int registered = ::pthread_atfork(nullptr, nullptr, &ForgetCachedId);
        (void)registered;
        cachedId = static_cast<uint32_t>(::syscall(SYS_gettid));
    }
    return cachedId;
}

bool Thread::IsProcessAlive(uint32_t processId) {
    // One answer for the whole program: a process (not a thread id) that has not ended,
    // zombies excluded.
    return Sys::IsProcessAlive(static_cast<Sys::ProcessId>(processId));
}

}  // namespace Kiv
