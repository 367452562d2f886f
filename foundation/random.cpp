#include "foundation/random.h"

#include <mutex>

#include "platform/kiv/base/sync.h"

namespace {

struct Generators {
    Kiv::Rand main;
    Kiv::Rand shared;
    Kiv::CriticalSection lock;
    bool seeded = false;
};

Generators& TheGenerators() {
    static Generators* g = new Generators;  // used from static destructors; never freed
    return *g;
}

}  // namespace

void SeedRandomGenerators() {
    Generators& g = TheGenerators();
    std::lock_guard<Kiv::CriticalSection> lock(g.lock);
    if (g.seeded) return;
    g.main.SeedFromClock();
    g.shared.SeedFromClock();
    g.shared.Next();  // the two must not run in step
    g.seeded = true;
}

int32_t RandomIntLocked(int32_t n) {
    Generators& g = TheGenerators();
    std::lock_guard<Kiv::CriticalSection> lock(g.lock);
    return g.shared.NextInt(0, n);
}

Kiv::Rand& MainRandom() {
    return TheGenerators().main;
}
