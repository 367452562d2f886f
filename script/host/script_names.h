// The script and class names an asset's configuration gives. An asset is untrusted, and these
// names go into file names and into generated source, so a name holding a quote, a line end or
// a path separator is refused outright; the primary file name is only ever compared with the
// names of files found in the asset's own folder.
#pragma once

#include <string>
#include <string_view>

inline constexpr const char* kUnsafeScriptName =
    "The asset's script or class name holds a quote, a line end or a path separator.";

// No '"', '\'', CR, LF, '/', '\\' or NUL.
bool IsSafeScriptName(std::string_view name);

// The configured script name with its extension set to "gs" ("main" and "main.gse" both give
// "main.gs").
std::string PrimaryScriptFile(std::string_view script);
