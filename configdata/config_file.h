// Configuration files on disk, in the text form ("txt") or the binary soup ("chump", "cdp",
// "cdp2"), chosen by an explicit format or else by the path's extension, ignoring case. Paths
// are taken inside an asset location when one is named (see foundation/file_utils.h), else as
// given. A file is replaced only by a complete new one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "configdata/tdb_tag_ref.h"

enum class ConfigFileFormat { kUnknown, kText, kBinary };

// The form named by `format` (a leading '.' skipped) or, when it is empty, by the extension of
// the path.
ConfigFileFormat GetConfigFileFormat(std::string_view path, std::string_view format = {});

// Writes the tree in the chosen form. False, with the file untouched, for an unknown format, a
// path the location refuses, or any failed write.
bool WriteConfigFile(const TDBTagRef& tree, std::string_view location, std::string_view path,
                     std::string_view format = {});

// Reads the file into `out` (emptied first). False when the format is unknown, the file
// cannot be opened or read, the binary reader refuses its header, or the text nests too deep.
// Otherwise true, and `out` holds what the file held (empty for a file that holds nothing).
// What the file reads as but is likely not what its author meant (a text that ends inside a
// container) is logged and, when `warnings` is given, appended to it as a line for the user
// that names the file. A file that was opened but could not be read sets `whyNot`, when given,
// to the reason, for the user ("containers nest deeper than 1000 levels at line 1001"); it is
// left empty when the file could not be found or opened.
bool ReadConfigFile(std::string_view location, std::string_view path, TDBTagRef& out,
                    std::string_view format = {}, std::vector<std::string>* warnings = nullptr,
                    std::string* whyNot = nullptr);

// Recovery of a text config written through a twin named like the path with the extension
// "tmp" ("config.txt" and "config.tmp"); both are read as text whatever their extension.
//   1. The main file reads: the twin, if any, is deleted; true.
//   2. Otherwise the twin reads: it is renamed over the main file; true.
//   3. Otherwise false, and both files are left as they are.
// The main file is replaced only by a twin that was read, never deleted for nothing.
bool ReadConfigFileWithFallback(std::string_view location, std::string_view path, TDBTagRef& out);

// The twin's path: the path with its extension replaced by "tmp" (added when it has none).
std::string ConfigTwinPath(std::string_view path);
