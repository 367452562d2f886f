// The texture file reader over any bytes: it must refuse or read a texture whose every level
// has exactly the bytes its size and format need, never read outside its buffer; a texture it
// read must write back to the same bytes.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/kiv/res/texture_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 22)) return 0;
    Kiv::TextureFileContents read;
    if (Kiv::ReadTextureFile({data, size}, read) != Kiv::TextureFileStatus::kOk) {
        if (!read.faces.empty()) std::abort();
        return 0;
    }
    std::vector<std::vector<const Kiv::Bitmap*>> faces;
    for (const auto& face : read.faces) {
        std::vector<const Kiv::Bitmap*> levels;
        for (const auto& level : face) {
            if (level->GetDataSize() !=
                Kiv::TextureLevelBytes(read.format, level->GetWidth(), level->GetHeight()))
                std::abort();
            levels.push_back(level.get());
        }
        faces.push_back(std::move(levels));
    }
    Kiv::MeshOutput out;
    if (!Kiv::WriteTextureFile(out, read.format, faces)) std::abort();
    if (out.Bytes().size() != size || std::memcmp(out.Bytes().data(), data, size) != 0)
        std::abort();
    return 0;
}
