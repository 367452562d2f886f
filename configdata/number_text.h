// Numbers in configuration text: reading one the way "%d" and "%f" read it, but with range
// checks instead of overflow, and printing value lists the way the text form writes them
// ("%d" and "%g" joined by ","). Nothing here depends on the locale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

enum class NumberScan {
    kRead,        // a value was read
    kMissing,     // no number at the start (after blanks)
    kOutOfRange,  // a number that the type cannot hold
};

// Reads a decimal int at the start of [p, end) as "%d" would: leading white space, an optional
// sign, at least one digit; the scan stops at the first other byte. On kRead the value is
// stored and *next (when given) points past the number.
NumberScan ScanInt(const char* p, const char* end, int32_t& value, const char** next = nullptr);

// Reads a float at the start of [p, end) as "%f" would: leading white space, an optional sign,
// digits with at most one '.', then an exponent ('e' or 'E', an optional sign and digits) when
// one is there. A value too large for a float is kOutOfRange; one too small becomes zero of
// its sign, as the C library rounds it.
NumberScan ScanFloat(const char* p, const char* end, float& value, const char** next = nullptr);

// Appends the 4-byte ints of the block with "%d", joined by ",". Bytes past the last whole
// value are ignored.
void AppendIntList(const void* data, size_t size, std::string& out);
// Appends the 4-byte floats of the block with "%g", joined by ",".
void AppendFloatList(const void* data, size_t size, std::string& out);
