// Guarded calls. While the command loop's guards-on flag is set, queued calls and the command
// itself run inside a guard: a crash (a fault signal) or a C++ exception escaping the call ends
// the process at once with exit code -100, unless a debugger is attached, which then sees the
// fault as it happens. With the flag clear, calls run unguarded.
#pragma once

#include <utility>

constexpr int kGuardedCallExitCode = -100;

// Sets or clears the guards-on flag; setting it installs the fault handlers.
void SetCallGuards(bool on);
bool AreCallGuardsOn();

// The calling thread is inside a guarded call. Safe to ask from a signal handler.
bool IsInGuardedCall();

// Marks the calling thread as inside a guarded call for a scope.
class GuardedCallScope {
public:
    GuardedCallScope();
    ~GuardedCallScope();
    GuardedCallScope(const GuardedCallScope&) = delete;
    GuardedCallScope& operator=(const GuardedCallScope&) = delete;
};

// An exception escaped a guarded call: ends the process with -100, or rethrows it when a
// debugger is attached. Call only from inside a catch block.
[[noreturn]] void EndGuardedCallOnException();

// Runs f() guarded when the guards are on, else plainly.
template <typename F>
auto RunGuarded(F&& f) -> decltype(f()) {
    if (!AreCallGuardsOn()) return std::forward<F>(f)();
    GuardedCallScope scope;
    try {
        return std::forward<F>(f)();
    } catch (...) {
        EndGuardedCallOnException();
    }
}
