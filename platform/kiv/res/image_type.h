// The engine's image types: "bmp", "tga" and "jpg" (with "jpeg"), plug-in types of the image
// family that read a picture file into a Kiv::Bitmap. The resource system registers them when
// it starts, so that start-up's look-up of the "bmp" type finds one.
#pragma once

#include <string_view>

#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/os/plugin.h"

namespace Kiv {

class BitmapImageType : public PluginBase {
public:
    explicit BitmapImageType(std::string_view extension)
        : PluginBase(ImagePluginFamily(), extension) {}
    // Reads the picture; false when it cannot be read (Bitmap::GetError tells why).
    bool Load(std::string_view path, Bitmap& out) const { return out.Load(path); }
};

// Registers the image types not registered yet.
void RegisterImageTypes();

}  // namespace Kiv
