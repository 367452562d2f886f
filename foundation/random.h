// The two process-wide random generators: the first for the program's own use, the second
// shared between threads under a critical section (temporary file names draw from it).
#pragma once

#include <cstdint>

#include "platform/kiv/base/rand.h"

// Seeds both generators from the engine's seeding call, once per process.
void SeedRandomGenerators();
// Under the shared generator's lock: an integer from 0 to n, both included.
int32_t RandomIntLocked(int32_t n);
// The first generator, for code on the main thread.
Kiv::Rand& MainRandom();
