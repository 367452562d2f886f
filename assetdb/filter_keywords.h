// Keyword codes of the filter elements and the names they stand for. The daemon receives the
// code, not the name: the codes are part of the wire format. The names are what value texts
// and equality see.
#pragma once

#include <cstdint>
#include <span>

#include "platform/kiv/base/pstring.h"

// The element classes that carry a keyword code, each with its own numbering.
enum class WEXFilterKeywordFamily { kString, kInt, kTimestamp, kAssetID, kBool };

// String elements.
enum WEXStringKeyword : uint32_t {
    kWEXAssetName = 0,
    kWEXCategoryList = 1,
    kWEXEraList = 2,
    kWEXKeywordList = 3,
    kWEXRegionList = 4,
};

// Int elements.
enum WEXIntKeyword : uint32_t {
    kWEXLocalRating = 0,
    kWEXAuthor = 1,
    kWEXVersion = 2,
};

// Timestamp elements.
enum WEXTimestampKeyword : uint32_t {
    kWEXInstallationTimestamp = 0,
    kWEXModificationTimestamp = 1,
};

// Asset-id elements.
enum WEXAssetIDKeyword : uint32_t {
    kWEXAssetIDList = 0,
    kWEXProfileMap = 1,
};

// Bool elements: the criterion is that the property holds.
enum WEXBoolKeyword : uint32_t {
    kWEXLocal = 0,
    kWEXVendrix = 1,
    kWEXLocationUnknown = 2,
    kWEXLocallyAvailable = 3,
    kWEXUpToDate = 4,
    kWEXObsolete = 5,
    kWEXLocallyModified = 6,
    kWEXValidName = 7,
    kWEXOpenForEdit = 8,
    kWEXInArchive = 9,
    kWEXLocallyEnabled = 10,
    kWEXHasMissingDependencies = 11,
    kWEXHasFaultyDependencies = 12,
    kWEXFaulty = 13,
    kWEXFromTintwerk = 14,
    kWEXBuiltin = 15,
    kWEXListingPrivilege = 16,
    kWEXCommitPrivilege = 17,
    kWEXWarnings = 18,
    kWEXHasScriptSource = 19,
    kWEXCompatible = 20,
    kWEXInBaseContentSet = 21,
};

// The names of one family, indexed by code.
std::span<const char* const> WEXFilterKeywordNames(WEXFilterKeywordFamily family);

// The interned name of a code: "unknown" for a code outside the family's table.
Kiv::PString WEXFilterKeywordName(WEXFilterKeywordFamily family, uint32_t code);
