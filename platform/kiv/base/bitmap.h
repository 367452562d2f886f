// Kiv::Bitmap: an image in memory, as the engine hands images between its loaders, its
// texture code and the program's texture compression.
//
// Pixel formats (the engine's numbering):
//   1 kFormatRGB24       3 bytes a pixel: blue, green, red
//   2 kFormatARGB32      4 bytes a pixel: blue, green, red, alpha
//   3 kFormatXRGB32      the same layout; the alpha byte means nothing
//   5 kFormatCompressed  an opaque block of compressed data (one level of a block-compressed
//                        texture); width and height say what it covers, the size is its own
// Rows run top to bottom without padding. Sides are capped at kMaxSide, so a width times a
// height times four always fits in memory sizes the program can have.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace Kiv {

class Bitmap {
public:
    enum Format : uint32_t {
        kFormatNone = 0,
        kFormatRGB24 = 1,
        kFormatARGB32 = 2,
        kFormatXRGB32 = 3,
        kFormatCompressed = 5,
    };
    static constexpr uint32_t kMaxSide = 8192;

    Bitmap() = default;
    // A zeroed bitmap of an uncompressed format; an empty one (IsValid false) for a side of 0
    // or over kMaxSide or another format.
    Bitmap(uint32_t width, uint32_t height, Format format);
    // A bitmap of compressed data of `size` bytes (zeroed) covering width by height pixels;
    // empty for a side of 0 or over kMaxSide.
    static std::unique_ptr<Bitmap> MakeCompressed(uint32_t width, uint32_t height, size_t size);

    bool IsValid() const { return format_ != kFormatNone; }
    uint32_t GetWidth() const { return width_; }
    uint32_t GetHeight() const { return height_; }
    Format GetFormat() const { return format_; }
    uint8_t* GetData() { return data_.data(); }
    const uint8_t* GetData() const { return data_.data(); }
    size_t GetDataSize() const { return data_.size(); }

    // Bytes a pixel of an uncompressed format takes: 3 or 4; 0 for the others.
    static uint32_t BytesPerPixel(Format format);
    static bool IsUncompressed(Format format) { return BytesPerPixel(format) != 0; }

    // A copy in another uncompressed format. To 32 bits, RGB24 gains an opaque alpha; XRGB32
    // keeps its alpha bytes (meaningless in that format). Null for a compressed bitmap or
    // format.
    std::unique_ptr<Bitmap> Convert(Format format) const;

    // A copy of this uncompressed bitmap at another size, in the same format: each new pixel is
    // the average of the source pixels its area covers (at least the one it falls on), so a
    // halving averages 2 by 2 blocks. Null for a compressed bitmap or a side of 0 or over
    // kMaxSide.
    std::unique_ptr<Bitmap> Scale(uint32_t width, uint32_t height) const;

private:
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    Format format_ = kFormatNone;
    std::vector<uint8_t> data_;
};

}  // namespace Kiv
