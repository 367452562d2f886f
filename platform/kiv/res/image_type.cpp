#include "platform/kiv/res/image_type.h"

#include <memory>

namespace Kiv {

void RegisterImageTypes() {
    for (const char* extension : {"bmp", "tga", "jpg", "jpeg"})
        PluginBase::RegisterPluginType(std::make_shared<BitmapImageType>(extension));
}

}  // namespace Kiv
