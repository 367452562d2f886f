// Letting go of what the engine caches for the work just done: the command host does it after
// every call, so that a host serving for hours does not grow with each asset it touched.
#pragma once

#include <cstdint>

// On the main thread: dumps the unused resources of the engine's resource cache (when one is
// installed), collects the interned strings nothing references and clears the pending flag. On
// any other thread only sets the pending flag, for the main thread's next flush.
void FlushResourceCacheOnMainThread();
bool IsResourceCacheFlushPending();

// The engine's resource cache, when one exists: its dump of unused resources. This build's
// engine keeps none; null removes it.
using ResourceCacheDumpCall = void (*)();
void SetResourceCacheDumpCall(ResourceCacheDumpCall call);
// Flushes carried out on the main thread since the process began (for checks).
uint32_t CountResourceCacheFlushes();
