// The stand-in content service's catalogue: every ".cdp" archive below the service's folder
// (symbolic links are never followed), each asset entry of each listed with what the search
// page and the asset requests need. An archive that cannot be opened is logged and skipped.
// The folder is walked on every look; only archives that are new or changed (size or time) are
// opened again, so the catalogue follows the folder as it changes.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

#include "configdata/kuid.h"
#include "services/wexdaemon/asset_record.h"

namespace wexd {

struct ListedAsset {
    KUID kuid;
    ConfigFacts facts;    // from its archived config (dependencies as the archive builder
                          // collects them)
    std::string archive;  // the archive that holds it
    uint64_t archiveSize = 0;
};

class VendrixListing {
public:
    std::map<KUID, ListedAsset> assets;

    const ListedAsset* Find(const KUID& kuid) const;
    // The highest version listed of the KUID's user and content id; null when none.
    const ListedAsset* Newest(const KUID& kuid) const;
};

// The record of an asset the service lists and this machine does not hold: known, not
// installed, its facts from its archived config.
AssetRecord ListedRecord(const ListedAsset& asset);

class VendrixCatalogue {
public:
    // The catalogue of the folder as it is now (an empty one when the folder is empty or
    // cannot be read).
    std::shared_ptr<const VendrixListing> Look(const std::string& folder);

private:
    struct Seen {
        uint64_t size = 0;
        int64_t stamp = 0;
        std::vector<ListedAsset> assets;
    };
    std::mutex mutex_;
    std::string folder_;
    std::map<std::string, Seen> archives_;
    std::shared_ptr<const VendrixListing> listing_ = std::make_shared<VendrixListing>();
};

}  // namespace wexd
