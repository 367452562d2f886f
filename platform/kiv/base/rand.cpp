#include "platform/kiv/base/rand.h"

#include <unistd.h>

#include <chrono>

namespace Kiv {

void Rand::Seed(uint64_t seed) {
    state_ = 0;
    inc_ = (seed << 1u) | 1u;
    Next();
    state_ += seed;
    Next();
}

void Rand::SeedFromClock() {
    auto now =
        static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    Seed(now ^ (static_cast<uint64_t>(::getpid()) << 32));
}

uint32_t Rand::Next() {
    uint64_t old = state_;
    state_ = old * 6364136223846793005ULL + inc_;
    auto xorshifted = static_cast<uint32_t>(((old >> 18u) ^ old) >> 27u);
    auto rot = static_cast<uint32_t>(old >> 59u);
    return (xorshifted >> rot) | (xorshifted << ((32 - rot) & 31));
}

int32_t Rand::NextInt(int32_t lo, int32_t hi) {
    if (hi <= lo) return lo;
    uint64_t span = static_cast<uint64_t>(static_cast<int64_t>(hi) - lo) + 1;
    if (span > UINT32_MAX) return static_cast<int32_t>(static_cast<int64_t>(lo) + Next());
    // Rejection keeps the draw unbiased.
    auto range = static_cast<uint32_t>(span);
    uint32_t limit = UINT32_MAX - (UINT32_MAX % range);
    uint32_t r;
    do {
        r = Next();
    } while (r >= limit);
    return static_cast<int32_t>(static_cast<int64_t>(lo) + r % range);
}

float Rand::NextFloat() {
    return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f);
}

}  // namespace Kiv
