#include "services/wexdaemon/crash_point.h"

#include <atomic>

namespace wexd {

namespace {
std::atomic<CrashHook> gHook{nullptr};
}  // namespace

void SetCrashHook(CrashHook hook) {
    gHook.store(hook);
}

void CrashPoint(const char* point) {
    if (CrashHook hook = gHook.load()) hook(point);
}

}  // namespace wexd
