// The data root and the asset locations inside the installation.
//
// The program works inside the product's installation: the install root, and the data root
// where all writable data lives ("UserData" under the install root). These are the two
// process-wide folder records; start-up finds them (assetdb/data_folders.h) and sets them here,
// where the file helpers below this layer can read them; tests set them directly. A location is
// a named data folder ("local", "editing", "backups", ...); the helpers that work inside a
// location find its folder here.
#pragma once

#include <string_view>

#include "platform/kiv/base/path.h"

// Sets both records, kept as given (letter case included: files are opened by them); an empty
// path means "not known yet".
void SetFolderRoots(const Kiv::File::Path& installRoot, const Kiv::File::Path& dataRoot);
// The install root and the data root, each empty while not set.
Kiv::File::Path GetInstallRoot();
Kiv::File::Path GetDataRoot();

// The folder of a location: "local", "original", "backups", "editing", "cache" and "settings"
// (letter case ignored) are folders of the data root, every other name a folder of the install
// root. Empty when that root is not set or the name is not a single folder name (a trailing
// separator is allowed, as in "builtin\"; "", ".", ".." and names holding a separator are
// refused).
Kiv::File::Path GetDataFolder(std::string_view location);

// True when `path` lies strictly inside `folder`: both are normalised and compared ignoring
// letter case, as the product's files were named on a case-insensitive file system.
bool IsPathInside(std::string_view path, std::string_view folder);

// The full path of `path` inside the location's folder: a relative path is joined to the
// folder, an absolute one is taken as it is. Empty when the location has no folder or the
// result, once normalised, is not strictly inside the folder.
Kiv::File::Path ResolveInLocation(std::string_view location, std::string_view path);
