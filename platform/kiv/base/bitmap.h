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
//   1 kFormatRGB24       3 bytes a pixel: blue, green, red
//   2 kFormatARGB32      4 bytes a pixel: blue, green, red, alpha (a little-endian 0xAARRGGBB
//                        word, the Colour type below)
//   3 kFormatXRGB32      the same layout; the alpha byte means nothing
//   5 kFormatCompressed  an opaque block of compressed data (one level of a block-compressed
//                        texture); width and height say what it covers, the size is its own
//
// Drawing (the script images' canvas): a bitmap made with a size is of format 2, four bytes a
// pixel in the order blue, green, red, alpha (a little-endian 0xAARRGGBB word, the colour type
// below). Every drawing operation clips to the bitmap and does nothing on a bitmap of another
// format. Points (BlendPixel, Line, Circle, Triangle) name pixels. Rectangles name pixel edges:
// (x1, y1) to (x2, y2) covers the pixels from x1 up to but not including x2 (likewise y), corners
// in either order. The mode of an operation:
//   bit 0 (1)  fill the shape's inside; without it only its outline is drawn
//   bit 1 (2)  blend the colour over the pixels by its alpha; without it pixels are replaced
//   4          (Image only) copy the source's pixels as they are, scaled by nearest pixel
// So Box(..., 1) replaces the inside, Box(..., 0) replaces the outline, Line(..., 2) blends.
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
    using Colour = uint32_t;  // 0xAARRGGBB
    enum Mode : int {
        kModeOutline = 0,
        kModeFill = 1,
        kModeBlend = 2,
        kModeCopyImage = 4,
    };

    enum class Status {
        kOk,
        kUnreadable,  // the file cannot be opened or read
        kTooLarge,    // over one of the caps
        kBadFormat,   // not an image of a known kind, or damaged
        kTruncated,   // ends before the picture does
    };

    Bitmap() = default;
    // A zeroed bitmap of an uncompressed format (format 2 unless said); an empty one (IsValid
    // false) for a side of 0, a picture over the caps, another format, or when the memory
    // cannot be had.
    Bitmap(uint32_t width, uint32_t height, Format format = kFormatARGB32);
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

    // Drawing on a format-2 bitmap (see the top of this file for rectangles and modes).
    Colour GetPixel(int x, int y) const;  // 0 outside
    void SetPixel(int x, int y, Colour colour);
    void Fill(Colour colour);
    // Source-over: each colour byte becomes (c * a + old * (255 - a)) / 255 rounded, the
    // alpha a + old alpha * (255 - a) / 255.
    void BlendPixel(int x, int y, Colour colour);
    void Box(int x1, int y1, int x2, int y2, Colour colour, int mode);
    // Bresenham, both end points drawn.
    void Line(int x1, int y1, int x2, int y2, Colour colour, int mode);
    // The disc: the pixels whose offset (dx, dy) from the centre has dx*dx + dy*dy <= r*r + r
    // (within r + 1/2); its outline: the disc's pixels with a side neighbour outside it. A
    // negative radius draws nothing.
    void Circle(int cx, int cy, int radius, Colour colour, int mode);
    // Filled: the pixels whose centre lies inside or on an edge; the outline: the three lines.
    void Triangle(int x1, int y1, int x2, int y2, int x3, int y3, Colour colour, int mode);
    // Copies the source rectangle of `source` (clipped to it) onto the destination rectangle
    // of this bitmap, scaled by nearest pixel; `source` may be this bitmap when both
    // rectangles have the same size (rows and columns are then copied through a buffer).
    void Image(int dx1, int dy1, int dx2, int dy2, const Bitmap& source, int sx1, int sy1, int sx2,
               int sy2, int mode);

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
