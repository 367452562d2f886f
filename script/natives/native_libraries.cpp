#include "script/natives/native_libraries.h"

#include "script/natives/class_natives.h"
#include "script/vm/gs_native.h"

namespace ScriptNatives {

bool RegisterNativeLibraries() {
    static bool registered = false;
    if (registered) return true;
    registered = true;
    RegisterClassNatives(GSRuntime::GSNativeRegistry::Get());
    return true;
}

}  // namespace ScriptNatives
