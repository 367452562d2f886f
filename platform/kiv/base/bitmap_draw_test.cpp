#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "platform/kiv/base/bitmap.h"

namespace {

using Kiv::Bitmap;
constexpr Bitmap::Colour kInk = 0xFF102030;

// The bitmap as rows of '#' (the ink), '.' (0) and '?' (anything else).
std::vector<std::string> Picture(const Bitmap& b) {
    std::vector<std::string> rows;
    for (uint32_t y = 0; y < b.GetHeight(); ++y) {
        std::string row;
        for (uint32_t x = 0; x < b.GetWidth(); ++x) {
            const auto c = b.GetPixel(static_cast<int>(x), static_cast<int>(y));
            row += c == kInk ? '#' : c == 0 ? '.' : '?';
        }
        rows.push_back(row);
    }
    return rows;
}

using Rows = std::vector<std::string>;

TEST(BitmapDrawTest, FormatTwoStoresBlueGreenRedAlpha) {
    Bitmap b(2, 1);
    ASSERT_TRUE(b.IsValid());
    EXPECT_EQ(b.GetFormat(), Bitmap::kFormatARGB32);
    b.SetPixel(1, 0, 0x80112233);
    const std::vector<uint8_t> want = {0, 0, 0, 0, 0x33, 0x22, 0x11, 0x80};
    EXPECT_EQ(b.GetPixels(), want);
    EXPECT_EQ(b.GetPixel(1, 0), 0x80112233u);
    EXPECT_EQ(b.GetPixel(2, 0), 0u);  // outside
}

TEST(BitmapDrawTest, SizesOutsideTheCapsMakeNoBitmap) {
    for (auto [w, h] :
         {std::pair{0u, 10u}, {10u, 0u}, {16385u, 1u}, {1u, 16385u}, {16384u, 16384u}}) {
        Bitmap b(w, h);
        EXPECT_FALSE(b.IsValid()) << w << " x " << h;
        b.Fill(kInk);  // harmless on an empty bitmap
        b.Line(0, 0, 5, 5, kInk, 0);
    }
    EXPECT_TRUE(Bitmap(16384, 1).IsValid());
}

TEST(BitmapDrawTest, BlendPixelIsSourceOverRounded) {
    struct Case {
        Bitmap::Colour under, over, want;
    } cases[] = {
        {0xFF000000, 0xFFFFFFFF, 0xFFFFFFFF},  // opaque replaces
        {0xFF123456, 0x00FFFFFF, 0xFF123456},  // transparent changes nothing
        {0xFF000000, 0x80FFFFFF, 0xFF808080},  // half over black: 255*128/255 = 128
        {0x00000000, 0x80FF0000, 0x80800000},  // over nothing: alpha is the new alpha
        {0x80000000, 0x80000000, 0xC0000000},  // 128 + 128*127/255 = 191.75 -> 192
    };
    for (const Case& c : cases) {
        Bitmap b(1, 1);
        b.SetPixel(0, 0, c.under);
        b.BlendPixel(0, 0, c.over);
        EXPECT_EQ(b.GetPixel(0, 0), c.want) << std::hex << c.under << " under " << c.over;
    }
}

TEST(BitmapDrawTest, BoxCoversFromTheFirstCornerUpToTheSecond) {
    Bitmap b(6, 5);
    b.Box(4, 4, 1, 1, kInk, Bitmap::kModeOutline);  // corners in either order
    EXPECT_EQ(Picture(b), (Rows{"......", ".###..", ".#.#..", ".###..", "......"}));
    b.Fill(0);
    b.Box(1, 1, 4, 4, kInk, Bitmap::kModeFill);
    EXPECT_EQ(Picture(b), (Rows{"......", ".###..", ".###..", ".###..", "......"}));
    b.Fill(0);
    b.Box(-100, 3, INT_MAX, INT_MAX, kInk, Bitmap::kModeFill);  // clipped, no wrap
    EXPECT_EQ(Picture(b), (Rows{"......", "......", "......", "######", "######"}));
    b.Fill(0);
    b.Box(2, 2, 2, 4, kInk, Bitmap::kModeFill);  // no width: nothing
    EXPECT_EQ(Picture(b)[2], "......");
}

TEST(BitmapDrawTest, LinesDrawBothEndsAndClipWithoutWalkingTheOutside) {
    Bitmap b(5, 5);
    b.Line(0, 0, 4, 2, kInk, Bitmap::kModeBlend);
    EXPECT_EQ(Picture(b), (Rows{"#....", ".##..", "...##", ".....", "....."}));
    b.Fill(0);
    b.Line(2, 4, 2, 0, kInk, 0);
    EXPECT_EQ(Picture(b), (Rows{"..#..", "..#..", "..#..", "..#..", "..#.."}));
    b.Fill(0);
    b.Line(3, 3, 3, 3, kInk, 0);
    EXPECT_EQ(Picture(b)[3], "...#.");
    b.Fill(0);
    // Across the whole int range: only the row it crosses is drawn, at once.
    b.Line(INT_MIN, 1, INT_MAX, 1, kInk, 0);
    EXPECT_EQ(Picture(b), (Rows{".....", "#####", ".....", ".....", "....."}));
    b.Fill(0);
    b.Line(INT_MIN, INT_MIN, INT_MAX, INT_MAX, kInk, 0);
    EXPECT_EQ(Picture(b), (Rows{"#....", ".#...", "..#..", "...#.", "....#"}));
}

TEST(BitmapDrawTest, CirclesFillWithinHalfAPixelAndOutlineTheirEdge) {
    Bitmap b(7, 7);
    b.Circle(3, 3, 2, kInk, Bitmap::kModeFill);
    EXPECT_EQ(Picture(b),
              (Rows{".......", "..###..", ".#####.", ".#####.", ".#####.", "..###..", "......."}));
    b.Fill(0);
    b.Circle(3, 3, 2, kInk, Bitmap::kModeBlend);
    EXPECT_EQ(Picture(b),
              (Rows{".......", "..###..", ".#...#.", ".#...#.", ".#...#.", "..###..", "......."}));
    b.Fill(0);
    b.Circle(3, 3, -1, kInk, Bitmap::kModeFill);
    b.Circle(INT_MAX, INT_MAX, INT_MAX, kInk, Bitmap::kModeBlend);  // off the bitmap
    EXPECT_EQ(Picture(b)[3], ".......");
    b.Circle(0, 0, 0, kInk, Bitmap::kModeFill);
    EXPECT_EQ(Picture(b)[0], "#......");
}

TEST(BitmapDrawTest, TrianglesFillTheirCornersAndOutlineWithLines) {
    Bitmap b(5, 5);
    b.Triangle(0, 0, 4, 0, 0, 4, kInk, Bitmap::kModeFill);
    EXPECT_EQ(Picture(b), (Rows{"#####", "####.", "###..", "##...", "#...."}));
    b.Fill(0);
    b.Triangle(0, 4, 0, 0, 4, 0, kInk, Bitmap::kModeBlend);  // other winding, outline only
    EXPECT_EQ(Picture(b), (Rows{"#####", "#..#.", "#.#..", "##...", "#...."}));
}

TEST(BitmapDrawTest, ImageCopiesScaledAndWithinItselfFromBeforeTheCopy) {
    Bitmap src(2, 2);
    src.SetPixel(0, 0, 1);
    src.SetPixel(1, 0, 2);
    src.SetPixel(0, 1, 3);
    src.SetPixel(1, 1, 4);
    Bitmap dst(4, 4);
    dst.Image(0, 0, 4, 4, src, 0, 0, 2, 2, Bitmap::kModeCopyImage);
    std::vector<uint32_t> got;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            got.push_back(dst.GetPixel(x, y));
    EXPECT_EQ(got, (std::vector<uint32_t>{1, 1, 2, 2, 1, 1, 2, 2, 3, 3, 4, 4, 3, 3, 4, 4}));

    // Shifting a row right by one within the same bitmap reads the old pixels.
    Bitmap row(4, 1);
    for (int x = 0; x < 4; ++x)
        row.SetPixel(x, 0, static_cast<uint32_t>(x + 1));
    row.Image(1, 0, 4, 1, row, 0, 0, 3, 1, Bitmap::kModeCopyImage);
    EXPECT_EQ(row.GetPixel(1, 0), 1u);
    EXPECT_EQ(row.GetPixel(2, 0), 2u);
    EXPECT_EQ(row.GetPixel(3, 0), 3u);

    // A source rectangle wholly outside the source copies nothing.
    Bitmap none(2, 2);
    none.Image(0, 0, 2, 2, src, 5, 5, 9, 9, Bitmap::kModeCopyImage);
    EXPECT_EQ(none.GetPixel(0, 0), 0u);
}

}  // namespace
