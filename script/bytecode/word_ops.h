// What the machine's arithmetic does to its 32-bit stack words, in one place: the compiler
// folds constant expressions with these functions and the script machine executes the same
// ones, so a folded value always equals what the unfolded code computes. Integers wrap in 32
// bits, nothing here has undefined behaviour, and every division by zero is the caller's to
// refuse first (the machine stops the thread with ER_DivideByZero).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

namespace GSBytecode {

inline int32_t IntAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
inline int32_t IntSubtract(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}
inline int32_t IntMultiply(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}
inline int32_t IntNegate(int32_t a) {
    return static_cast<int32_t>(0u - static_cast<uint32_t>(a));
}
// Truncating division; b must not be 0. INT_MIN / -1 wraps to INT_MIN.
inline int32_t IntDivide(int32_t a, int32_t b) {
    if (b == -1) return IntNegate(a);
    return a / b;
}
// The remainder of the truncating division; b must not be 0. INT_MIN % -1 is 0.
inline int32_t IntRemainder(int32_t a, int32_t b) {
    if (b == -1) return 0;
    return a % b;
}
// Opcode 9: -1, 0 or 1 as a is below, equal to or above b (a - b would overflow).
inline int32_t IntCompare(int32_t a, int32_t b) {
    return a < b ? -1 : (a > b ? 1 : 0);
}
// The shift count is taken modulo 32; the right shift is logical.
inline int32_t ShiftLeft(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) << (static_cast<uint32_t>(b) & 31u));
}
inline int32_t ShiftRight(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) >> (static_cast<uint32_t>(b) & 31u));
}

inline float WordToFloat(uint32_t w) {
    return std::bit_cast<float>(w);
}
inline uint32_t FloatToWord(float f) {
    return std::bit_cast<uint32_t>(f);
}
// Opcode 8.
inline float IntToFloat(int32_t a) {
    return static_cast<float>(a);
}
// Opcode 27: truncation toward zero. NaN and values beyond the int range give 0x80000000 (the
// processor's "no integer" answer), never undefined behaviour.
inline int32_t FloatToInt(float f) {
    if (std::isnan(f) || f >= 2147483648.0f || f < -2147483648.0f) return INT32_MIN;
    return static_cast<int32_t>(f);
}
// Opcodes 22 and 23 refuse a divisor whose bits are all zero (+0.0); -0.0 divides.
inline bool IsFloatZeroDivisor(float b) {
    return FloatToWord(b) == 0;
}
inline float FloatRemainder(float a, float b) {
    return std::fmod(a, b);
}
// Opcode 24: computed as -0.0 - a.
inline float FloatNegate(float a) {
    return -0.0f - a;
}
// Opcode 28: 1, -1 or 0 as a - b is above, below or neither (NaN) 0.
inline int32_t FloatCompare(float a, float b) {
    float d = a - b;
    return d > 0.0f ? 1 : (d < 0.0f ? -1 : 0);
}

}  // namespace GSBytecode
