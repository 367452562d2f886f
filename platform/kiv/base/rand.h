// The engine's random generator: a small, fast, seedable generator (PCG32). Sequences are
// reproducible from a seed; SeedFromClock is the engine's seeding call for a fresh process.
#pragma once

#include <cstdint>

namespace Kiv {

class Rand {
public:
    explicit Rand(uint64_t seed = 0x853c49e6748fea9bULL) { Seed(seed); }

    void Seed(uint64_t seed);
    // Seeds from the clock and the process id, so two processes started together differ.
    void SeedFromClock();

    uint32_t Next();
    // A uniformly drawn integer in [lo, hi], both ends included; lo when hi <= lo.
    int32_t NextInt(int32_t lo, int32_t hi);
    // A float in [0, 1).
    float NextFloat();

private:
    uint64_t state_ = 0;
    uint64_t inc_ = 0;
};

}  // namespace Kiv
