// The main thread and the process record: which thread is the main one, the application name,
// the idle clock, and the idle work the main thread does between waits (running the calls
// queued for it, collecting unused interned strings). The command-host loop and the download
// loop call RunIdleTasks between their waits; the main lock runs the same work while the main
// thread waits for it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/kiv/base/sync.h"

// Stores the calling thread's id as the main thread's (start-up, once the daemon link is up).
void RecordMainThreadId();
// The calling thread is the recorded main thread (false for every thread before it is recorded).
bool IsMainThread();
uint32_t GetMainThreadId();

// What the process reports about itself (the online login sends it). Only the application name
// is ever set; the other three stay at their zero values.
struct ProcessGlobals {
    std::string appName;
    float loginFloat = 0.0f;
    uint32_t loginWord = 0;
    bool loginFlag = false;
};
// Stores the application name and the calling thread as the main thread, and seeds the two
// random generators unless they are seeded already.
void InitProcessGlobals(const char* appName);
const ProcessGlobals& GetProcessGlobals();

// Seconds since the first idle pass; advances only when RunIdleTasks runs.
double GetIdleClock();
float GetIdleClockF();

// One idle pass: advance the idle clock, run the calls queued for this thread (as many passes
// as were queued when the first pass ran, stopping when a pass runs nothing), then collect the
// interned strings that nothing references.
void RunIdleTasks();

// The main-thread event: set when a call is queued for the main thread, reset when the main
// thread polls the queue. Waits up to ms milliseconds for it; true when it was set.
bool WaitForMainThreadCalls(uint32_t ms);
Kiv::WEvent& MainThreadEvent();

// The thread message that tells a main thread blocked in a message loop that calls are queued.
// Linux has no thread message queues, so by default nothing receives it (the main-thread event
// does the waking); a window system that has a loop installs a sink. It is sent once until the
// main thread polls again.
constexpr uint32_t kMainThreadCallMessage = 0xDC4;
using MainThreadMessageSink = void (*)(uint32_t message);
void SetMainThreadMessageSink(MainThreadMessageSink sink);
// Sends the message unless it was sent since the main thread last polled.
void NotifyMainThreadOfCalls();
// The main thread polls: the message may be sent again and the event is reset.
void ClearMainThreadNotice();

// The resource system's cache flush, installed by the resource system when it starts (none:
// there is no resource system). The main lock's long waits call FreeIdleCaches.
using ResourceCacheDumper = void (*)();
void SetResourceCacheDumper(ResourceCacheDumper dumper);
// Dumps the resources nothing uses (when a resource system exists) and collects the interned
// strings nothing references.
void FreeIdleCaches();
