// The natives of the static script classes "Str" (string helpers that work in place on script
// strings) and "Math" (a small random generator and a square root): plain functions, bound by
// the native registry when it is built, after the machine's own classes.
//
// String parameters are read straight from their words: a word that holds no string makes the
// native return at once, without a result (the call then yields 0). White space is space, tab,
// carriage return, line feed and vertical tab.
#pragma once

#include <cstdint>

namespace GSRuntime {

class GSNativeRegistry;

void RegisterStrNatives(GSNativeRegistry& registry);
// Also seeds the random generator from the current calendar time.
void RegisterMathNatives(GSNativeRegistry& registry);

// The generator both Math.Rand forms share: state = (state * 31415821 + 1) mod 10^8, the
// product taken apart at 10^4 so that it never overflows. Process-wide, unlocked: natives run
// on the script's thread.
int32_t NextMathRandom();
void SeedMathRandom(int32_t state);

}  // namespace GSRuntime
