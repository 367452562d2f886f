// The values of VuruDadeda literals, worked out from their token text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace GSCompiler {

// The text of a string or character literal token: a closing quote dropped, a leading "L"
// skipped, the opening quote (double or single) required and skipped (else the result is
// empty), and with `resolveEscapes` the backslash escapes resolved: \\ \n \t \v \r \f \b \a,
// \' and \" give their character, \0 ends the text, a backslash before any other character
// gives that character. The text is kept whole however long.
std::string DecodeStringLiteral(std::string_view token, bool resolveEscapes);

// The one integer converter of hexadecimal and decimal constants: the digits in base 16 or 10
// as a 32-bit signed value, as the C library's strtol (and atoi) give them where `long` is 32
// bits: a value above 0x7FFFFFFF becomes 0x7FFFFFFF. `digits` holds only digits of the base.
int32_t IntegerConstantValue(std::string_view digits, int base);
// A hexadecimal constant's token ("0x1F") and a decimal one's ("42").
int32_t HexConstantValue(std::string_view token);
int32_t DecimalConstantValue(std::string_view token);
// A float constant's token ("1.5f", ".5", "2."): its decimal value as a 32-bit float; a value
// beyond the float range becomes infinity.
float FloatConstantValue(std::string_view token);
// A character constant's token: its first character after decoding as a signed 8-bit value
// ('ab' is 'a'), 0 when it decodes to nothing.
int32_t CharConstantValue(std::string_view token);

}  // namespace GSCompiler
