// The paths the validator reaches inside an asset: the data folder of the asset's location, and
// the files a configuration or texture description names. A downloaded asset is untrusted, so a
// name that would leave the asset's folder (an absolute path, a ".." component) is treated as
// missing and never opened or probed.
#pragma once

#include <string>
#include <string_view>

#include "platform/kiv/base/path.h"
#include "platform/kiv/base/pstring.h"

namespace DUVLib {

// The data folder of a location ("local", "editing"...); empty for no location or one that
// has no folder.
std::string LocationDataFolder(const Kiv::PString& location);

// base joined with path; a path that is absolute stands on its own.
Kiv::File::Path JoinAssetPath(std::string_view base, std::string_view path);

// True when a name given by an asset stays inside the folder it is read from: not absolute,
// and no component is "..".
bool StaysInsideAsset(std::string_view name);

// The asset folder under validation as the checks join names to it: the location's data
// folder joined with the data manager's asset folder.
Kiv::File::Path AssetFolderPath();

}  // namespace DUVLib
