#include "platform/kiv/display/display.h"

namespace Kiv {

bool Display::CheckExtensionString(std::string_view list) const {
    size_t i = 0;
    while (i < list.size()) {
        while (i < list.size() && (list[i] == ' ' || list[i] == '\t'))
            ++i;
        size_t start = i;
        while (i < list.size() && list[i] != ' ' && list[i] != '\t')
            ++i;
        if (i > start && extensions_.find(list.substr(start, i - start)) == extensions_.end())
            return false;
    }
    return true;
}

void Display::ConvertColorArray(uint32_t* colors, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t c = colors[i];
        colors[i] = (c & 0xFF00FF00u) | ((c >> 16) & 0xFFu) | ((c & 0xFFu) << 16);
    }
}

}  // namespace Kiv
