#include "platform/kiv/res/resource_system.h"

#include <atomic>

#include "platform/kiv/res/image_type.h"

namespace Kiv {
namespace {

std::atomic<ResourceSystem*> current{nullptr};

}  // namespace

ResourceSystem::ResourceSystem() {
    current.store(this, std::memory_order_release);
}

ResourceSystem::~ResourceSystem() {
    ResourceSystem* self = this;
    current.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

bool ResourceSystem::Init(const Options& options) {
    options_ = options;
    RegisterImageTypes();
    initialised_ = true;
    return true;
}

ResourceSystem* ResourceSystem::GetCurrent() {
    return current.load(std::memory_order_acquire);
}

}  // namespace Kiv
