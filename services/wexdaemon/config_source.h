// Reading an asset's config from its folder: "config.txt" (the text form, which the author
// edits and which therefore wins) or else "config.chump" (the binary soup).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"

namespace wexd {

struct AssetConfig {
    TDBTagRef root;
    std::string file;   // the file it was read from
    int64_t stamp = 0;  // its modification time in nanoseconds
    // Lines for the user about what the file reads as but likely did not mean (each names
    // the file).
    std::vector<std::string> warnings;
};

// The config of the asset folder: "config.txt" when present, else "config.chump". False (with
// a reason) when there is none or it cannot be read.
bool ReadAssetConfig(const std::string& folder, AssetConfig& out, std::string& error);
// The modification time (ns) of the config file ReadAssetConfig would read; 0 when none.
int64_t AssetConfigStamp(const std::string& folder);

// The config's "kuid" tag; the null KUID when it is missing or not a KUID.
KUID ConfigKUID(const TDBTagRef& root);
// The config's "username" text; empty when missing.
std::string ConfigUserName(const TDBTagRef& root);

}  // namespace wexd
