#include "validation/finding_text.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "configdata/interface_text.h"

namespace {

bool IsFlag(char c) {
    return c == '-' || c == '+' || c == ' ' || c == '#' || c == '0';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsLength(char c) {
    return c == 'h' || c == 'l' || c == 'L' || c == 'q' || c == 'j' || c == 'z' || c == 't';
}

// Formats one value with a checked conversion of our own making: flags, width and precision
// as written (no '*'), the length replaced by what the value needs.
std::string FormatOne(std::string_view flagsWidthPrecision, char conversion, const FindingArg& a) {
    std::string spec = "%";
    spec += flagsWidthPrecision;
    char buffer[512];
    if (conversion == 's') {
        spec += 's';
        const std::string text(a.text);
        const int n = std::snprintf(buffer, sizeof buffer, spec.c_str(), text.c_str());
        if (n < 0) return text;
        if (static_cast<size_t>(n) < sizeof buffer) return std::string(buffer, n);
        std::string big(static_cast<size_t>(n) + 1, '\0');
        std::snprintf(big.data(), big.size(), spec.c_str(), text.c_str());
        big.resize(n);
        return big;
    }
    if (conversion == 'c') {
        spec += 'c';
        std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<int>(a.number));
        return buffer;
    }
    if (conversion == 'g' || conversion == 'G' || conversion == 'f' || conversion == 'F' ||
        conversion == 'e' || conversion == 'E') {
        spec += conversion;
        std::snprintf(buffer, sizeof buffer, spec.c_str(), a.real);
        return buffer;
    }
    spec += "ll";
    spec += conversion;
    std::snprintf(buffer, sizeof buffer, spec.c_str(), static_cast<long long>(a.number));
    return buffer;
}

}  // namespace

Kiv::String FormatFinding(std::string_view format, std::initializer_list<FindingArg> args) {
    std::string out;
    out.reserve(format.size() + 32);
    const FindingArg* next = args.begin();
    size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c != '%') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 < format.size() && format[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        // Parse one conversion: flags, width, precision, length, conversion character.
        size_t j = i + 1;
        while (j < format.size() && IsFlag(format[j]))
            ++j;
        bool star = false;
        while (j < format.size() && (IsDigit(format[j]) || format[j] == '*'))
            star |= format[j++] == '*';
        if (j < format.size() && format[j] == '.') {
            ++j;
            while (j < format.size() && (IsDigit(format[j]) || format[j] == '*'))
                star |= format[j++] == '*';
        }
        const size_t lengthStart = j;
        while (j < format.size() && IsLength(format[j]))
            ++j;
        if (j >= format.size()) {  // cut off: the rest stays as written
            out.append(format.substr(i));
            break;
        }
        const char conversion = format[j];
        const std::string_view whole = format.substr(i, j + 1 - i);
        const std::string_view fwp = format.substr(i + 1, lengthStart - (i + 1));
        const bool wantsText = conversion == 's';
        const bool wantsNumber = conversion == 'd' || conversion == 'i' || conversion == 'u' ||
                                 conversion == 'x' || conversion == 'X' || conversion == 'o' ||
                                 conversion == 'c';
        // A width or precision of more than three digits would let edited data ask for
        // megabytes of padding: such a conversion stays as written.
        size_t digitRun = 0, longestRun = 0;
        for (const char d : fwp) {
            digitRun = IsDigit(d) ? digitRun + 1 : 0;
            longestRun = std::max(longestRun, digitRun);
        }
        const bool wantsReal = conversion == 'g' || conversion == 'G' || conversion == 'f' ||
                               conversion == 'F' || conversion == 'e' || conversion == 'E';
        const bool fits =
            !star && longestRun <= 3 && next != args.end() &&
            ((wantsText && next->isText) || (wantsNumber && !next->isText && !next->isReal) ||
             (wantsReal && next->isReal));
        if (fits) {
            out += FormatOne(fwp, conversion, *next);
            ++next;
        } else {
            out.append(whole);
        }
        i = j + 1;
    }
    return Kiv::String(std::move(out));
}

Kiv::PString LocalisedText(const char* key) {
    return InterfaceTextDB::Instance().GetString(Kiv::PString(key), true);
}

Kiv::PString FindingText(const char* key, std::initializer_list<FindingArg> args) {
    const Kiv::PString format = LocalisedText(key);
    return Kiv::PString(FormatFinding(format.view(), args).view());
}
