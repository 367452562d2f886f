// The content service's vocabulary for a listed asset: its asset type id (from its category
// codes), the folder name of that type, and the service's id of one category token (an era, a
// region code of the product or a two-letter country code).
#pragma once

#include <span>
#include <string_view>

struct WEXAssetInfo;

// The asset type id of the record's category codes: the first expression of the listing
// table that the codes satisfy; 21 (miscellaneous) when none does.
int ListingAssetTypeId(const WEXAssetInfo& info);
// The same for a category code list.
int ListingAssetTypeIdOfCodes(const char* categoryCodes);

// The category folder of an asset type id; "UNKNOWN" for an id the table does not name.
const char* ListingCategoryName(int assetTypeId);

// The service's id of one category token, matched exactly (letter case included); 0 for a
// token the table does not hold.
int ListingCategoryElementId(std::string_view token);

// Test support: the rows of the asset type table, in the order they are tried.
struct ListingTypeRow {
    const char* expression;
    int id;
};
std::span<const ListingTypeRow> ListingAssetTypeRows();
