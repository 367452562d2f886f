#include "platform/kiv/base/thread.h"

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
    if (processId == 0 || processId > 0x7FFFFFFFu) return false;
    pid_t pid = static_cast<pid_t>(processId);
    if (::kill(pid, 0) != 0 && errno != EPERM) return false;
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%d/stat", pid);
    FILE* f = std::fopen(path, "r");
    if (f == nullptr) return true;  // no /proc: the signal test has to do
    char line[512];
    bool alive = true;
    if (std::fgets(line, sizeof line, f) != nullptr) {
        // "pid (name) S ...": the state follows the last ')'.
        const char* close = std::strrchr(line, ')');
        if (close != nullptr && close[1] == ' ' && (close[2] == 'Z' || close[2] == 'X'))
            alive = false;
    }
    std::fclose(f);
    return alive;
}

}  // namespace Kiv
