// The dispatch loop of the interpreter and the per-thread run bookkeeping it shares with
// GSThread::Execute.
#pragma once

#include <cstdint>

#include "script/vm/gs_thread.h"

namespace GSRuntime {

// The time-out: a taken jump or a call after this many code bytes of the outermost run fails.
inline constexpr uint64_t kTimeoutBytes = 0x1000000;

struct RunState {
    bool runFlag = true;
    int depth = 0;
    uint64_t byteCounter = 0;  // code bytes of the outermost run so far
    uint64_t totalBytes = 0;   // every run's bytes
};
RunState& ThisRunState();

struct RunResult {
    int32_t result;
    uint64_t bytes;        // code bytes run since the last mark
    GSFunction* function;  // where a failure happened
    uint32_t offset;
};

// Runs the thread's current frame from its resume offset.
RunResult Dispatch(GSThread& thread, RunState& rs);

}  // namespace GSRuntime
