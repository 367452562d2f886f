#include "script/vm/gs_dispatch.h"

namespace GSRuntime {

RunResult Dispatch(GSThread& thread, RunState&) {
    GSStack& stack = thread.stack;
    if (stack.frame == nullptr) return {ER_NoStackFrame, 0, nullptr, 0};
    GSFunction* f = stack.FrameFunction(stack.frame);
    if (stack.Locals()[0] == 0) return {ER_NullReference, 0, f, thread.resumeOffset};
    // The opcode handlers join with the shared opcode table.
    return {ER_IllegalInstruction, 0, f, thread.resumeOffset};
}

}  // namespace GSRuntime
