// The drawing operations of Kiv::Bitmap on format-2 bitmaps (bytes blue, green, red, alpha).
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <utility>
#include <vector>

#include "platform/kiv/base/bitmap.h"

namespace Kiv {

namespace {

uint8_t Mix(uint32_t src, uint32_t dst, uint32_t a) {
    return static_cast<uint8_t>((src * a + dst * (255 - a) + 127) / 255);
}

}  // namespace

Bitmap::Colour Bitmap::GetPixel(int x, int y) const {
    if (format_ != kFormatARGB32 || x < 0 || y < 0 || static_cast<uint32_t>(x) >= width_ ||
        static_cast<uint32_t>(y) >= height_)
        return 0;
    const uint8_t* p = &pixels_[(size_t(y) * width_ + size_t(x)) * 4];
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void Bitmap::SetPixel(int x, int y, Colour colour) {
    if (format_ != kFormatARGB32 || x < 0 || y < 0 || static_cast<uint32_t>(x) >= width_ ||
        static_cast<uint32_t>(y) >= height_)
        return;
    uint8_t* p = &pixels_[(size_t(y) * width_ + size_t(x)) * 4];
    p[0] = static_cast<uint8_t>(colour);
    p[1] = static_cast<uint8_t>(colour >> 8);
    p[2] = static_cast<uint8_t>(colour >> 16);
    p[3] = static_cast<uint8_t>(colour >> 24);
}

void Bitmap::Fill(Colour colour) {
    if (format_ != kFormatARGB32) return;
    for (uint32_t y = 0; y < height_; ++y)
        for (uint32_t x = 0; x < width_; ++x)
            SetPixel(static_cast<int>(x), static_cast<int>(y), colour);
}

void Bitmap::BlendPixel(int x, int y, Colour colour) {
    if (format_ != kFormatARGB32 || x < 0 || y < 0 || static_cast<uint32_t>(x) >= width_ ||
        static_cast<uint32_t>(y) >= height_)
        return;
    uint8_t* p = &pixels_[(size_t(y) * width_ + size_t(x)) * 4];
    const uint32_t a = colour >> 24;
    p[0] = Mix(colour & 0xFF, p[0], a);
    p[1] = Mix((colour >> 8) & 0xFF, p[1], a);
    p[2] = Mix((colour >> 16) & 0xFF, p[2], a);
    p[3] = static_cast<uint8_t>(a + (uint32_t{p[3]} * (255 - a) + 127) / 255);
}

namespace {

// One pixel by the mode's blend bit.
inline void Plot(Bitmap& b, int x, int y, Bitmap::Colour c, int mode) {
    if (mode & Bitmap::kModeBlend)
        b.BlendPixel(x, y, c);
    else
        b.SetPixel(x, y, c);
}

// A horizontal run [x1, x2] clipped to the bitmap, so that a huge span costs no more than a row.
void Span(Bitmap& b, int x1, int x2, int y, Bitmap::Colour c, int mode) {
    if (y < 0 || static_cast<uint32_t>(y) >= b.GetHeight()) return;
    x1 = std::max(x1, 0);
    x2 = std::min<int64_t>(x2, int64_t{b.GetWidth()} - 1);
    for (int x = x1; x <= x2; ++x)
        Plot(b, x, y, c, mode);
}

}  // namespace

void Bitmap::Box(int x1, int y1, int x2, int y2, Colour colour, int mode) {
    if (format_ != kFormatARGB32) return;
    if (x2 < x1) std::swap(x1, x2);
    if (y2 < y1) std::swap(y1, y2);
    if (x1 == x2 || y1 == y2) return;
    const int right = x2 - 1, bottom = y2 - 1;  // the last pixels inside
    const int64_t rowFrom = std::max(y1, 0),
                  rowTo = std::min<int64_t>(bottom, int64_t{height_} - 1);
    if (mode & kModeFill) {
        for (int64_t y = rowFrom; y <= rowTo; ++y)
            Span(*this, x1, right, static_cast<int>(y), colour, mode);
        return;
    }
    Span(*this, x1, right, y1, colour, mode);
    if (bottom != y1) Span(*this, x1, right, bottom, colour, mode);
    for (int64_t y = std::max<int64_t>(int64_t{y1} + 1, 0); y < bottom && y <= rowTo; ++y) {
        Plot(*this, x1, static_cast<int>(y), colour, mode);
        if (right != x1) Plot(*this, right, static_cast<int>(y), colour, mode);
    }
}

namespace {

// n / d rounded to nearest, halves away from zero, d > 0; wide enough for any two ints.
int64_t RoundDiv(__int128 n, __int128 d) {
    return static_cast<int64_t>(n >= 0 ? (2 * n + d) / (2 * d) : -((-2 * n + d) / (2 * d)));
}

}  // namespace

void Bitmap::Line(int x1, int y1, int x2, int y2, Colour colour, int mode) {
    if (format_ != kFormatARGB32) return;
    // One pixel per step along the longer axis, the other coordinate rounded; only the steps
    // that fall inside the bitmap are walked, so a line of any length costs at most a side.
    const int64_t dx = int64_t{x2} - x1, dy = int64_t{y2} - y1;
    if (dx == 0 && dy == 0) {
        Plot(*this, x1, y1, colour, mode);
        return;
    }
    const bool alongX = std::llabs(dx) >= std::llabs(dy);
    const int64_t a1 = alongX ? x1 : y1, a2 = alongX ? x2 : y2;
    const int64_t b1 = alongX ? y1 : x1, da = alongX ? dx : dy, db = alongX ? dy : dx;
    const int64_t side = alongX ? width_ : height_;
    const int64_t from = std::max<int64_t>(std::min(a1, a2), 0);
    const int64_t to = std::min<int64_t>(std::max(a1, a2), side - 1);
    for (int64_t a = from; a <= to; ++a) {
        const int64_t t = a - a1;  // same sign as da along the line
        const int64_t b =
            b1 + (da > 0 ? RoundDiv(__int128{t} * db, da) : RoundDiv(__int128{-t} * db, -da));
        if (alongX)
            Plot(*this, static_cast<int>(a), static_cast<int>(std::clamp<int64_t>(b, -1, height_)),
                 colour, mode);
        else
            Plot(*this, static_cast<int>(std::clamp<int64_t>(b, -1, width_)), static_cast<int>(a),
                 colour, mode);
    }
}

namespace {

// The half-width of the disc of radius r in the row dy from its centre: the widest dx with
// dx*dx + dy*dy <= r*r + r; -1 for a row outside the disc.
int64_t HalfWidth(int64_t r, int64_t dy) {
    const int64_t room = r * r + r - dy * dy;
    if (room < 0) return -1;
    int64_t dx = static_cast<int64_t>(std::sqrt(static_cast<double>(room)));
    while (dx * dx > room)
        --dx;
    while ((dx + 1) * (dx + 1) <= room)
        ++dx;
    return dx;
}

}  // namespace

void Bitmap::Circle(int cx, int cy, int radius, Colour colour, int mode) {
    if (format_ != kFormatARGB32 || radius < 0) return;
    const int64_t r = radius;
    // Only the rows of the bitmap are walked, so any radius costs at most its height.
    const int64_t dyFrom = std::max<int64_t>(-r, -int64_t{cy});
    const int64_t dyTo = std::min<int64_t>(r, int64_t{height_} - 1 - cy);
    auto span = [&](int64_t dy, int64_t from, int64_t to) {
        const int64_t left = std::max<int64_t>(cx + from, 0);
        const int64_t right = std::min<int64_t>(cx + to, int64_t{width_} - 1);
        if (left <= right)
            Span(*this, static_cast<int>(left), static_cast<int>(right), static_cast<int>(cy + dy),
                 colour, mode);
    };
    for (int64_t dy = dyFrom; dy <= dyTo; ++dy) {
        const int64_t w = HalfWidth(r, dy);
        if (mode & kModeFill) {
            span(dy, -w, w);
            continue;
        }
        // The outline: the disc's pixels with a neighbour above, below or beside outside it.
        const int64_t k = std::min(w, std::min(HalfWidth(r, dy - 1), HalfWidth(r, dy + 1)) + 1);
        if (k <= 0) {
            span(dy, -w, w);
        } else {
            span(dy, -w, -k);
            span(dy, k, w);
        }
    }
}

void Bitmap::Triangle(int x1, int y1, int x2, int y2, int x3, int y3, Colour colour, int mode) {
    if (format_ != kFormatARGB32) return;
    if (!(mode & kModeFill)) {
        Line(x1, y1, x2, y2, colour, mode);
        Line(x2, y2, x3, y3, colour, mode);
        Line(x3, y3, x1, y1, colour, mode);
        return;
    }
    const int64_t minX = std::max<int64_t>(std::min({x1, x2, x3}), 0);
    const int64_t maxX = std::min<int64_t>(std::max({x1, x2, x3}), int64_t{width_} - 1);
    const int64_t minY = std::max<int64_t>(std::min({y1, y2, y3}), 0);
    const int64_t maxY = std::min<int64_t>(std::max({y1, y2, y3}), int64_t{height_} - 1);
    auto edge = [](int64_t ax, int64_t ay, int64_t bx, int64_t by, int64_t px, int64_t py) {
        return __int128{bx - ax} * (py - ay) - __int128{by - ay} * (px - ax);
    };
    for (int64_t y = minY; y <= maxY; ++y) {
        for (int64_t x = minX; x <= maxX; ++x) {
            // Points name pixels here (as for Line), so the corner pixels are inside.
            const __int128 e1 = edge(x1, y1, x2, y2, x, y);
            const __int128 e2 = edge(x2, y2, x3, y3, x, y);
            const __int128 e3 = edge(x3, y3, x1, y1, x, y);
            if ((e1 >= 0 && e2 >= 0 && e3 >= 0) || (e1 <= 0 && e2 <= 0 && e3 <= 0))
                Plot(*this, static_cast<int>(x), static_cast<int>(y), colour, mode);
        }
    }
}

void Bitmap::Image(int dx1, int dy1, int dx2, int dy2, const Bitmap& source, int sx1, int sy1,
                   int sx2, int sy2, int mode) {
    if (format_ != kFormatARGB32 || source.format_ != kFormatARGB32) return;
    if (dx2 < dx1) std::swap(dx1, dx2);
    if (dy2 < dy1) std::swap(dy1, dy2);
    if (sx2 < sx1) std::swap(sx1, sx2);
    if (sy2 < sy1) std::swap(sy1, sy2);
    // The source rectangle clipped to the source.
    const int64_t sl = std::max(sx1, 0), st = std::max(sy1, 0);
    const int64_t sr = std::min<int64_t>(sx2, source.width_),
                  sb = std::min<int64_t>(sy2, source.height_);
    const int64_t dw = int64_t{dx2} - dx1, dh = int64_t{dy2} - dy1;
    const int64_t sw = sr - sl, sh = sb - st;
    if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
    // Copying within one bitmap reads from a snapshot, so overlapping rectangles read what was
    // there before the copy.
    std::vector<uint8_t> snapshot;
    const uint8_t* src = source.pixels_.data();
    if (&source == this) {
        snapshot = pixels_;
        src = snapshot.data();
    }
    const int64_t x0 = std::max<int64_t>(dx1, 0), x1 = std::min<int64_t>(dx2, width_);
    const int64_t y0 = std::max<int64_t>(dy1, 0), y1 = std::min<int64_t>(dy2, height_);
    for (int64_t y = y0; y < y1; ++y) {
        const int64_t syy = st + (y - dy1) * sh / dh;
        for (int64_t x = x0; x < x1; ++x) {
            const int64_t sxx = sl + (x - dx1) * sw / dw;
            const uint8_t* p = src + (size_t(syy) * source.width_ + size_t(sxx)) * 4;
            const Colour c =
                uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
            if (mode & kModeBlend)
                BlendPixel(static_cast<int>(x), static_cast<int>(y), c);
            else
                SetPixel(static_cast<int>(x), static_cast<int>(y), c);
        }
    }
}

}  // namespace Kiv
