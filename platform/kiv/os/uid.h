// Kiv::UId: the engine's 128-bit unique identifier, the name of a plug-in family or type. Its
// text form is five groups of hexadecimal digits, 8-4-4-4-12, as in
// "4C414E80-BBDA-11d4-9AD7-0001025364B8"; digits are read in either letter case.
#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace Kiv {

struct UId {
    // The sixteen bytes in the order the text form writes them.
    std::array<uint8_t, 16> bytes{};

    // None unless the text is exactly the 36-character form (no braces, no blanks).
    static std::optional<UId> Parse(std::string_view text);
    // The text form with capital hexadecimal digits.
    std::string ToString() const;
    bool IsNull() const { return *this == UId{}; }

    auto operator<=>(const UId&) const = default;
};

}  // namespace Kiv
