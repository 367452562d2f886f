// Kiv::Bitmap: one image file decoded into memory (BMP, TGA or JPEG) through stb_image. Image
// files come with downloaded assets, so they are untrusted: the header's dimensions are capped
// before anything is allocated, a file too large is refused unread, and a file that ends before
// the decoder has what its header promised is refused as truncated rather than padded out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace Kiv {

class Bitmap {
public:
    // Caps: a side, the whole picture, and the file itself.
    static constexpr uint32_t kMaxSide = 16384;
    static constexpr uint64_t kMaxPixels = uint64_t{1} << 26;  // 64 M pixels, 256 MB decoded
    static constexpr uint64_t kMaxFileBytes = uint64_t{1} << 28;

    enum class Status {
        kOk,
        kUnreadable,  // the file cannot be opened or read
        kTooLarge,    // over one of the caps
        kBadFormat,   // not an image of a known kind, or damaged
        kTruncated,   // ends before the picture does
    };

    // Decodes the file (the path as the engine's files take it: '\' read as '/', letter case
    // of missing components looked up). False on any failure; the bitmap is then empty.
    bool Load(std::string_view path);
    // The same over bytes in memory.
    bool LoadFromMemory(const void* data, size_t size);
    void Clear();

    Status GetStatus() const { return status_; }
    // A short reason for the last failure ("" after success).
    const char* GetError() const { return error_; }
    uint32_t GetWidth() const { return width_; }
    uint32_t GetHeight() const { return height_; }
    // The channels the file holds (1 grey, 2 grey and alpha, 3 colour, 4 colour and alpha).
    int GetFileChannels() const { return channels_; }
    // The pixels as 8-bit RGBA, rows from the top, width * height * 4 bytes.
    const std::vector<uint8_t>& GetPixels() const { return pixels_; }

private:
    bool Fail(Status status, const char* error);

    Status status_ = Status::kUnreadable;
    const char* error_ = "";
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    int channels_ = 0;
    std::vector<uint8_t> pixels_;
};

}  // namespace Kiv
