// What the daemon keeps about one installed asset, and the KUID form of its folder's name.
// Folders are the truth of what is installed; a record adds what only the daemon knows (status
// bits, the favourite flag, keywords, the edit state, the validation result) and caches what it
// read from the asset's config (names, kind, categories, build, dependencies), with the
// config's time stamp to tell when that cache is stale, so that the asset-information request
// and the search answer without reading a single config.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "configdata/kuid.h"

namespace wexd {

// Validation results.
constexpr int32_t kValidationUnknown = -1;

// The stored status bits: A.2, the asset was changed by a commit since it was installed (the
// store sets it itself); A.5, it was installed from the content service (the archive install
// marks it; installing a folder over it clears it). Every other status bit is worked out when
// it is asked for.
constexpr uint8_t kStatusALocallyModified = 0x04;
constexpr uint8_t kStatusAFromService = 0x20;

// Which config fields a record caches; records cached by an older daemon are read again at
// start-up.
constexpr int32_t kRecordCacheVersion = 1;

// What a record caches from the asset's config.
struct ConfigFacts {
    std::string name;           // "username"
    std::string title;          // "name"
    std::string kind;           // "kind"
    std::string categoryClass;  // "category-class" as written
    std::string region;         // "category-region"
    std::string era;            // "category-era"
    float build = 0.0f;         // what GetAssetBuildVersion computes
    bool read = false;          // the config could be read (build is known)
    bool faulty = false;        // unreadable, or naming another asset's KUID
    bool hasScript = false;     // it names a "script"
    std::vector<KUID> dependencies;
    std::vector<KUID> obsoletes;

    bool operator==(const ConfigFacts&) const = default;
};

struct AssetRecord {
    KUID kuid;
    ConfigFacts config;   // as last read from the asset's folder
    int32_t cache = 0;    // kRecordCacheVersion of the daemon that read it; 0 never read
    uint8_t statusA = 0;  // status bit groups as the asset-information reply carries
    uint8_t statusB = 0;  // them; the handlers give the bits their meaning
    uint8_t statusC = 0;
    uint8_t statusD = 0;
    bool favorite = false;
    std::string keywords;
    bool installed = false;    // its folder is in "local/" (a new asset may have only its copy)
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
