// The engine's plug-in loader: opens an image (a shared object, or the running program's own
// image when none is named), finds the one function a plug-in image exports, "KivGetPlugins",
// and calls it once; the call registers the image's plug-in types (plugin.h). An image that
// cannot be opened, or has no such function, is a clear error and registers nothing. An image
// is called once however often it is loaded; it stays open for the rest of the run, since the
// types it registered run its code.
#pragma once

#include <string>
#include <string_view>

namespace Kiv {

// The exported entry of a plug-in image.
inline constexpr const char* kPluginEntryName = "KivGetPlugins";
using PluginEntry = void (*)();

// True when the image's entry was called (now or by an earlier load). False with the reason
// in `error` (when given).
bool LoadPluginImage(std::string_view path, std::string* error = nullptr);

}  // namespace Kiv
