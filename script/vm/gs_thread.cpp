#include "script/vm/gs_thread.h"

#include <atomic>
#include <string>

#include "script/vm/gs_game_object.h"
#include "script/vm/gs_library.h"
#include "script/vm/script_log.h"

namespace GSRuntime {

namespace {

constexpr const char* kResultNames[kResultCount] = {
    "ER_Done",
    "ER_Blocked",
    "ER_IllegalInstruction",
    "ER_DivideByZero",
    "ER_NullArrayReference",
    "ER_ArrayOutOfBounds",
    "ER_ArrayRangeError",
    "ER_NullStringReference",
    "ER_StringOutOfBounds",
    "ER_NullReference",
    "ER_ClassCreateError",
    "ER_NativeCallError",
    "ER_StackOverflow",
    "ER_NoStackFrame",
    "ER_ThreadError",
    "ER_StackReturnError",
    "ER_Exception",
    "ER_LinkError",
    "ER_Timeout",
};

constinit std::atomic<ScriptErrorHook> g_errorHook{nullptr};

}  // namespace

const char* ResultName(int32_t result) {
    return result >= 0 && result < kResultCount ? kResultNames[result] : "";
}

void SetScriptErrorHook(ScriptErrorHook hook) {
    g_errorHook.store(hook, std::memory_order_release);
}

ScriptErrorHook GetScriptErrorHook() {
    return g_errorHook.load(std::memory_order_acquire);
}

void GSThread::Reset() {
    stack.Reset();
    DropThreadMessaging(*this);
    state = kRunning;
    resumeOffset = 0;
    timer = 0.0f;
}

void GSThread::RaiseError(GSThread* thread, const char* text, bool keepState) {
    if (thread == nullptr) return;
    if (!keepState) thread->state = kFinished;
    std::string line;
    GSFunction* f =
        thread->stack.frame != nullptr ? thread->stack.FrameFunction(thread->stack.frame) : nullptr;
    GSLibrary* lib = (f != nullptr && f->owner != nullptr) ? f->owner->library : nullptr;
    if (lib != nullptr)
        line = std::string(text) + " (file " + lib->sourceName + ")";
    else
        line = text;
    GS_SCRIPT_LOG("%s", line.c_str());
    if (ScriptErrorHook hook = GetScriptErrorHook()) {
        GSObjectReference* game = thread->gameObject;
        for (const uint32_t* r = thread->stack.frame; game == nullptr && r != nullptr;
             r = thread->stack.PreviousFrame(r)) {
            Ref self = thread->stack.FrameLocals(r)[0];
            GSObjectReference* owner = self != 0 ? GetOwner(self) : nullptr;
            if (owner != nullptr && owner->Kind() == kKindGameObject) game = owner;
        }
        hook(line.c_str(), thread->stack, game);
    }
}

int32_t RunOnStaticThread(GSThread* thread, GSFunction* function, Ref self, const uint32_t* args,
                          uint32_t argCount, uint32_t* result) {
    GSStack& stack = thread->stack;
    GSStack::State saved = stack.Save();
    // The nested run sees none of the frames below it: its last return finishes it.
    stack.frame = nullptr;
    int32_t savedState = thread->state;
    uint32_t savedResume = thread->resumeOffset;
    int32_t rc;
    // Room for the result word, `this` and the arguments, beyond what the frame itself checks.
    if (stack.TopIndex() + 2 + int64_t{argCount} >= int64_t{stack.capacity}) {
        rc = ER_StackOverflow;
    } else {
        stack.Push(0);  // the result word
        if (self != 0) AddReference(self);
        stack.Push(self);
        for (uint32_t i = 0; i < argCount; ++i)
            stack.Push(args[i]);
        uint32_t* resultWord = stack.top - argCount - 1;
        if (!stack.PushFrame(function, 0)) {
            rc = ER_StackOverflow;
            ReleaseReference(self);  // the other pushed words go with the restore below
        } else {
            thread->state = GSThread::kRunning;
            thread->resumeOffset = 0;
            rc = GSThread::Execute(thread, 0.0f);
            if (result != nullptr) *result = rc == ER_Done ? resultWord[1] : 0;
        }
    }
    stack.Restore(saved);
    thread->state = savedState;
    thread->resumeOffset = savedResume;
    return rc;
}

}  // namespace GSRuntime
