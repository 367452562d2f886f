#include "script/compiler/literals.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace GSCompiler {

std::string DecodeStringLiteral(std::string_view token, bool resolveEscapes) {
    std::string_view text = token;
    if (!text.empty() && (text.back() == '"' || text.back() == '\'')) text.remove_suffix(1);
    if (!text.empty() && text.front() == 'L') text.remove_prefix(1);
    if (text.empty() || (text.front() != '"' && text.front() != '\'')) return {};
    text.remove_prefix(1);
    if (!resolveEscapes) return std::string(text);

    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c != '\\') {
            out += c;
            continue;
        }
        if (++i == text.size()) break;
        switch (text[i]) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'v':
                out += '\v';
                break;
            case 'r':
                out += '\r';
                break;
            case 'f':
                out += '\f';
                break;
            case 'b':
                out += '\b';
                break;
            case 'a':
                out += '\a';
                break;
            case '0':
                return out;  // a NUL ends the text
            default:
                out += text[i];
                break;  // \\, \', \" and any other character
        }
    }
    return out;
}

int32_t IntegerConstantValue(std::string_view digits, int base) {
    constexpr uint32_t kMax = 0x7FFFFFFF;
    uint64_t value = 0;
    for (char c : digits) {
        uint32_t d;
        if (c >= '0' && c <= '9') {
            d = static_cast<uint32_t>(c - '0');
        } else if (c >= 'a' && c <= 'f') {
            d = static_cast<uint32_t>(c - 'a' + 10);
        } else if (c >= 'A' && c <= 'F') {
            d = static_cast<uint32_t>(c - 'A' + 10);
        } else {
            break;
        }
        if (d >= static_cast<uint32_t>(base)) break;
        value = value * static_cast<uint32_t>(base) + d;
        if (value > kMax) return static_cast<int32_t>(kMax);  // strtol saturates
    }
    return static_cast<int32_t>(value);
}

int32_t HexConstantValue(std::string_view token) {
    return IntegerConstantValue(token.size() > 2 ? token.substr(2) : std::string_view{}, 16);
}

int32_t DecimalConstantValue(std::string_view token) {
    return IntegerConstantValue(token, 10);
}

float FloatConstantValue(std::string_view token) {
    if (!token.empty() && token.back() == 'f') token.remove_suffix(1);
    double d = 0.0;
    auto [end, ec] =
        std::from_chars(token.data(), token.data() + token.size(), d, std::chars_format::fixed);
    (void)end;
    if (ec == std::errc::result_out_of_range) {
        // Beyond a double: as atof, infinity for a large value (no constant is negative), 0
        // for a tiny one (only zeros before the point).
        std::string_view whole = token.substr(0, token.find('.'));
        bool large = whole.find_first_not_of('0') != std::string_view::npos;
        return large ? std::numeric_limits<float>::infinity() : 0.0f;
    }
    if (ec != std::errc()) return 0.0f;
    if (d > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    return static_cast<float>(d);
}

int32_t CharConstantValue(std::string_view token) {
    std::string text = DecodeStringLiteral(token, true);
    if (text.empty()) return 0;
    return static_cast<signed char>(text[0]);
}

}  // namespace GSCompiler
