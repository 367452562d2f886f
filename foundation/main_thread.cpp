#include "foundation/main_thread.h"

#include <atomic>
#include <mutex>

#include "foundation/random.h"
#include "foundation/worker_queue.h"
#include "platform/kiv/base/clock.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/thread.h"

namespace {

std::atomic<uint32_t> mainThreadId{0};
std::atomic<double> idleClock{0.0};
std::atomic<float> idleClockF{0.0f};
std::atomic<bool> messagePosted{false};
std::atomic<MainThreadMessageSink> messageSink{nullptr};
std::atomic<ResourceCacheDumper> cacheDumper{nullptr};

ProcessGlobals& Globals() {
    static ProcessGlobals* globals = new ProcessGlobals;  // read by static destructors
    return *globals;
}

}  // namespace

void RecordMainThreadId() {
    mainThreadId.store(Kiv::Thread::GetCurrentId(), std::memory_order_release);
}

bool IsMainThread() {
    uint32_t id = mainThreadId.load(std::memory_order_acquire);
    return id != 0 && id == Kiv::Thread::GetCurrentId();
}

uint32_t GetMainThreadId() {
    return mainThreadId.load(std::memory_order_acquire);
}

void InitProcessGlobals(const char* appName) {
    Globals().appName = appName != nullptr ? appName : "";
    RecordMainThreadId();
    SeedRandomGenerators();
}

const ProcessGlobals& GetProcessGlobals() {
    return Globals();
}

double GetIdleClock() {
    return idleClock.load(std::memory_order_relaxed);
}

float GetIdleClockF() {
    return idleClockF.load(std::memory_order_relaxed);
}

void RunIdleTasks() {
    static const double epoch = Kiv::Time::GetSeconds();
    double now = Kiv::Time::GetSeconds() - epoch;
    idleClock.store(now, std::memory_order_relaxed);
    idleClockF.store(static_cast<float>(now), std::memory_order_relaxed);

    WorkerCallQueue& queue = WorkerCallQueue::Instance();
    bool ran = false;
    uint32_t more = queue.RunPending(0, &ran);
    for (uint32_t i = 0; i < more; ++i) {
        queue.RunPending(0, &ran);
        if (!ran) break;
    }
    Kiv::PStringCache::CollectGarbage();
}

Kiv::WEvent& MainThreadEvent() {
    static Kiv::WEvent* event = new Kiv::WEvent(true, false);  // posted to during exit
    return *event;
}

bool WaitForMainThreadCalls(uint32_t ms) {
    return MainThreadEvent().Wait(ms);
}

void SetMainThreadMessageSink(MainThreadMessageSink sink) {
    messageSink.store(sink, std::memory_order_release);
}

void NotifyMainThreadOfCalls() {
    if (!messagePosted.exchange(true, std::memory_order_acq_rel)) {
        if (MainThreadMessageSink sink = messageSink.load(std::memory_order_acquire))
            sink(kMainThreadCallMessage);
    }
    MainThreadEvent().Set();
}

void ClearMainThreadNotice() {
    messagePosted.store(false, std::memory_order_release);
    MainThreadEvent().Reset();
}

void SetResourceCacheDumper(ResourceCacheDumper dumper) {
    cacheDumper.store(dumper, std::memory_order_release);
}

void FreeIdleCaches() {
    if (ResourceCacheDumper dumper = cacheDumper.load(std::memory_order_acquire)) dumper();
    Kiv::PStringCache::CollectGarbage();
}
