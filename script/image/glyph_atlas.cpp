#include "script/image/glyph_atlas.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "script/image/tt_font.h"

namespace ScriptImage {

GlyphAtlas& GlyphAtlas::Get() {
    static GlyphAtlas atlas;
    return atlas;
}

void GlyphAtlas::Release() {
    if (texture_ != Kiv::RenderKernel::kNoTexture && kernel_ == Kiv::RenderKernel::GetCurrent())
        kernel_->ReleaseTexture(texture_);
    texture_ = Kiv::RenderKernel::kNoTexture;
    kernel_ = nullptr;
    bitmap_.reset();
    glyphs_.clear();
    cursorX_ = cursorY_ = shelfHeight_ = 0;
}

void GlyphAtlas::UploadTexture() {
    Kiv::RenderKernel* kernel = Kiv::RenderKernel::GetCurrent();
    if (kernel == nullptr || !kernel->IsInitialised()) return;
    if (kernel != kernel_ || !kernel->UpdateTexture(texture_, *bitmap_)) {
        // A kernel of its own: the texture of an earlier kernel went with it.
        kernel_ = kernel;
        texture_ = kernel->CreateTexture(*bitmap_);
    }
}

bool GlyphAtlas::Place(uint64_t key, int w, int h, const uint32_t* pixels, AtlasRect& rect) {
    const int cellW = w + 2, cellH = h + 2;
    if (w < 1 || h < 1 || cellW > kSize || cellH > kSize) return false;
    if (bitmap_ == nullptr) {
        bitmap_ = std::make_unique<Kiv::Bitmap>(kSize, kSize);
        if (!bitmap_->IsValid()) {
            bitmap_.reset();
            return false;
        }
    }
    if (cursorX_ + cellW > kSize || cursorY_ + cellH > kSize) {
        cursorY_ += shelfHeight_;
        cursorX_ = shelfHeight_ = 0;
        if (cursorY_ + cellH > kSize) {
            if (locked_) return false;
            glyphs_.clear();
            cursorX_ = cursorY_ = shelfHeight_ = 0;
        }
    }
    // The cell with its border cleared, then the glyph inside it.
    bitmap_->Box(cursorX_, cursorY_, cursorX_ + cellW, cursorY_ + cellH, 0, Kiv::Bitmap::kModeFill);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bitmap_->SetPixel(cursorX_ + 1 + x, cursorY_ + 1 + y,
                              pixels[size_t(y) * size_t(w) + size_t(x)]);
    rect = {cursorX_ + 1, cursorY_ + 1, cursorX_ + 1 + w, cursorY_ + 1 + h};
    glyphs_[key] = rect;
    cursorX_ += cellW;
    shelfHeight_ = std::max(shelfHeight_, cellH);
    UploadTexture();
    return true;
}

bool GlyphAtlas::GetGlyph(TTFont& font, uint32_t codePoint, Glyph& glyph) {
    const uint32_t drawn = TTFont::GlyphCodePoint(codePoint);
    if (drawn == 0) return false;
    glyph.advance = font.Advance(codePoint);
    glyph.xOffset = 0;
    glyph.yOffset = -1 - font.GetShadow();
    const int width = font.Advance(drawn) + 1 + font.GetShadow();
    const uint64_t key = uint64_t{font.GetId()} << 20 | drawn;
    auto it = glyphs_.find(key);
    if (it != glyphs_.end()) {
        glyph.rect = it->second;
        return true;
    }
    std::vector<uint32_t> pixels;
    if (!font.RenderGlyph(drawn, width, font.GetHeight(), pixels)) return false;
    return Place(key, width, font.GetHeight(), pixels.data(), glyph.rect);
}

void DrawText(Kiv::Bitmap& target, int x, int y, TTFont& font, std::string_view utf8,
              uint32_t colour) {
    GlyphAtlas& atlas = GlyphAtlas::Get();
    const uint32_t alpha = colour >> 24;
    int pen = x;
    for (uint32_t cp : DecodeUtf8(utf8)) {
        Glyph g;
        if (!atlas.GetGlyph(font, cp, g)) {
            pen += font.Advance(cp);
            continue;
        }
        // A glyph's rectangle lies inside the atlas: its rows are read straight, one byte of
        // each pixel (blue, the drawn grey) being the coverage.
        const Kiv::Bitmap& src = *atlas.GetBitmap();
        const size_t stride = size_t{src.GetWidth()} * 4;
        for (int gy = g.rect.y1; gy < g.rect.y2; ++gy) {
            const uint8_t* row = src.GetData() + size_t(gy) * stride;
            for (int gx = g.rect.x1; gx < g.rect.x2; ++gx) {
                const uint32_t coverage = row[size_t(gx) * 4];
                if (coverage == 0) continue;
                const uint32_t a = (alpha * coverage + 127) / 255;
                target.BlendPixel(pen + g.xOffset + (gx - g.rect.x1),
                                  y + g.yOffset + (gy - g.rect.y1), (colour & 0xFFFFFF) | a << 24);
            }
        }
        pen += g.advance;
    }
}

}  // namespace ScriptImage
