// The texture file: what a compressed texture resource saves ("<name>.texture") and the engine
// reads back. Our layout, inside the "JIRF" container (all integers little-endian u32):
//
//   "JIRF", size, type 0x46544D4D (the bytes "MMTF")
//   version 1
//   format     the texture format code of every level (kTextureFormat... below)
//   faces      1 to 6
//   levels     levels per face, 1 to kTextureMaxLevels; level n is level 0 halved n times
//              (a side of 1 stays 1), and no level is added after a 1 by 1 one
//   per face, per level: width, height, format (the same code again), byte count, the bytes
//
// The byte count must be exactly what the format needs for that size: 4 bytes a pixel for
// codes 1 and 3, 3 for code 5, and for the block codes one 8-byte (DXT1) or 16-byte (DXT3,
// DXT5) block per 4 by 4 pixels or part of one. The container must end right after the last
// level. Level 0's sides are at most Bitmap::kMaxSide.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/geom/mesh_file_support.h"

namespace Kiv {

constexpr uint32_t kTextureFileType = 0x46544D4D;
constexpr uint32_t kTextureFileVersion = 1;
constexpr uint32_t kTextureMaxFaces = 6;
constexpr uint32_t kTextureMaxLevels = 15;  // 16384 down to 1

// The engine's texture format numbers that a texture resource stores.
enum TextureFormat : uint32_t {
    kTextureFormatARGB8888 = 1,  // uncompressed with alpha
    kTextureFormatXRGB8888 = 3,  // uncompressed, opaque
    kTextureFormatRGB888 = 5,    // uncompressed, three bytes a pixel
    kTextureFormatDXT1 = 10,     // DXT1 (or DXT1a: the same blocks)
    kTextureFormatDXT3 = 11,
    kTextureFormatDXT5 = 12,
    // Three more codes of the engine whose levels are DXT1 blocks.
    kTextureFormatDXT1Other1 = 25,
    kTextureFormatDXT1Other2 = 26,
    kTextureFormatDXT1Other3 = 27,
};

// True for the formats whose pixels carry alpha (8888 with alpha, DXT3, DXT5).
bool TextureFormatHasAlpha(uint32_t format);
// Bytes of one 4 by 4 block of a block format; 0 for any other code.
uint32_t TextureBlockBytes(uint32_t format);
// The bitmap format of the levels of a texture format (kFormatCompressed for block formats),
// or kFormatNone for an unknown code.
Bitmap::Format TextureLevelBitmapFormat(uint32_t format);
// The bytes a level of that size needs in that format; 0 for an unknown code.
uint64_t TextureLevelBytes(uint32_t format, uint32_t width, uint32_t height);

// The levels of every face, largest first.
struct TextureFileContents {
    uint32_t format = 0;
    std::vector<std::vector<std::unique_ptr<Bitmap>>> faces;
};

// Appends the texture file to the output. False (and the output holds a partial file that must
// not be saved) when the faces do not make a texture of the layout above: a level whose size,
// bitmap format or byte count does not fit the format and its place in the chain, no face, or
// faces that differ.
bool WriteTextureFile(MeshOutput& out, uint32_t format,
                      const std::vector<std::vector<const Bitmap*>>& faces);

enum class TextureFileStatus {
    kOk,
    kNotATextureFile,  // no "JIRF" container of the texture type
    kVersion,          // a version this reader does not know
    kBadData,          // a count, size or format outside the layout, or a size that lies
};
// Reads a whole texture file from memory. On any status but kOk `out` is left empty.
TextureFileStatus ReadTextureFile(std::span<const uint8_t> bytes, TextureFileContents& out);

}  // namespace Kiv
