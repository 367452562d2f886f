// The build an asset's configuration was made for. Configurations name it in "halvex-build";
// older ones that do not are placed by what they hold: scripts or a mesh table mean build 2.0,
// anything else 1.3.
#pragma once

#include "configdata/tdb_tag_ref.h"

// "halvex-build" plus 0.005 (so that comparisons in whole hundredths come out right) when it
// lies in [1.0, 100.0); otherwise 2.0 for a configuration with a "mesh-table", "class" or
// "scriptclass" child, else 1.3.
float GetAssetBuildVersion(const TDBTagRef& config);
