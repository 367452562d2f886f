// A cooperative script thread: its own value stack, a state, a sleep timer and the filters of
// the messages it waits for. Game objects own their threads and run them from their update; a
// context and the native registry each own a static thread, which runs constructors and calls
// made from native code and may not wait. No thread of the operating system is involved.
#pragma once

#include <cstdint>
#include <deque>
#include <vector>

#include "foundation/intrusive_list.h"
#include "script/vm/gs_stack.h"

namespace GSRuntime {

class GSContext;
class GSMessage;

// Result codes of a run.
enum GSResult : int32_t {
    ER_Done = 0,
    ER_Blocked,
    ER_IllegalInstruction,
    ER_DivideByZero,
    ER_NullArrayReference,
    ER_ArrayOutOfBounds,
    ER_ArrayRangeError,
    ER_NullStringReference,
    ER_StringOutOfBounds,
    ER_NullReference,
    ER_ClassCreateError,
    ER_NativeCallError,
    ER_StackOverflow,
    ER_NoStackFrame,
    ER_ThreadError,
    ER_StackReturnError,
    ER_Exception,
    ER_LinkError,
    ER_Timeout,
};
inline constexpr int kResultCount = 19;
// "ER_Done" ... "ER_Timeout"; "" for a number outside.
const char* ResultName(int32_t result);

// Called on every failed run with the failure line, the thread's stack and the game object
// concerned (null when none); set by the host.
using ScriptErrorHook = void (*)(const char* text, GSStack& stack, GSObjectReference* gameObject);
void SetScriptErrorHook(ScriptErrorHook hook);
ScriptErrorHook GetScriptErrorHook();

class GSThread : public Utils::IDoubleLinkListNode {
public:
    static constexpr uint32_t kStaticThread = 0x1;

    enum State : int32_t { kRunning = 0, kWaiting = 1, kFinished = 2 };

    struct WaitFilter {
        uint16_t major;
        uint16_t minor;
        uint32_t offset;
    };

    GSThread(GSObjectReference* gameObject, uint32_t flags)
        : flags(flags), gameObject(gameObject) {}
    ~GSThread() override { Reset(); }

    // Unwinds the stack, drops the filters (unsubscribing the game object's node) and the
    // queued messages, and clears the state words and the timer.
    void Reset();
    bool IsStatic() const { return (flags & kStaticThread) != 0; }

    // Runs the thread from where it stopped until it finishes, blocks or fails.
    static int32_t Execute(GSThread* thread, float elapsed);
    // Reports an error found by native code: "%s (file %s)" with the library of the current
    // frame's function (or "%s"), to the script log and the error hook; unless `keepState`,
    // the thread is finished (the interpreter then ends the run with ER_Exception).
    static void RaiseError(GSThread* thread, const char* text, bool keepState);

    int32_t state = kRunning;
    uint32_t resumeOffset = 0;
    uint32_t flags = 0;
    GSStack stack;
    std::vector<WaitFilter> filters;
    std::deque<GSMessage*> messages;  // offered while not waiting, for the next wait
    float timer = 0.0f;
    GSObjectReference* gameObject = nullptr;
};

// The thread and context of the innermost run on this operating-system thread.
GSThread* CurrentThread();

// Runs `function` on `thread` for the object part `self` (one reference is taken for the
// frame), saving and restoring the thread's stack state around the run. The run's result code;
// the value the function returned goes to `result` when given.
int32_t RunOnStaticThread(GSThread* thread, GSFunction* function, Ref self,
                          const uint32_t* args = nullptr, uint32_t argCount = 0,
                          uint32_t* result = nullptr);

}  // namespace GSRuntime
