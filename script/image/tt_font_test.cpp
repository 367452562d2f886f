#include "script/image/tt_font.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/display/render_kernel.h"
#include "script/image/glyph_atlas.h"
#include "tests/support/log_lines.h"

namespace {

using namespace ScriptImage;

using testsupport::LogLines;

// Slots whose create fails for every set but the default one (or for every set).
bool g_failDefaultToo = false;
std::vector<int> g_askedCharsets;
std::unique_ptr<PlatformFont> PickyCreate(const FontRequest& r) {
    g_askedCharsets.push_back(r.charset);
    if (r.charset != kDefaultCharset || g_failDefaultToo) return nullptr;
    return FreeTypeFontFunctions().createFont(r);
}

class FontSlots : public ::testing::Test {
protected:
    void TearDown() override {
        SetFontFunctions(FreeTypeFontFunctions());
        ClearFontCache();
    }
};

TEST(FontTest, CharacterSetNamesIgnoreCaseAndDefaultToOne) {
    const std::pair<const char*, int> cases[] = {
        {"SHIFTJIS", 128}, {"ShiftJis", 128}, {"ansi", 0},    {"Symbol", 2},    {"thai", 222},
        {"johab", 130},    {"", 1},           {"klingon", 1}, {"shiftjis ", 1},
    };
    for (auto [name, value] : cases)
        EXPECT_EQ(CharsetFromName(name), value) << name;
}

TEST_F(FontSlots, AFailedCreationRetriesOnceWithTheDefaultSet) {
    SetFontFunctions({PickyCreate, FreeTypeFontFunctions().getMetrics,
                      FreeTypeFontFunctions().getAbcWidths, FreeTypeFontFunctions().drawChar});
    {
        LogLines log;
        g_askedCharsets.clear();
        TTFont font;
        EXPECT_TRUE(font.Init("DejaVu Sans", 12, 0, "symbol"));
        EXPECT_EQ(g_askedCharsets, (std::vector<int>{2, 1}));
        EXPECT_EQ(log.lines, (std::vector<std::string>{
                                 "TTFont::Init> 'DejaVu Sans' CreateFontW failed",
                                 "TTFont::Init> 'DejaVu Sans' retrying with DEFAULT_CHARSET"}));
    }
    {
        LogLines log;
        g_askedCharsets.clear();
        g_failDefaultToo = true;
        TTFont font;
        EXPECT_FALSE(font.Init("DejaVu Sans", 12, 0, "default"));
        g_failDefaultToo = false;
        EXPECT_EQ(g_askedCharsets, (std::vector<int>{1}));
        EXPECT_EQ(log.lines,
                  (std::vector<std::string>{"TTFont::Init> 'DejaVu Sans' CreateFontW failed",
                                            "TTFont::Init> 'DejaVu Sans' failed retry"}));
    }
}

TEST_F(FontSlots, FreeTypeRefusesASetItsFacesCannotCoverAndHeightsOutOfRange) {
    // The installed faces cover no Japanese: "CreateFontW failed", then the default set works.
    LogLines log;
    TTFont font;
    EXPECT_TRUE(font.Init("DejaVu Sans", 12, 0, "SHIFTJIS"));
    EXPECT_EQ(font.GetCharset(), 128);
    ASSERT_FALSE(log.lines.empty());
    EXPECT_EQ(log.lines[0], "TTFont::Init> 'DejaVu Sans' CreateFontW failed");

    for (int height : {0, -5, 513}) {
        TTFont bad;
        EXPECT_FALSE(bad.Init("DejaVu Sans", height, 0, "")) << height;
    }
    EXPECT_EQ(FindFont({.height = 600, .charset = "", .face = "dejavu sans"}), nullptr);
    TTFont* cached = FindFont({.height = 12, .charset = "", .face = "dejavu sans"});
    ASSERT_NE(cached, nullptr);
    EXPECT_EQ(FindFont({.height = 12, .charset = "", .face = "dejavu sans"}), cached);
    EXPECT_NE(FindFont({.bold = true, .height = 12, .charset = "", .face = "dejavu sans"}), cached);
}

TEST_F(FontSlots, TabHasAGlyphAndAnAdvanceButCodePoint31HasNeither) {
    TTFont* font = FindFont({.height = 12, .charset = "", .face = "DejaVu Sans"});
    ASSERT_NE(font, nullptr);
    EXPECT_GT(font->Advance('\t'), 0);
    EXPECT_EQ(font->Advance(31), 0);
    EXPECT_EQ(TTFont::GlyphCodePoint('\t'), uint32_t{' '});
    EXPECT_EQ(TTFont::GlyphCodePoint(31), 0u);
    EXPECT_EQ(TTFont::GlyphCodePoint(0x110000), 0u);
    EXPECT_EQ(TTFont::GlyphCodePoint(0x2019), uint32_t{'\''});
    Glyph g;
    EXPECT_TRUE(GlyphAtlas::Get().GetGlyph(*font, '\t', g));
    EXPECT_FALSE(GlyphAtlas::Get().GetGlyph(*font, 31, g));
    EXPECT_EQ(font->MeasureText("A\x1f"), font->Advance('A'));
}

TEST_F(FontSlots, DrawTextPlacesEachGlyphByItsOffsetsAndAdvanceWithCoverageAsAlpha) {
    TTFont* font = FindFont({.height = 12, .charset = "", .face = "DejaVu Sans"});
    ASSERT_NE(font, nullptr);
    Kiv::Bitmap image(40, 20);
    DrawText(image, 3, 4, *font, "Hg", 0xFFFFFFFF);

    // What each glyph should leave: its own rendering, placed at the pen plus its offsets.
    Kiv::Bitmap expected(40, 20);
    int pen = 3;
    for (uint32_t cp : {uint32_t{'H'}, uint32_t{'g'}}) {
        const int w = font->Advance(cp) + 1, h = font->GetHeight();
        std::vector<uint32_t> pixels;
        ASSERT_TRUE(font->RenderGlyph(cp, w, h, pixels));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uint32_t grey = pixels[size_t(y * w + x)] & 0xFF;
                if (grey != 0) expected.BlendPixel(pen + x, 4 - 1 + y, 0xFFFFFF | grey << 24);
            }
        pen += font->Advance(cp);
    }
    EXPECT_EQ(image.GetPixels(), expected.GetPixels());
    // Something was drawn, and the descender of the g reaches below the H.
    int lowestH = -1, lowestG = -1;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x)
            if (image.GetPixel(x, y) >> 24) (x < 3 + font->Advance('H') ? lowestH : lowestG) = y;
    EXPECT_GT(lowestH, 0);
    EXPECT_GT(lowestG, lowestH);

    Kiv::Bitmap empty(8, 8);
    DrawText(empty, 0, 0, *font, "", 0xFFFFFFFF);
    EXPECT_EQ(empty.GetPixels(), Kiv::Bitmap(8, 8).GetPixels());
}

