// Where the native classes that hold configuration data and small values (KUID, KUIDList, Soup,
// HTMLBuffer, StringTable, LinkedList, Constructors) add their bindings to the native registry.
// Native library registration calls this once, before any library is loaded, so every native a
// library declares finds its binding at link.
#pragma once

namespace GSRuntime {
class GSNativeRegistry;
}

namespace ScriptNatives {

void RegisterClassNatives(GSRuntime::GSNativeRegistry& registry);

}  // namespace ScriptNatives
