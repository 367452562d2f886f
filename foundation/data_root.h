// The data root and the asset locations inside the installation.
//
// All writable data lives under the data root ("UserData" under the install root). Start-up
// finds it; until the install-folder code owns the setting, this one process-wide slot holds
// it, and tests set it. A location is a named data folder ("local", "editing", "backups", ...);
// the helpers that work inside a location find its folder here.
#pragma once

#include <string_view>

#include "platform/kiv/base/path.h"

// Sets the data root, kept as given; an empty path means "not known yet".
void SetDataRoot(const Kiv::File::Path& root);
// The data root, empty while none is set.
Kiv::File::Path GetDataRoot();

// The folder of a location, or an empty path when the data root is not set or the name is not a
// single folder name (a trailing separator is allowed, as in "builtin\"; "", ".", ".." and names
// holding a separator are refused).
Kiv::File::Path GetDataFolder(std::string_view location);

// True when `path` lies strictly inside `folder`: both are normalised and compared ignoring
// letter case, as the product's files were named on a case-insensitive file system.
bool IsPathInside(std::string_view path, std::string_view folder);

// The full path of `path` inside the location's folder: a relative path is joined to the
// folder, an absolute one is taken as it is. Empty when the location has no folder or the
// result, once normalised, is not strictly inside the folder.
Kiv::File::Path ResolveInLocation(std::string_view location, std::string_view path);
