#include "platform/kiv/base/os.h"

#include <atomic>

namespace Kiv {
namespace {

std::atomic<OS*> current{nullptr};
std::atomic<int> failuresForTesting{0};

bool TakeTestFailure() {
    int left = failuresForTesting.load();
    while (left > 0)
        if (failuresForTesting.compare_exchange_weak(left, left - 1)) return true;
    return false;
}

}  // namespace

OS::OS(std::string_view appName, std::string_view options, void* instance, void* window)
    : appName_(appName), instance_(instance), window_(window) {
    optionsOk_ = options_.ProcessRaw(options);
    current.store(this, std::memory_order_release);
}

OS::~OS() {
    OS* self = this;
    current.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

bool OS::Init() {
    if (TakeTestFailure()) {
        lastError_ = "failed for a test";
        initialised_ = false;
        return false;
    }
    if (!optionsOk_) {
        lastError_ = "bad engine options: " + options_.GetLastError();
        initialised_ = false;
        return false;
    }
    initialised_ = true;
    return true;
}

OS* OS::GetCurrent() {
    return current.load(std::memory_order_acquire);
}

void OS::FailNextInitsForTesting(int count) {
    failuresForTesting.store(count > 0 ? count : 0);
}

}  // namespace Kiv
