// Filter elements: the criteria of an asset search, as a tree that the client builds and the
// daemon evaluates. Each element has a binary body (preceded on the wire by its four-character
// type code, the envelope), a readable value text for logs and comparison, and an equality
// test. The same classes serve both ends of the daemon link.
#pragma once

#include <cstdint>

#include "platform/kiv/base/pstring.h"

class TStream;
class WEXFilterReader;

// Type codes: four-character constants, first character in the most significant byte, so the
// little-endian bytes on the wire are the letters reversed.
inline constexpr uint32_t kWEXFilterTypeGroup = 0x67727570;      // 'grup'
inline constexpr uint32_t kWEXFilterTypeString = 0x7374726E;     // 'strn'
inline constexpr uint32_t kWEXFilterTypeBool = 0x626F6F6C;       // 'bool'
inline constexpr uint32_t kWEXFilterTypeInt = 0x696E7465;        // 'inte'
inline constexpr uint32_t kWEXFilterTypeTimestamp = 0x74696D65;  // 'time'
inline constexpr uint32_t kWEXFilterTypeAssetID = 0x61737374;    // 'asst'

class WEXFilterElement {
public:
    WEXFilterElement() = default;
    virtual ~WEXFilterElement() = default;
    WEXFilterElement(const WEXFilterElement&) = delete;
    WEXFilterElement& operator=(const WEXFilterElement&) = delete;

    // The keyword that the element's code selects ("unknown" for a code outside the table).
    virtual Kiv::PString KeywordName() const = 0;
    // The value in text form; the null handle when that text is empty.
    virtual Kiv::PString ValueText() const = 0;
    virtual uint32_t TypeCode() const = 0;
    // The body alone (WEXFilterWriteElement adds the type code); false when a write failed.
    virtual bool Write(TStream& stream) const = 0;
    // Replaces the element's fields by a body taken from the reader; false ends the read.
    virtual bool Read(WEXFilterReader& reader) = 0;
    // One direction of equality; the base compares keyword names and value texts, so fields
    // that do not show in the text (a string's exact flag) take no part.
    virtual bool Equals(const WEXFilterElement& other) const;
};

// Equal both ways: a.Equals(b) and b.Equals(a).
bool WEXFilterElementsEqual(const WEXFilterElement& a, const WEXFilterElement& b);

// The envelope: the type code, then the body. A missing element is written as the word 0 alone
// and reports failure.
bool WEXFilterWriteElement(TStream& stream, const WEXFilterElement* element);

// Interns text for a value text: the null handle for empty text.
Kiv::PString WEXFilterValueText(std::string_view text);
