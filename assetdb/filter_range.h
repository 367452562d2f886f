// The range filter elements: a keyword and bounds, each bound included or not. Int ranges
// (local rating, author, version) hold 32-bit bounds; timestamp ranges (installation,
// modification) hold 64-bit ones. Both print as "[min,max)" with the bracket telling whether
// the bound is included.
#pragma once

#include "assetdb/filter_element.h"
#include "assetdb/filter_keywords.h"

class WEXFilterElementInt : public WEXFilterElement {
public:
    // Author, bounds 0, neither included; callers set the fields.
    WEXFilterElementInt() = default;

    void SetKeywordCode(uint32_t code) { code_ = code; }
    void SetRange(int32_t minimum, int32_t maximum, bool includesMinimum, bool includesMaximum);

    uint32_t GetKeywordCode() const { return code_; }
    int32_t GetMinimum() const { return minimum_; }
    int32_t GetMaximum() const { return maximum_; }
    bool IncludesMinimum() const { return includesMinimum_; }
    bool IncludesMaximum() const { return includesMaximum_; }

    Kiv::PString KeywordName() const override;
    Kiv::PString ValueText() const override;
    uint32_t TypeCode() const override { return kWEXFilterTypeInt; }
    bool Write(TStream& stream) const override;
    bool Read(WEXFilterReader& reader) override;

private:
    uint32_t code_ = kWEXAuthor;
    int32_t minimum_ = 0;
    int32_t maximum_ = 0;
    bool includesMinimum_ = false;
    bool includesMaximum_ = false;
};

class WEXFilterElementTimestamp : public WEXFilterElement {
public:
    // Installation timestamp, bounds 0, neither included; callers set the fields.
    WEXFilterElementTimestamp() = default;

    void SetKeywordCode(uint32_t code) { code_ = code; }
    void SetRange(int64_t from, int64_t to, bool includesFrom, bool includesTo);

    uint32_t GetKeywordCode() const { return code_; }
    int64_t GetFrom() const { return from_; }
    int64_t GetTo() const { return to_; }
    bool IncludesFrom() const { return includesFrom_; }
    bool IncludesTo() const { return includesTo_; }

    Kiv::PString KeywordName() const override;
    // Prints the low 32 bits of each bound, so bounds that differ only above them print (and
    // compare) alike.
    Kiv::PString ValueText() const override;
    uint32_t TypeCode() const override { return kWEXFilterTypeTimestamp; }
    bool Write(TStream& stream) const override;
    bool Read(WEXFilterReader& reader) override;

private:
    uint32_t code_ = kWEXInstallationTimestamp;
    int64_t from_ = 0;
    int64_t to_ = 0;
    bool includesFrom_ = false;
    bool includesTo_ = false;
};
