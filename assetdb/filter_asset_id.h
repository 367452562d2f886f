// The asset-id filter element: a keyword (asset-id, profile-map) and a set of KUIDs, kept
// without duplicates in KUID order, so that the same KUIDs given in any order write, print and
// compare alike.
#pragma once

#include <span>
#include <vector>

#include "assetdb/filter_element.h"
#include "assetdb/filter_keywords.h"
#include "configdata/kuid.h"
#include "configdata/kuid_list.h"

class WEXFilterElementAssetID : public WEXFilterElement {
public:
    // asset-id with an empty set.
    WEXFilterElementAssetID() = default;
    // asset-id with the set of the listed KUIDs.
    explicit WEXFilterElementAssetID(const KUIDBlockList& kuids);

    void SetKeywordCode(uint32_t code) { code_ = code; }
    // Adds one KUID; one already in the set is kept once.
    void Insert(const KUID& kuid);

    uint32_t GetKeywordCode() const { return code_; }
    // The set, in KUID order.
    std::span<const KUID> GetKUIDs() const { return kuids_; }

    Kiv::PString KeywordName() const override;
    // The KUIDs' text forms joined by ", ".
    Kiv::PString ValueText() const override;
    uint32_t TypeCode() const override { return kWEXFilterTypeAssetID; }
    bool Write(TStream& stream) const override;
    bool Read(WEXFilterReader& reader) override;
    // Another asset-id element with the same keyword and the same KUIDs.
    bool Equals(const WEXFilterElement& other) const override;

private:
    void SortUnique();

    uint32_t code_ = kWEXAssetIDList;
    // Sorted and without duplicates: a set, stored flat because sets of many thousand KUIDs
    // are read and written whole.
    std::vector<KUID> kuids_;
};
