// The range filter elements: a keyword and two bounds, each included or not. Int ranges (local
// rating, author, version) hold 32-bit bounds; timestamp ranges (installation, modification)
// hold 64-bit ones. Both print as "[low,high)", the brackets telling whether each bound is
// included.
#pragma once

#include <cstdint>

#include "assetdb/filter_element.h"
#include "assetdb/filter_keywords.h"

template <typename Bound, uint32_t kType, WEXFilterKeywordFamily kFamily, uint32_t kDefaultCode>
class WEXFilterRangeElement final : public WEXFilterElement {
public:
    // The default keyword, bounds 0, neither included; callers set the fields.
    WEXFilterRangeElement() = default;

    void SetKeywordCode(uint32_t code) { code_ = code; }
    void SetRange(Bound low, Bound high, bool includesLow, bool includesHigh) {
        low_ = low;
        high_ = high;
        includesLow_ = includesLow;
        includesHigh_ = includesHigh;
    }

    uint32_t GetKeywordCode() const { return code_; }
    Bound GetLow() const { return low_; }
    Bound GetHigh() const { return high_; }
    bool IncludesLow() const { return includesLow_; }
    bool IncludesHigh() const { return includesHigh_; }

    Kiv::PString KeywordName() const override;
    // Prints the low 32 bits of each bound as signed decimals, so timestamps that differ only
    // above them print (and compare) alike.
    Kiv::PString ValueText() const override;
    uint32_t TypeCode() const override { return kType; }
    bool Write(TStream& stream) const override;
    bool Read(WEXFilterReader& reader) override;

private:
    uint32_t code_ = kDefaultCode;
    Bound low_ = 0;
    Bound high_ = 0;
    bool includesLow_ = false;
    bool includesHigh_ = false;
};

// Minimum and maximum; author by default.
using WEXFilterElementInt =
    WEXFilterRangeElement<int32_t, kWEXFilterTypeInt, WEXFilterKeywordFamily::kInt, kWEXAuthor>;
// From and to; installation timestamp by default.
using WEXFilterElementTimestamp =
    WEXFilterRangeElement<int64_t, kWEXFilterTypeTimestamp, WEXFilterKeywordFamily::kTimestamp,
                          kWEXInstallationTimestamp>;
