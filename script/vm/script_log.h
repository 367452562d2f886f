// Script log lines of the machine: every diagnostic goes to the process-wide script log hook,
// and only when one is set.
#pragma once

#include "script/vm/vm_statics.h"

#define GS_SCRIPT_LOG(...)                                                        \
    do {                                                                          \
        if (ScriptLogHook gsLogHook = GetScriptLogHook()) gsLogHook(__VA_ARGS__); \
    } while (false)
