// The one-time registration of the native script libraries: the asset compile job calls it
// before any script is compiled or run, so every native a library declares finds its binding
// when the library links.
#pragma once

namespace ScriptNatives {

// Once per process (later calls return true at once): makes the native registry with its
// built-in natives and binds the native classes. False when a native class's script class
// cannot be found.
bool RegisterNativeLibraries();

}  // namespace ScriptNatives
