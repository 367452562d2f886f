// GSThread::Execute: entry and exits of a run. The dispatch loop over the byte code lives in
// gs_dispatch.cpp.
#include <string>

#include "script/vm/gs_context.h"
#include "script/vm/gs_dispatch.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_library.h"
#include "script/vm/gs_router.h"
#include "script/vm/gs_thread.h"
#include "script/vm/script_log.h"

namespace GSRuntime {

namespace {

thread_local GSThread* t_currentThread = nullptr;

}  // namespace

RunState& ThisRunState() {
    thread_local RunState state;
    return state;
}

GSThread* CurrentThread() {
    return t_currentThread;
}

int32_t GSThread::Execute(GSThread* thread, float elapsed) {
    RunState& rs = ThisRunState();
    if (!rs.runFlag) return ER_Blocked;
    if (thread->state == kWaiting) {
        if (thread->timer == 0.0f) return ER_Blocked;
        thread->timer -= elapsed;
        if (thread->timer > 0.0f) return ER_Blocked;
        thread->timer = 0.0f;
    }
    if (rs.depth++ == 0) rs.byteCounter = 0;
    DropWaitFilters(*thread);

    GSThread* savedThread = t_currentThread;
    GSContext* savedContext = CurrentContext();
    t_currentThread = thread;
    SetCurrentContext(thread->stack.CurrentContext());
    thread->state = kRunning;

    RunResult run = Dispatch(*thread, rs);

    rs.byteCounter += run.bytes;
    if (--rs.depth == 0) rs.totalBytes += rs.byteCounter;
    if (run.result != ER_Done && run.result != ER_Blocked) {
        GSFunction* f = run.function;
        int line = f != nullptr ? f->LineOf(run.offset) : -1;
        const GSLibrary* lib = (f != nullptr && f->owner != nullptr) ? f->owner->library : nullptr;
        std::string text = "Thread Exception: ";
        text += ResultName(run.result);
        text += ", line " + std::to_string(line) + ", file ";
        if (lib != nullptr) text += lib->path;
        GS_SCRIPT_LOG("%s", text.c_str());
        if (ScriptErrorHook hook = GetScriptErrorHook()) {
            GSObjectReference* game = thread->gameObject;
            if (game == nullptr && thread->stack.frame != nullptr) {
                Ref self = thread->stack.Locals()[0];
                GSObjectReference* owner = self != 0 ? GetOwner(self) : nullptr;
                if (owner != nullptr && owner->Kind() == kKindGameObject) game = owner;
            }
            hook(text.c_str(), thread->stack, game);
        }
        thread->state = kFinished;
        GS_SCRIPT_LOG("Stack Dump...");
        thread->stack.Dump();
        thread->stack.Reset();
    }
    GSContext* runContext = CurrentContext();
    t_currentThread = savedThread;
    SetCurrentContext(savedContext);
    // Messages posted by the run are delivered once the outermost run is over.
    if (rs.depth == 0 && runContext != nullptr && runContext->router != nullptr)
        runContext->router->RunQueues();
    return run.result;
}

}  // namespace GSRuntime
