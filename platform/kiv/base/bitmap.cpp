#include "platform/kiv/base/bitmap.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/kiv/base/file.h"

// The decoder, compiled here for the three formats the product's textures use, with its own
// dimension cap set to ours.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_BMP
#define STBI_ONLY_TGA
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STBI_NO_HDR
#define STBI_NO_LINEAR
#define STBI_MAX_DIMENSIONS 16384
#include <stb/stb_image.h>

namespace Kiv {

static_assert(Bitmap::kMaxSide == STBI_MAX_DIMENSIONS);

namespace {

// The bytes handed to the decoder through its reader, so that a read past the end is seen:
// the decoder itself would go on with zeros and answer success for a cut-off file.
struct Source {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool overrun = false;
};

int ReadSource(void* user, char* out, int want) {
    Source& s = *static_cast<Source*>(user);
    if (want <= 0) return 0;
    const size_t left = s.size - s.pos;
    if (left == 0) {
        s.overrun = true;
        return 0;
    }
    const size_t n = std::min(left, static_cast<size_t>(want));
    std::memcpy(out, s.data + s.pos, n);
    s.pos += n;
    return static_cast<int>(n);
}

void SkipSource(void* user, int n) {
    Source& s = *static_cast<Source*>(user);
    if (n < 0) {
        // stb_image moves back only within what it has read.
        const size_t back = static_cast<size_t>(-static_cast<int64_t>(n));
        s.pos = back > s.pos ? 0 : s.pos - back;
        return;
    }
    if (static_cast<size_t>(n) > s.size - s.pos) {
        s.overrun = true;
        s.pos = s.size;
        return;
    }
    s.pos += static_cast<size_t>(n);
}

int AtEnd(void* user) {
    const Source& s = *static_cast<Source*>(user);
    return s.pos >= s.size ? 1 : 0;
}

const stbi_io_callbacks kCallbacks = {ReadSource, SkipSource, AtEnd};

// The decoder trusts a JPEG's Huffman tables to hold at most 256 codes and writes past its
// table when one holds more; such a file is refused here first. Every table the decoder could
// read is looked at: each place a table marker (0xFF 0xC4) stands, its tables read as the
// decoder reads them, counting down the segment length and taking bytes past the end as 0.
// Coded picture data never holds that pair, so a whole picture is not refused by mistake.
bool JpegTablesFit(const uint8_t* p, size_t size) {
    if (size < 2 || p[0] != 0xFF || p[1] != 0xD8) return true;
    auto at = [&](size_t i) -> size_t { return i < size ? p[i] : 0; };
    for (size_t i = 2; i + 1 < size; ++i) {
        if (p[i] != 0xFF || p[i + 1] != 0xC4) continue;
        int64_t left = static_cast<int64_t>((at(i + 2) << 8) | at(i + 3)) - 2;
        size_t t = i + 4;
        while (left > 0 && t < size) {
            size_t codes = 0;
            for (size_t k = 1; k <= 16; ++k)
                codes += at(t + k);
            if (codes > 256) return false;
            t += 17 + codes;
            left -= static_cast<int64_t>(17 + codes);
        }
    }
    return true;
}

bool SideOk(uint32_t side) {
    return side != 0 && side <= Bitmap::kMaxSide;
}

bool SizeOk(uint32_t width, uint32_t height) {
    return SideOk(width) && SideOk(height) && uint64_t{width} * height <= Bitmap::kMaxPixels;
}

// The source span [first, last) that destination index i of `to` covers out of `from`.
struct Span {
    uint32_t first;
    uint32_t last;
};

std::vector<Span> Spans(uint32_t from, uint32_t to) {
    std::vector<Span> spans(to);
    for (uint32_t i = 0; i < to; ++i) {
        uint32_t first = static_cast<uint32_t>(uint64_t{i} * from / to);
        uint32_t last = static_cast<uint32_t>(uint64_t{i + 1} * from / to);
        spans[i] = {first, std::max(last, first + 1)};
    }
    return spans;
}

}  // namespace

void Bitmap::Clear() {
    width_ = height_ = 0;
    format_ = kFormatNone;
    channels_ = 0;
    pixels_.clear();
    pixels_.shrink_to_fit();
    status_ = Status::kUnreadable;
    error_ = "";
}

bool Bitmap::Fail(Status status, const char* error) {
    Clear();
    status_ = status;
    error_ = error;
    return false;
}

bool Bitmap::Load(std::string_view path, bool keepPixels) {
    Clear();
    File file;
    if (!file.Open(path, File::kModeRead)) return Fail(Status::kUnreadable, "cannot open");
    const uint64_t size = file.GetSize();
    if (size > kMaxFileBytes) return Fail(Status::kTooLarge, "file too large");
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (size != 0 && file.Read(bytes.data(), static_cast<uint32_t>(size)) != size)
        return Fail(Status::kUnreadable, "cannot read");
    return LoadFromMemory(bytes.data(), bytes.size(), keepPixels);
}

bool Bitmap::LoadFromMemory(const void* data, size_t size, bool keepPixels) {
    Clear();
    if (size == 0) return Fail(Status::kBadFormat, "empty file");
    if (size > kMaxFileBytes) return Fail(Status::kTooLarge, "file too large");
    if (size > static_cast<size_t>(INT32_MAX)) return Fail(Status::kTooLarge, "file too large");
    const auto* bytes = static_cast<const uint8_t*>(data);

    if (!JpegTablesFit(bytes, size)) return Fail(Status::kBadFormat, "bad JPEG Huffman table");
    // The header first: nothing is allocated for a picture over the caps.
    int w = 0, h = 0, n = 0;
    if (stbi_info_from_memory(bytes, static_cast<int>(size), &w, &h, &n) == 0)
        return Fail(Status::kBadFormat, "not a BMP, TGA or JPEG image");
    // A top-down BMP gives its height negative here.
    if (h < 0) h = -h;
    if (w <= 0 || h <= 0) return Fail(Status::kBadFormat, "no pixels");
    if (static_cast<uint32_t>(w) > kMaxSide || static_cast<uint32_t>(h) > kMaxSide ||
        static_cast<uint64_t>(w) * static_cast<uint64_t>(h) > kMaxPixels)
        return Fail(Status::kTooLarge, "picture too large");

    Source source{bytes, size};
    int dw = 0, dh = 0, dn = 0;
    stbi_uc* pixels = stbi_load_from_callbacks(&kCallbacks, &source, &dw, &dh, &dn, 4);
    if (pixels == nullptr) {
        if (source.overrun) return Fail(Status::kTruncated, "file ends inside the picture");
        return Fail(Status::kBadFormat, stbi_failure_reason() ? stbi_failure_reason() : "damaged");
    }
    if (source.overrun || dw != w || dh != h) {
        stbi_image_free(pixels);
        return Fail(source.overrun ? Status::kTruncated : Status::kBadFormat,
                    source.overrun ? "file ends inside the picture" : "header and picture differ");
    }
    const size_t count = static_cast<size_t>(dw) * static_cast<size_t>(dh) * 4;
    if (keepPixels) pixels_.assign(pixels, pixels + count);
    stbi_image_free(pixels);
    width_ = static_cast<uint32_t>(dw);
    height_ = static_cast<uint32_t>(dh);
    channels_ = dn;
    format_ = (dn == 2 || dn == 4) ? kFormatARGB32 : kFormatXRGB32;
    status_ = Status::kOk;
    error_ = "";
    return true;
}

Bitmap::Bitmap(uint32_t width, uint32_t height, Format format) {
    const uint32_t bpp = BytesPerPixel(format);
    if (bpp == 0 || !SizeOk(width, height)) return;
    width_ = width;
    height_ = height;
    format_ = format;
    status_ = Status::kOk;
    pixels_.assign(size_t{width} * height * bpp, 0);
}

std::unique_ptr<Bitmap> Bitmap::MakeCompressed(uint32_t width, uint32_t height, size_t size) {
    auto bitmap = std::make_unique<Bitmap>();
    if (!SideOk(width) || !SideOk(height)) return bitmap;
    bitmap->width_ = width;
    bitmap->height_ = height;
    bitmap->format_ = kFormatCompressed;
    bitmap->status_ = Status::kOk;
    bitmap->pixels_.assign(size, 0);
    return bitmap;
}

uint32_t Bitmap::BytesPerPixel(Format format) {
    switch (format) {
        case kFormatRGB24:
            return 3;
        case kFormatARGB32:
        case kFormatXRGB32:
            return 4;
        default:
            return 0;
    }
}

std::unique_ptr<Bitmap> Bitmap::Convert(Format format) const {
    const uint32_t from = BytesPerPixel(format_);
    const uint32_t to = BytesPerPixel(format);
    if (from == 0 || to == 0) return nullptr;
    auto out = std::make_unique<Bitmap>(width_, height_, format);
    const size_t pixels = size_t{width_} * height_;
    const uint8_t* s = pixels_.data();
    uint8_t* d = out->pixels_.data();
    if (from == to) {
        std::memcpy(d, s, pixels_.size());
        return out;
    }
    for (size_t i = 0; i < pixels; ++i, s += from, d += to) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        if (to == 4) d[3] = 255;
    }
    return out;
}

