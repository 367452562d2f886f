// The string filter element: a keyword (asset name, category, era, keyword or region list)
// and a text value. An asset name given between double quotes asks for the exact name.
#pragma once

#include "assetdb/filter_element.h"
#include "assetdb/filter_keywords.h"

class WEXFilterElementString : public WEXFilterElement {
public:
    // The state a read starts from: asset-name, the empty text.
    WEXFilterElementString();
    // For asset-name only, a text of two or more characters that begins and ends with '"'
    // loses those two quotes and becomes exact.
    WEXFilterElementString(uint32_t keywordCode, const Kiv::PString& text);

    uint32_t GetKeywordCode() const { return code_; }
    const Kiv::PString& GetValue() const { return value_; }
    bool IsExact() const { return exact_; }

    Kiv::PString KeywordName() const override;
    // The value with '\', '(' and ')' escaped by a backslash and bytes below 32 as a
    // backslash and the byte plus 64.
    Kiv::PString ValueText() const override;
    uint32_t TypeCode() const override { return kWEXFilterTypeString; }
    bool Write(TStream& stream) const override;
    bool Read(WEXFilterReader& reader) override;

private:
    uint32_t code_ = kWEXAssetName;
    Kiv::PString value_;
    bool exact_ = false;
};
