// A texture description and its picture over any bytes: the first two bytes give the length of
// the description text, the rest is the picture "p.tga" beside it. Loading must end in a
// texture or a refusal with a reason, never read outside its buffers; a loaded texture of a
// small picture must build its levels or refuse, and its levels must fit their format.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "materials/compress_ascii_resource.h"

namespace {

const std::string& Folder() {
    static const std::string folder = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string f = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                        "/halvex-texture-description-fuzz-" + std::to_string(::getpid());
        std::filesystem::create_directories(f);
        return f;
    }();
    return folder;
}

void WriteAll(const std::string& path, const uint8_t* data, size_t size) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1u << 20)) return 0;
    const size_t textLength = std::min<size_t>(size - 2, data[0] | data[1] << 8);
    const std::string description = Folder() + "/t.texture.txt";
    WriteAll(description, data + 2, textLength);
    WriteAll(Folder() + "/p.tga", data + 2 + textLength, size - 2 - textLength);

    static const Kiv::Options options("-Automip=none -Compression=auto");
    CompressAsciiResource texture(Kiv::PString(description), nullptr);
    texture.SetCreationOptions(&options);
    if (!texture.LoadTxt(description)) {
        if (texture.GetLoadError().empty() || texture.GetImage(0) != nullptr) std::abort();
        return 0;
    }
    uint32_t w = 0, h = 0;
    texture.GetSize(w, h);
    if (w == 0 || h == 0 || w > Kiv::kMaxTextureSide || h > Kiv::kMaxTextureSide) std::abort();
    if (uint64_t{w} * h <= 64 * 64 && texture.GetMipLock(false)) {
        for (uint32_t l = 0; l < texture.GetNumMipLevels(); ++l) {
            const Kiv::Bitmap* level = texture.GetMip(l, 0);
            if (level == nullptr ||
                level->GetDataSize() != Kiv::TextureLevelBytes(texture.GetFormat(),
                                                               level->GetWidth(),
                                                               level->GetHeight()))
                std::abort();
        }
    }
    return 0;
}
