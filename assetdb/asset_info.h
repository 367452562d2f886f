// WEXAssetInfo: the per-asset record the daemon returns for an asset-information request: the
// asset's KUID, names and category texts, its status bits and the figures the listings and the
// script natives read. Its wire form, and what the daemon puts in each field, are in
// asset_info_format.h.
#pragma once

#include <cstdint>

#include "configdata/kuid.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

// Status bits as one word: status A in bits 0-7, status B in bits 8-15.
enum WEXAssetStatus : uint32_t {
    kWEXStatusUnknown = 0x0001,              // A.0: the database does not hold the asset
    kWEXStatusLocallyModified = 0x0004,      // A.2
    kWEXStatusInstalled = 0x0008,            // A.3: installed locally
    kWEXStatusBuiltIn = 0x0010,              // A.4
    kWEXStatusVendrixItem = 0x0020,          // A.5: installed from the content service
    kWEXStatusOnVendrix = 0x0040,            // A.6: offered by the content service
    kWEXStatusArchived = 0x0080,             // A.7
    kWEXStatusOpenForEdit = 0x0100,          // B.0
    kWEXStatusFaulty = 0x0200,               // B.1
    kWEXStatusMissingDependencies = 0x0800,  // B.3
    kWEXStatusScriptCacheBlocked = 0x2000,   // B.5: its scripts must not be cached
};

// Field groups a request asks the daemon to fill.
enum WEXAssetInfoMask : uint32_t {
    kWEXInfoNames = 1,
    kWEXInfoCategories = 4,
    kWEXInfoStatus = 8,
    kWEXInfoEverything = 0xFFFFFFFF,
};

struct WEXAssetInfo {
    KUID asset;                      // 1
    Kiv::String name;                // 2 the asset's (localised) name
    Kiv::String region;              // 3 category-region text
    Kiv::String keywords;            // 4
    uint8_t statusA = 1;             // 5 (bit 0: unknown, until the daemon says)
    uint8_t statusB = 0;             // 6
    uint8_t statusC = 0;             // 7 three bits
    uint32_t authorId = 0;           // 8
    Kiv::PString authorName;         // 9
    Kiv::String era;                 // 10 category-era text
    uint32_t fileSize = 0xFFFFFFFF;  // 11 the installed folder's size in bytes
    Kiv::PString categoryCodes;      // 12
    Kiv::String userName;            // 13
    uint8_t statusD = 0;             // 14 three bits
    uint8_t rating = kNoRating;      // 15
    float build = 0.0f;              // 16
    uint64_t installedAt = 0;        // 17
    uint64_t modifiedAt = 0;         // 18
    KUID parent;                     // 19
    bool buildKnown = false;         // 20

    static constexpr uint8_t kNoRating = 255;

    // Status A and B as one word (WEXAssetStatus bits).
    uint32_t GetStatus() const { return statusA | (uint32_t{statusB} << 8); }
    void SetStatus(uint32_t word) {
        statusA = static_cast<uint8_t>(word);
        statusB = static_cast<uint8_t>(word >> 8);
    }
    bool Has(WEXAssetStatus bit) const { return (GetStatus() & bit) != 0; }
    // The daemon holds the asset.
    bool IsKnown() const { return !Has(kWEXStatusUnknown) && !asset.IsNull(); }

    bool operator==(const WEXAssetInfo&) const = default;
};
