#include "platform/kiv/res/texture_file.h"

#include "platform/kiv/base/memory_file.h"
#include "platform/kiv/geom/jirf_file.h"

namespace Kiv {

namespace {

uint32_t Half(uint32_t side) {
    return side > 1 ? side / 2 : 1;
}

// Levels the chain of a level-0 size has, down to 1 by 1.
uint32_t ChainLength(uint32_t width, uint32_t height) {
    uint32_t n = 1;
    while (width > 1 || height > 1) {
        width = Half(width);
        height = Half(height);
        ++n;
    }
    return n;
}

bool LevelFits(const Bitmap& level, uint32_t format, uint32_t width, uint32_t height) {
    return level.GetWidth() == width && level.GetHeight() == height &&
           level.GetFormat() == TextureLevelBitmapFormat(format) &&
           level.GetDataSize() == TextureLevelBytes(format, width, height);
}

}  // namespace

bool TextureFormatHasAlpha(uint32_t format) {
    return format == kTextureFormatARGB8888 || format == kTextureFormatDXT3 ||
           format == kTextureFormatDXT5;
}

uint32_t TextureBlockBytes(uint32_t format) {
    switch (format) {
        case kTextureFormatDXT1:
        case kTextureFormatDXT1Other1:
        case kTextureFormatDXT1Other2:
        case kTextureFormatDXT1Other3:
            return 8;
        case kTextureFormatDXT3:
        case kTextureFormatDXT5:
            return 16;
        default:
            return 0;
    }
}

Bitmap::Format TextureLevelBitmapFormat(uint32_t format) {
    switch (format) {
        case kTextureFormatARGB8888:
            return Bitmap::kFormatARGB32;
        case kTextureFormatXRGB8888:
            return Bitmap::kFormatXRGB32;
        case kTextureFormatRGB888:
            return Bitmap::kFormatRGB24;
        default:
            return TextureBlockBytes(format) != 0 ? Bitmap::kFormatCompressed : Bitmap::kFormatNone;
    }
}

uint64_t TextureLevelBytes(uint32_t format, uint32_t width, uint32_t height) {
    if (const uint32_t block = TextureBlockBytes(format))
        return uint64_t{(width + 3) / 4} * ((height + 3) / 4) * block;
    return uint64_t{width} * height * Bitmap::BytesPerPixel(TextureLevelBitmapFormat(format));
}

bool WriteTextureFile(MeshOutput& out, uint32_t format,
                      const std::vector<std::vector<const Bitmap*>>& faces) {
    if (TextureLevelBitmapFormat(format) == Bitmap::kFormatNone) return false;
    if (faces.empty() || faces.size() > kTextureMaxFaces || faces[0].empty() ||
        faces[0][0] == nullptr)
        return false;
    const uint32_t levels = static_cast<uint32_t>(faces[0].size());
    const uint32_t width = faces[0][0]->GetWidth();
    const uint32_t height = faces[0][0]->GetHeight();
    if (levels > ChainLength(width, height) || width > Bitmap::kMaxSide ||
        height > Bitmap::kMaxSide)
        return false;

    JIRFWriteHeader header(out, kTextureFileType);
    out.WriteU32(kTextureFileVersion);
    out.WriteU32(format);
    out.WriteU32(static_cast<uint32_t>(faces.size()));
    out.WriteU32(levels);
    for (const std::vector<const Bitmap*>& face : faces) {
        if (face.size() != levels) return false;
        uint32_t w = width;
        uint32_t h = height;
        for (const Bitmap* level : face) {
            if (level == nullptr || !LevelFits(*level, format, w, h)) return false;
            out.WriteU32(w);
            out.WriteU32(h);
            out.WriteU32(format);
            out.WriteU32(static_cast<uint32_t>(level->GetDataSize()));
            out.Write(level->GetData(), level->GetDataSize());
            w = Half(w);
            h = Half(h);
        }
    }
    header.Close();
    return true;
}

TextureFileStatus ReadTextureFile(std::span<const uint8_t> bytes, TextureFileContents& out) {
    out = TextureFileContents();
    MemoryFile file;
    file.OpenBytes(bytes);
    JIRFFile container;
    if (!container.Open(file, kTextureFileType)) return TextureFileStatus::kNotATextureFile;
    uint32_t version = 0;
    if (container.Remaining(file) < 4 || !file.Read(version)) return TextureFileStatus::kBadData;
    if (version != kTextureFileVersion) return TextureFileStatus::kVersion;

    uint32_t head[3];  // format, faces, levels
    if (container.Remaining(file) < sizeof head || !file.Read(head))
        return TextureFileStatus::kBadData;
    const uint32_t format = head[0];
    const uint32_t faces = head[1];
    const uint32_t levels = head[2];
    if (TextureLevelBitmapFormat(format) == Bitmap::kFormatNone || faces == 0 ||
        faces > kTextureMaxFaces || levels == 0 || levels > kTextureMaxLevels)
        return TextureFileStatus::kBadData;

    TextureFileContents read;
    read.format = format;
    uint32_t width = 0;
    uint32_t height = 0;
    for (uint32_t f = 0; f < faces; ++f) {
        std::vector<std::unique_ptr<Bitmap>> face;
        for (uint32_t l = 0; l < levels; ++l) {
            uint32_t level[4];  // width, height, format, byte count
            if (container.Remaining(file) < sizeof level || !file.Read(level))
                return TextureFileStatus::kBadData;
            if (f == 0 && l == 0) {
                width = level[0];
                height = level[1];
                if (width == 0 || height == 0 || width > Bitmap::kMaxSide ||
                    height > Bitmap::kMaxSide || levels > ChainLength(width, height))
                    return TextureFileStatus::kBadData;
            }
            uint32_t w = width;
            uint32_t h = height;
            for (uint32_t i = 0; i < l; ++i) {
                w = Half(w);
                h = Half(h);
            }
            if (level[0] != w || level[1] != h || level[2] != format ||
                level[3] != TextureLevelBytes(format, w, h) || level[3] > container.Remaining(file))
                return TextureFileStatus::kBadData;
            std::unique_ptr<Bitmap> bitmap;
            if (TextureBlockBytes(format) != 0) {
                bitmap = Bitmap::MakeCompressed(w, h, level[3]);
            } else {
                bitmap = std::make_unique<Bitmap>(w, h, TextureLevelBitmapFormat(format));
            }
            if (!bitmap->IsValid() || bitmap->GetDataSize() != level[3] ||
                !file.Read(bitmap->GetData(), level[3]))
                return TextureFileStatus::kBadData;
            face.push_back(std::move(bitmap));
        }
        read.faces.push_back(std::move(face));
    }
    if (file.Tell() != container.End()) return TextureFileStatus::kBadData;
    out = std::move(read);
    return TextureFileStatus::kOk;
}

}  // namespace Kiv
