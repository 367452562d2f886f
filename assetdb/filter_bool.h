// The bool filter element: a keyword naming a property of the asset (local, installed, faulty,
// ...); the criterion is that the property holds, so its value text is always "true".
#pragma once

#include "assetdb/filter_element.h"
#include "assetdb/filter_keywords.h"

class WEXFilterElementBool : public WEXFilterElement {
public:
    // The state a read starts from is locally-available.
    explicit WEXFilterElementBool(uint32_t keywordCode = kWEXLocallyAvailable)
        : code_(keywordCode) {}

    uint32_t GetKeywordCode() const { return code_; }

    Kiv::PString KeywordName() const override;
    Kiv::PString ValueText() const override;
    uint32_t TypeCode() const override { return kWEXFilterTypeBool; }
    bool Write(TStream& stream) const override;
    bool Read(WEXFilterReader& reader) override;

private:
    uint32_t code_;
};
