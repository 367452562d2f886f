// Named points inside the store's multi-step folder changes where a test may end the process
// at once, to show that every such change survives being cut off there. Without a hook
// installed a crash point costs one atomic load.
#pragma once

namespace wexd {

using CrashHook = void (*)(const char* point);
void SetCrashHook(CrashHook hook);
void CrashPoint(const char* point);

}  // namespace wexd
