#include "script/vm/vm_statics.h"

#include <atomic>

#include "foundation/statics.h"

namespace {

// A plain pointer owns nothing: no exit handler, usable from the first initialiser on.
constinit std::atomic<ScriptLogHook> g_scriptLogHook{nullptr};

}  // namespace

void SetScriptLogHook(ScriptLogHook hook) {
    g_scriptLogHook.store(hook, std::memory_order_release);
}

ScriptLogHook GetScriptLogHook() {
    return g_scriptLogHook.load(std::memory_order_acquire);
}

Kiv::PackedHeap& GSMachineHeap() {
    static ProcessStatic<Kiv::PackedHeap> heap("#GSMachine", "#GSMachine");
    return heap.Get();
}

Kiv::PackedHeap& GSContextHeap() {
    static ProcessStatic<Kiv::PackedHeap> heap("#GSContext", "#GSContext");
    return heap.Get();
}

std::set<GSRuntime::GSContext*>& LiveScriptContexts() {
    static ProcessStatic<std::set<GSRuntime::GSContext*>> contexts("script contexts");
    return contexts.Get();
}

namespace {

// Builds the objects above before main.
[[maybe_unused]] const bool kBuilt = [] {
    GSMachineHeap();
    GSContextHeap();
    LiveScriptContexts();
    return true;
}();

}  // namespace
