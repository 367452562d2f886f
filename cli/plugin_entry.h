// The program's exported plug-in entry (see plugin_entry.cpp).
#pragma once

extern "C" void KivGetPlugins();

#include <cstddef>

// For tests: called where the entry allocates each of its objects (0 to 6 the material plug-ins,
// 7 to 11 the resource types, in the order they are created); a hook that throws std::bad_alloc
// makes that allocation fail. Null: no hook.
using PluginEntryAllocationHook = void (*)(size_t object);
void SetPluginEntryAllocationHook(PluginEntryAllocationHook hook);
