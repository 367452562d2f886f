// The validator's doors: ValidateAssetConfig reads one asset's configuration, turns away assets
// of a newer build and two obsolete kinds, checks the rest with a root container, and copies
// every error and warning into the caller's results log with the asset's KUID; then
// CheckAssetTextures exports the checked container, runs its container rules, checks the
// asset's texture descriptions and images, and reports the same way. The command host's
// validation job calls both, in that order, under the compile mutex.
#pragma once

#include <string_view>

#include "platform/kiv/base/path.h"
#include "platform/kiv/base/pstring.h"

class ResultsLog;

namespace DUVLib {

class Container;

// The newest build this program knows, in hundredths.
constexpr int kNewestBuild = 360;

// source: the location (resource database) the asset's files are read through; config path:
// the asset's "config.chump" or "config.txt"; container: the root to check with, or null for
// one made and deleted here. True when the configuration passed the check.
bool ValidateAssetConfig(const Kiv::PString& source, Kiv::File::Path configPath, ResultsLog& log,
                         Container* container);

// The export, container rules and texture checks of the container ValidateAssetConfig checked.
bool CheckAssetTextures(Container& container, ResultsLog& log);

}  // namespace DUVLib
