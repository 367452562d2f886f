// Engine clocks: a monotonic clock for intervals and time-outs, a high-resolution counter,
// and a sleep.
#pragma once

#include <cstdint>

namespace Kiv::Time {

// Seconds since an arbitrary fixed point (monotonic).
double GetSeconds();
// Milliseconds since an arbitrary fixed point (monotonic).
uint64_t GetMilliseconds();
// The performance counter and its ticks per second.
uint64_t GetCounter();
uint64_t GetCounterFrequency();
// Sleeps the calling thread.
void Delay(uint32_t milliseconds);

}  // namespace Kiv::Time
