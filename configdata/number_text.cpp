#include "configdata/number_text.h"

#include <charconv>
#include <cstring>
#include <system_error>

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

const char* SkipSpace(const char* p, const char* end) {
    while (p < end && IsSpace(*p))
        ++p;
    return p;
}

const char* SkipDigits(const char* p, const char* end) {
    while (p < end && IsDigit(*p))
        ++p;
    return p;
}

// The decimal exponent of the first non-zero digit of a well-formed number in [p, end) (sign,
// digits, '.', digits, exponent): 0 for 1..9, 2 for 100, -3 for 0.001. Only its sign matters:
// it tells a number too large for a float from one too small.
int64_t Magnitude(const char* p, const char* end) {
    if (p < end && (*p == '-' || *p == '+')) ++p;
    const char* integer = p;
    const char* q = SkipDigits(p, end);
    int64_t magnitude = 0;
    bool found = false;
    for (const char* d = integer; d < q && !found; ++d) {
        if (*d != '0') {
            found = true;
            magnitude = (q - d) - 1;
        }
    }
    if (q < end && *q == '.') {
        const char* fraction = ++q;
        q = SkipDigits(q, end);
        for (const char* d = fraction; d < q && !found; ++d) {
            if (*d != '0') {
                found = true;
                magnitude = -((d - fraction) + 1);
            }
        }
    }
    int64_t exponent = 0;
    if (q < end && (*q == 'e' || *q == 'E')) {
        ++q;
        bool negative = q < end && *q == '-';
        if (q < end && (*q == '-' || *q == '+')) ++q;
        for (; q < end && IsDigit(*q); ++q)
            if (exponent < (int64_t{1} << 40)) exponent = exponent * 10 + (*q - '0');
        if (negative) exponent = -exponent;
    }
    return magnitude + exponent;
}

}  // namespace

NumberScan ScanInt(const char* p, const char* end, int32_t& value, const char** next) {
    const char* s = SkipSpace(p, end);
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-')) {
        negative = *s == '-';
        ++s;
    }
    if (s == end || !IsDigit(*s)) return NumberScan::kMissing;
    int64_t v = 0;
    bool overflow = false;
    for (; s < end && IsDigit(*s); ++s) {
        if (overflow) continue;
        v = v * 10 + (*s - '0');
        if (v > int64_t{INT32_MAX} + 1) overflow = true;
    }
    if (negative) v = -v;
    if (overflow || v > INT32_MAX || v < INT32_MIN) return NumberScan::kOutOfRange;
    value = static_cast<int32_t>(v);
    if (next != nullptr) *next = s;
    return NumberScan::kRead;
}

NumberScan ScanFloat(const char* p, const char* end, float& value, const char** next) {
    const char* start = SkipSpace(p, end);
    const char* s = start;
    bool negative = false;
    if (s < end && (*s == '+' || *s == '-')) {
        negative = *s == '-';
        ++s;
    }
    const char* digits = s;
    s = SkipDigits(s, end);
    bool any = s != digits;
    if (s < end && *s == '.') {
        const char* fraction = ++s;
        s = SkipDigits(s, end);
        any = any || s != fraction;
    }
    if (!any) return NumberScan::kMissing;
    if (s < end && (*s == 'e' || *s == 'E')) {
        const char* e = s + 1;
        if (e < end && (*e == '+' || *e == '-')) ++e;
        if (e < end && IsDigit(*e)) s = SkipDigits(e, end);
    }
    // from_chars takes no '+', and reads the rest exactly as strtof does, in any locale.
    const char* number = (start < end && *start == '+') ? start + 1 : start;
    float v = 0.0f;
    std::from_chars_result r = std::from_chars(number, s, v, std::chars_format::general);
    if (r.ec == std::errc::result_out_of_range) {
        if (Magnitude(number, s) >= 0) return NumberScan::kOutOfRange;
        v = negative ? -0.0f : 0.0f;
    } else if (r.ec != std::errc()) {
        return NumberScan::kMissing;
    }
    value = v;
    if (next != nullptr) *next = s;
    return NumberScan::kRead;
}

namespace {

// Appends each 4-byte value of the block through `format`, joined by ",".
template <typename T, typename Format>
void AppendList(const void* data, size_t size, std::string& out, Format format) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    char buffer[64];
    for (size_t i = 0; data != nullptr && i + 4 <= size; i += 4) {
        T v;
        std::memcpy(&v, bytes + i, 4);
        if (i != 0) out += ',';
        out.append(buffer, format(buffer, buffer + sizeof buffer, v).ptr);
    }
}

}  // namespace

void AppendIntList(const void* data, size_t size, std::string& out) {
    AppendList<int32_t>(data, size, out, [](char* first, char* last, int32_t v) {
        return std::to_chars(first, last, v);
    });
}

void AppendFloatList(const void* data, size_t size, std::string& out) {
    // As printf's "%g" of the value (a float reaches printf as a double), in the C locale.
    AppendList<float>(data, size, out, [](char* first, char* last, float v) {
        return std::to_chars(first, last, static_cast<double>(v), std::chars_format::general, 6);
    });
}