std::unique_ptr<Bitmap> Bitmap::Scale(uint32_t width, uint32_t height) const {
    const uint32_t bpp = BytesPerPixel(format_);
    if (bpp == 0 || !SizeOk(width, height)) return nullptr;
    auto out = std::make_unique<Bitmap>(width, height, format_);
    const std::vector<Span> columns = Spans(width_, width);
    const std::vector<Span> rows = Spans(height_, height);
    const size_t stride = size_t{width_} * bpp;
    uint8_t* d = out->pixels_.data();
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x, d += bpp) {
            uint64_t sum[4] = {0, 0, 0, 0};
            for (uint32_t sy = rows[y].first; sy < rows[y].last; ++sy) {
                const uint8_t* s = pixels_.data() + sy * stride + size_t{columns[x].first} * bpp;
                for (uint32_t sx = columns[x].first; sx < columns[x].last; ++sx, s += bpp)
                    for (uint32_t c = 0; c < bpp; ++c)
                        sum[c] += s[c];
            }
            const uint64_t n =
                uint64_t{rows[y].last - rows[y].first} * (columns[x].last - columns[x].first);
            for (uint32_t c = 0; c < bpp; ++c)
                d[c] = static_cast<uint8_t>((sum[c] + n / 2) / n);
        }
    }
    return out;
}

}  // namespace Kiv
