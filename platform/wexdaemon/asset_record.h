// What the daemon keeps about one installed asset, and the KUID form of its folder's name.
// Folders are the truth of what is installed; a record adds what only the daemon knows (status
// bits, the favourite flag, keywords, the edit state, the validation result) and caches what it
// read from the asset's config (its name), with the config's time stamp to tell when that
// cache is stale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "configdata/kuid.h"

namespace wexd {

// Validation results.
constexpr int32_t kValidationUnknown = -1;

struct AssetRecord {
    KUID kuid;
    std::string name;     // the config's "username", as last read
    uint8_t statusA = 0;  // status bit groups as the asset-information reply carries
    uint8_t statusB = 0;  // them; the handlers give the bits their meaning
    uint8_t statusC = 0;
    uint8_t statusD = 0;
    bool favorite = false;
    std::string keywords;
    bool openForEdit = false;  // an editing copy exists in "editing/<folder name>"
    int32_t validation = kValidationUnknown;
    int64_t configStamp = 0;  // modification time (ns) of the config the cache was read from
    int64_t installedAt = 0;  // seconds since 1970 (UTC) when first installed, 0 unknown
    int64_t modifiedAt = 0;   // seconds since 1970 (UTC) of the last install or commit

    bool operator==(const AssetRecord&) const = default;
};

// The name of an asset's folder: the KUID's display form ("kuid 1 2", "kuid2 1 2 3").
std::string AssetFolderName(const KUID& kuid);
// The KUID a folder name stands for: only names that AssetFolderName gives back exactly.
std::optional<KUID> KUIDFromFolderName(std::string_view name);

}  // namespace wexd
