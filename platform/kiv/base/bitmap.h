// Kiv::Bitmap: an image in memory, as the engine hands images between its loaders, its
// texture code and the program's texture compression.
//
// Loading: one image file decoded (BMP, TGA or JPEG) through stb_image. Image files come with
// downloaded assets, so they are untrusted: the header's dimensions are capped before anything
// is allocated, a file too large is refused unread, and a file that ends before the decoder has
// what its header promised is refused as truncated rather than padded out. A loaded image is
// 32-bit: kFormatARGB32 when the file has an alpha channel, else kFormatXRGB32.
//
// Pixel formats (the engine's numbering); rows run top to bottom without padding:
//   1 kFormatRGB24       3 bytes a pixel: red, green, blue
//   2 kFormatARGB32      4 bytes a pixel: red, green, blue, alpha
//   3 kFormatXRGB32      the same layout; the alpha byte means nothing
//   5 kFormatCompressed  an opaque block of compressed data (one level of a block-compressed
//                        texture); width and height say what it covers, the size is its own
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace Kiv {

class Bitmap {
public:
    // Caps: a side, the whole picture, and the file itself.
    static constexpr uint32_t kMaxSide = 16384;
    static constexpr uint64_t kMaxPixels = uint64_t{1} << 26;  // 64 M pixels, 256 MB decoded
    static constexpr uint64_t kMaxFileBytes = uint64_t{1} << 28;

    enum Format : uint32_t {
        kFormatNone = 0,
        kFormatRGB24 = 1,
        kFormatARGB32 = 2,
        kFormatXRGB32 = 3,
        kFormatCompressed = 5,
    };

    enum class Status {
        kOk,
        kUnreadable,  // the file cannot be opened or read
        kTooLarge,    // over one of the caps
        kBadFormat,   // not an image of a known kind, or damaged
        kTruncated,   // ends before the picture does
    };

    Bitmap() = default;
    // A zeroed bitmap of an uncompressed format; an empty one (IsValid false) for a side of 0,
    // a picture over the caps, or another format.
    Bitmap(uint32_t width, uint32_t height, Format format);
    // A bitmap of compressed data of `size` bytes (zeroed) covering width by height pixels;
    // empty for a side of 0 or over kMaxSide.
    static std::unique_ptr<Bitmap> MakeCompressed(uint32_t width, uint32_t height, size_t size);

    // Decodes the file (the path as the engine's files take it: '\' read as '/', letter case
    // of missing components looked up). False on any failure; the bitmap is then empty.
    // Without keepPixels the picture is decoded whole (so a damaged one is still refused) but
    // only its size is kept.
    bool Load(std::string_view path, bool keepPixels = true);
    // The same over bytes in memory.
    bool LoadFromMemory(const void* data, size_t size, bool keepPixels = true);
    void Clear();

    Status GetStatus() const { return status_; }
    // A short reason for the last failure ("" after success).
    const char* GetError() const { return error_; }
    bool IsValid() const { return format_ != kFormatNone; }
    uint32_t GetWidth() const { return width_; }
    uint32_t GetHeight() const { return height_; }
    Format GetFormat() const { return format_; }
    // The channels the loaded file holds (1 grey, 2 grey and alpha, 3 colour, 4 colour and
    // alpha); 0 for a bitmap that was not loaded.
    int GetFileChannels() const { return channels_; }
    // The pixels (or compressed bytes) in the bitmap's format.
    const std::vector<uint8_t>& GetPixels() const { return pixels_; }
    uint8_t* GetData() { return pixels_.data(); }
    const uint8_t* GetData() const { return pixels_.data(); }
    size_t GetDataSize() const { return pixels_.size(); }

    // Bytes a pixel of an uncompressed format takes: 3 or 4; 0 for the others.
    static uint32_t BytesPerPixel(Format format);

    // A copy in another uncompressed format. To 32 bits, RGB24 gains an opaque alpha; XRGB32
    // keeps its alpha bytes (meaningless in that format). Null for a compressed bitmap or
    // format.
    std::unique_ptr<Bitmap> Convert(Format format) const;

    // A copy of this uncompressed bitmap at another size, in the same format: each new pixel is
    // the average of the source pixels its area covers (at least the one it falls on), so a
    // halving averages 2 by 2 blocks. Null for a compressed bitmap or a size it cannot have.
    std::unique_ptr<Bitmap> Scale(uint32_t width, uint32_t height) const;

private:
    bool Fail(Status status, const char* error);

    Status status_ = Status::kUnreadable;
    const char* error_ = "";
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    Format format_ = kFormatNone;
    int channels_ = 0;
    std::vector<uint8_t> pixels_;
};

}  // namespace Kiv
