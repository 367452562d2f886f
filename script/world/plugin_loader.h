// Native plug-ins of script libraries: shared libraries "bin/plugins/<name>.so" of the install
// that implement the native plug-in interface. A load opens the plug-in, obtains its library
// object from its entry point "HNIEntryPoint" and runs the object's "Init"; the library stays
// loaded for the rest of the process. Loads and releases run under one process-wide lock.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/nativeinterface/hni.h"

namespace HalvexPlugins {

// The plug-in's library object (one reference, the caller's), or HNI_NONE: for a name that is
// empty or holds '/', '\' or ".." (a plug-in never comes from outside bin/plugins), a file that
// does not load, a library without the entry point, or an entry point that gives none (the
// library is unloaded again).
HNIHandle PluginLoad(HNIHandle host, std::string_view name);

// The two plug-in handles a holder keeps: the plug-in's library object and the host object it
// was loaded for.
struct PluginHolder {
    HNIHandle library = HNI_NONE;
    HNIHandle host = HNI_NONE;
};
// Releases both handles under the plug-in lock and clears them; either may be empty.
void ReleasePlugins(PluginHolder& holder);

// Calls the object's first, second and third operation for flag bits 1, 2 and 4, in that order;
// bit 4's call ends the dispatch.
void PluginNotify(HNIHandle object, uint32_t flags);

// Bytes the native interface holds through the loader's counted allocation (set on the first
// load).
int64_t PluginAllocatedBytes();

}  // namespace HalvexPlugins