std::vector<uint32_t> Block(int w, int h) {
    return std::vector<uint32_t>(size_t(w * h), 0xFFFFFFFF);
}

TEST(GlyphAtlasTest, ShelvesNeverUseThe513thColumnAndAFullAtlasClearsUnlessLocked) {
    AtlasRect r;
    const auto px = Block(100, 50);
    {
        // Four cells of 102 end at 408; a glyph of 103 (a cell ending at 513) opens a shelf.
        ScriptImage::GlyphAtlas atlas;
        for (int i = 0; i < 4; ++i)
            ASSERT_TRUE(atlas.Place(uint64_t(i), 100, 50, px.data(), r));
        ASSERT_TRUE(atlas.Place(9, 103, 1, Block(103, 1).data(), r));
        EXPECT_EQ(r.x1, 1);
        EXPECT_EQ(r.y1, 53);
    }
    ScriptImage::GlyphAtlas atlas;
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(atlas.Place(uint64_t(i), 100, 50, px.data(), r));
    // A cell ending exactly at 512 fits.
    ASSERT_TRUE(atlas.Place(10, 102, 1, Block(102, 1).data(), r));
    EXPECT_EQ(r.x1, 409);
    EXPECT_EQ(r.x2, 511);
    EXPECT_EQ(atlas.CursorX(), 512);
    const auto tiny = Block(1, 1);
    ASSERT_TRUE(atlas.Place(11, 1, 1, tiny.data(), r));
    EXPECT_EQ(r.x1, 1);
    EXPECT_EQ(r.y1, 53);  // below the first shelf, 52 high
    // The border stays clear round a glyph.
    EXPECT_EQ(atlas.GetBitmap()->GetPixel(0, 0), 0u);
    EXPECT_EQ(atlas.GetBitmap()->GetPixel(1, 1), 0xFFFFFFFFu);
    EXPECT_EQ(atlas.GetBitmap()->GetPixel(101, 1), 0u);

    // Too big or empty: refused.
    EXPECT_FALSE(atlas.Place(20, 511, 1, Block(511, 1).data(), r));
    EXPECT_FALSE(atlas.Place(21, 0, 5, tiny.data(), r));

    // Two more shelves of 202; then a cell 262 high fits nowhere below.
    const auto tall = Block(100, 200);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(atlas.Place(uint64_t(30 + i), 100, 200, tall.data(), r));
    EXPECT_EQ(atlas.CursorY(), 254);
    const auto huge = Block(100, 260);
    atlas.SetLocked(true);
    const size_t before = atlas.GetGlyphCount();
    EXPECT_FALSE(atlas.Place(40, 100, 260, huge.data(), r));
    EXPECT_EQ(atlas.GetGlyphCount(), before);
    atlas.SetLocked(false);
    ASSERT_TRUE(atlas.Place(40, 100, 260, huge.data(), r));
    EXPECT_EQ(atlas.GetGlyphCount(), 1u);  // cleared, packing again from the top
    EXPECT_EQ(r.x1, 1);
    EXPECT_EQ(r.y1, 1);
}

TEST(GlyphAtlasTest, TheAtlasIsMirroredInATextureOfTheRunningKernel) {
    Kiv::RenderKernel kernel(nullptr, 1.0f);
    ASSERT_TRUE(kernel.Init(Kiv::Options("-NullRender")));
    ScriptImage::GlyphAtlas atlas;
    AtlasRect r;
    const auto px = Block(4, 4);
    ASSERT_TRUE(atlas.Place(1, 4, 4, px.data(), r));
    ASSERT_NE(atlas.GetTexture(), Kiv::RenderKernel::kNoTexture);
    ASSERT_TRUE(atlas.Place(2, 4, 4, px.data(), r));
    const auto t = kernel.GetTexture(atlas.GetTexture());
    EXPECT_EQ(t.width, 512u);
    EXPECT_EQ(t.updates, 1u);
    EXPECT_EQ(t.pixels, atlas.GetBitmap()->GetPixels());
    atlas.Release();
    EXPECT_EQ(kernel.GetTextureCount(), 0u);
}

}  // namespace
