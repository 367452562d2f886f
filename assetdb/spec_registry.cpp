#include "assetdb/spec_registry.h"

#include <mutex>

#include "foundation/statics.h"
#include "platform/kiv/base/sync.h"

namespace {

struct Slot {
    Kiv::CriticalSection lock;
    std::unique_ptr<SpecRegistry> registry;
    SpecRegistryFactory factory = nullptr;
};

Slot& TheSlot() {
    static ProcessStatic<Slot> slot("spec registry");
    return slot.Get();
}

[[maybe_unused]] const bool kBuilt = (TheSlot(), true);

}  // namespace

SpecRegistry* SpecRegistry::Instance() {
    Slot& s = TheSlot();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    return s.registry.get();
}

void SpecRegistry::Forget(const KUID&) {}

void SpecRegistry::ReportLeaks() {}

void SetSpecRegistryFactory(SpecRegistryFactory factory) {
    Slot& s = TheSlot();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    s.factory = factory;
}

void CreateSpecRegistry() {
    Slot& s = TheSlot();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    std::unique_ptr<SpecRegistry> made =
        s.factory != nullptr ? s.factory() : std::make_unique<SpecRegistry>();
    if (made == nullptr) made = std::make_unique<SpecRegistry>();
    if (s.registry != nullptr) s.registry->ReportLeaks();
    s.registry = std::move(made);
}

void DestroySpecRegistry() {
    std::unique_ptr<SpecRegistry> gone;
    {
        Slot& s = TheSlot();
        std::lock_guard<Kiv::CriticalSection> lock(s.lock);
        gone = std::move(s.registry);
    }
    if (gone != nullptr) gone->ReportLeaks();
}
