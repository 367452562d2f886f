// Value converters: how the raw bytes of a tag of one type read as another type. A getter asks
// for the type it wants and gets the converted bytes, or nothing, and then its caller's
// default. The converters are process-wide objects that link themselves into one list when
// they are built before main:
//
//   text  -> int     one "%d" value when the text passes the numeric test (below)
//   text  -> float   one "%f" value when the text passes the float numeric test
//   text  -> KUID    KUID::Parse, not strict (a text that does not parse is the null KUID)
//   int   -> text    each value "%d", joined by ","
//   float -> text    each value "%g", joined by ","; no values give nothing
//   KUID  -> text    KUID::ToString of exactly 8 bytes; anything else gives nothing
//   int   -> float   each value as a float
//
// Floats are written with "%g", which writes 2.0 as "2" (read back as an int) and 1e-05 with an
// exponent, so the last converter and the float side's exponents let every written float read
// back as one. There is no converter from float to int.
#pragma once

#include <cstdint>
#include <string_view>

#include "configdata/acs_raw_data.h"

class ACSConverter {
public:
    // Links the converter at the end of the process-wide list.
    ACSConverter(uint32_t sourceType, uint32_t targetType);
    virtual ~ACSConverter();
    ACSConverter(const ACSConverter&) = delete;
    ACSConverter& operator=(const ACSConverter&) = delete;

    // The bytes of the target type, or an empty reference when the input has no such value.
    virtual ACSRawDataRef Convert(const ACSRawDataRef& input) const = 0;

    uint32_t GetSourceType() const { return sourceType_; }
    uint32_t GetTargetType() const { return targetType_; }

private:
    uint32_t sourceType_;
    uint32_t targetType_;
    ACSConverter* next_ = nullptr;
    friend class ACSConverterList;
};

// The data as the target type: the same data when the types are equal, nothing from type 0,
// else the first converter for the pair, or nothing when there is none.
ACSRawDataRef ConvertRawData(uint32_t sourceType, const ACSRawDataRef& data, uint32_t targetType);

// The numeric test a text passes before it converts to an int: an optional '-' that does not
// end the text; trailing blanks ignored (a text of blanks only passes); then digits, at most one
// '.', and at most one exponent: an 'e' after the '.' followed by '+' or '-' and digits.
bool IsIntNumericText(std::string_view text);
// The same test for floats, where an exponent may also follow digits without a '.' ("1e-05").
bool IsFloatNumericText(std::string_view text);

// The text of a text value: its bytes up to the first NUL or its end.
std::string_view TextOfData(const void* data, uint32_t size);
