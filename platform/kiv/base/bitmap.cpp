#include "platform/kiv/base/bitmap.h"

#include <algorithm>
#include <cstring>

namespace Kiv {

namespace {

bool SideOk(uint32_t side) {
    return side != 0 && side <= Bitmap::kMaxSide;
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

Bitmap::Bitmap(uint32_t width, uint32_t height, Format format) {
    const uint32_t bpp = BytesPerPixel(format);
    if (bpp == 0 || !SideOk(width) || !SideOk(height)) return;
    width_ = width;
    height_ = height;
    format_ = format;
    data_.assign(size_t{width} * height * bpp, 0);
}

std::unique_ptr<Bitmap> Bitmap::MakeCompressed(uint32_t width, uint32_t height, size_t size) {
    auto bitmap = std::make_unique<Bitmap>();
    if (!SideOk(width) || !SideOk(height)) return bitmap;
    bitmap->width_ = width;
    bitmap->height_ = height;
    bitmap->format_ = kFormatCompressed;
    bitmap->data_.assign(size, 0);
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
    const uint8_t* s = data_.data();
    uint8_t* d = out->data_.data();
    if (from == to) {
        std::memcpy(d, s, data_.size());
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
    if (bpp == 0 || !SideOk(width) || !SideOk(height)) return nullptr;
    auto out = std::make_unique<Bitmap>(width, height, format_);
    const std::vector<Span> columns = Spans(width_, width);
    const std::vector<Span> rows = Spans(height_, height);
    const size_t stride = size_t{width_} * bpp;
    uint8_t* d = out->data_.data();
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x, d += bpp) {
            uint64_t sum[4] = {0, 0, 0, 0};
            for (uint32_t sy = rows[y].first; sy < rows[y].last; ++sy) {
                const uint8_t* s = data_.data() + sy * stride + size_t{columns[x].first} * bpp;
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
