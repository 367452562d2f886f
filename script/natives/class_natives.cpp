#include "script/natives/class_natives.h"

#include "script/vm/gs_native.h"

namespace ScriptNatives {

// Each class's bindings are added here as its natives are written; a native without a binding is
// reported at link ("Could not resolve native link"), never bound to something that pretends.
void RegisterClassNatives(GSRuntime::GSNativeRegistry& /*registry*/) {}

}  // namespace ScriptNatives
