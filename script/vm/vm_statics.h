// Process-wide objects of the script machine, built before main and released at exit in the
// reverse order of construction (foundation/statics.h): the script log hook, the named pool
// heaps of the loader and of script objects, and the set of live script contexts.
#pragma once

#include <set>

#include "platform/kiv/base/heap.h"

namespace GSRuntime {
class GSContext;
}

// Called with a printf format and its values for every script log line; start-up sets it, and
// while it is null script logging is off.
using ScriptLogHook = void (*)(const char* format, ...);
void SetScriptLogHook(ScriptLogHook hook);
ScriptLogHook GetScriptLogHook();

// "#GSMachine": the library objects of the loader.
Kiv::PackedHeap& GSMachineHeap();
// "#GSContext": native script objects and script instances.
Kiv::PackedHeap& GSContextHeap();

// The script-runtime map: every live script context in one ordered set; a context enters it
// when made and leaves it when destroyed. Only the thread that runs scripts touches it, so it
// has no lock.
std::set<GSRuntime::GSContext*>& LiveScriptContexts();
