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

// Fills the function's dispatch bytes from its code. With `fuse` (code the verifier passed),
// short runs of instructions that cannot fail (a local compared with a constant or a local and
// the jump on the result, a local with a constant or a local in integer arithmetic, a local
// stepped by one, arithmetic stored into a local, a constant stored into a local; and a local
// or arithmetic returned, the return then running as its own form from its own place) dispatch
// to one handler that does what they do, keeping the time-out count, failure positions, lines
// and resume offsets of the instructions themselves; an entry inside a run still finds the
// instruction's own opcode. Each script call of such code gets a call site of its own
// (GSFunction::callSites) that keeps its resolved callee.
void PredecodeFunction(GSFunction& function, bool fuse);

// Runs the thread's current frame from its resume offset.
RunResult Dispatch(GSThread& thread, RunState& rs);

}  // namespace GSRuntime
