#include "platform/kiv/display/display.h"

#include "platform/kiv/base/text.h"
#include "platform/kiv/display/program_managers.h"

namespace Kiv {

Display::Display(RenderKernel* kernel)
    : kernel_(kernel),
      vertexPrograms_(std::make_shared<VertexProgramManager>()),
      combiners_(std::make_shared<TextureCombinerManager>()) {}

Display::~Display() = default;

bool Display::CheckExtensionString(std::string_view list) const {
    for (std::string_view word : SplitWords(list))
        if (extensions_.find(word) == extensions_.end()) return false;
    return true;
}

void Display::ConvertColorArray(uint32_t* colors, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t c = colors[i];
        colors[i] = (c & 0xFF00FF00u) | ((c >> 16) & 0xFFu) | ((c & 0xFFu) << 16);
    }
}

}  // namespace Kiv
