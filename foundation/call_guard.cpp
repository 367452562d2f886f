#include "foundation/call_guard.h"

#include <atomic>

#include "foundation/crash.h"
#include "platform/kiv/base/thread.h"

namespace {

std::atomic<bool> guardsOn{false};
thread_local int guardDepth = 0;

}  // namespace

void SetCallGuards(bool on) {
    if (on) OS::InstallFaultHandlers();
    guardsOn.store(on, std::memory_order_release);
}

bool AreCallGuardsOn() {
    return guardsOn.load(std::memory_order_acquire);
}

bool IsInGuardedCall() {
    return guardDepth > 0;
}

GuardedCallScope::GuardedCallScope() {
    // The fault handler has to run somewhere when the call overflows its stack.
    Kiv::Thread::EnsureSignalStack();
    ++guardDepth;
}

GuardedCallScope::~GuardedCallScope() {
    --guardDepth;
}

void EndGuardedCallOnException() {
    if (IsDebuggerAttached()) throw;
    EndProcess(kGuardedCallExitCode);
}
