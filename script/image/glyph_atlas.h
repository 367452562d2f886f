// The process-wide glyph atlas: every character drawn by a script image is rendered once into
// one 512 x 512 bitmap (format 2), packed on shelves with a pixel of border round each glyph,
// and mirrored in a texture of the current render kernel when one is running. Drawing text is
// copying rectangles out of the atlas.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string_view>

#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/display/render_kernel.h"

namespace ScriptImage {

class TTFont;

struct AtlasRect {
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // x2, y2 exclusive
};

struct Glyph {
    AtlasRect rect;
    int xOffset = 0, yOffset = 0;
    int advance = 0;
};

class GlyphAtlas {
public:
    static constexpr int kSize = 512;

    // The process's atlas.
    static GlyphAtlas& Get();

    // The glyph of a code point in a font, rendered and packed when new; false when the code
    // point has no glyph or it cannot be rendered or placed. `glyph.advance` is the font's
    // advance of the code point.
    bool GetGlyph(TTFont& font, uint32_t codePoint, Glyph& glyph);

    // Packs a width x height picture of atlas pixels under `key`; false when refused.
    bool Place(uint64_t key, int width, int height, const uint32_t* pixels, AtlasRect& rect);

    // A locked atlas refuses glyphs it has no room for instead of clearing itself.
    void SetLocked(bool locked) { locked_ = locked; }
    bool IsLocked() const { return locked_; }
    // Drops every glyph and the bitmap (and its texture): the state of a new atlas.
    void Release();

    const Kiv::Bitmap* GetBitmap() const { return bitmap_.get(); }
    size_t GetGlyphCount() const { return glyphs_.size(); }
    Kiv::RenderKernel::TextureId GetTexture() const { return texture_; }
    int CursorX() const { return cursorX_; }
    int CursorY() const { return cursorY_; }

private:
    void UploadTexture();

    std::unique_ptr<Kiv::Bitmap> bitmap_;
    Kiv::RenderKernel* kernel_ = nullptr;
    Kiv::RenderKernel::TextureId texture_ = Kiv::RenderKernel::kNoTexture;
    std::map<uint64_t, AtlasRect> glyphs_;
    int cursorX_ = 0, cursorY_ = 0, shelfHeight_ = 0;
    bool locked_ = false;
};

// Draws UTF-8 text into `target` with its left edge at x and its top at y in the font, each
// glyph tinted with `colour` (0xAARRGGBB) at the atlas coverage as alpha.
void DrawText(Kiv::Bitmap& target, int x, int y, TTFont& font, std::string_view utf8,
              uint32_t colour);

}  // namespace ScriptImage
