#include "platform/kiv/base/bitmap.h"

#include <gtest/gtest.h>

namespace Kiv {
namespace {

TEST(Bitmap, RefusesSidesOutsideItsLimits) {
    EXPECT_FALSE(Bitmap(0, 4, Bitmap::kFormatARGB32).IsValid());
    EXPECT_FALSE(Bitmap(4, Bitmap::kMaxSide + 1, Bitmap::kFormatARGB32).IsValid());
    EXPECT_FALSE(Bitmap(4, 4, Bitmap::kFormatCompressed).IsValid());
    EXPECT_FALSE(Bitmap::MakeCompressed(0, 4, 8)->IsValid());
    Bitmap ok(3, 2, Bitmap::kFormatRGB24);
    ASSERT_TRUE(ok.IsValid());
    EXPECT_EQ(ok.GetDataSize(), 18u);
}

TEST(Bitmap, HalvingAveragesEachTwoByTwoBlock) {
    Bitmap b(2, 2, Bitmap::kFormatARGB32);
    const uint8_t px[16] = {0, 10, 100, 255, 4, 20, 100, 255, 8, 30, 100, 0, 12, 40, 101, 0};
    std::copy(px, px + 16, b.GetData());
    auto half = b.Scale(1, 1);
    ASSERT_NE(half, nullptr);
    const uint8_t* p = half->GetData();
    EXPECT_EQ(p[0], 6);
    EXPECT_EQ(p[1], 25);
    EXPECT_EQ(p[2], 100);  // 100.25 rounds down
    EXPECT_EQ(p[3], 128);  // 127.5 rounds up
}

TEST(Bitmap, ScaleKeepsTheFormatAndTheGivenSize) {
    Bitmap b(2048, 1024, Bitmap::kFormatXRGB32);
    auto small = b.Scale(512, 256);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(small->GetWidth(), 512u);
    EXPECT_EQ(small->GetHeight(), 256u);
    EXPECT_EQ(small->GetFormat(), Bitmap::kFormatXRGB32);
    // Growing repeats pixels.
    Bitmap one(1, 1, Bitmap::kFormatRGB24);
    one.GetData()[1] = 77;
    auto big = one.Scale(3, 2);
    ASSERT_NE(big, nullptr);
    for (size_t i = 1; i < big->GetDataSize(); i += 3)
        EXPECT_EQ(big->GetData()[i], 77);
    EXPECT_EQ(b.Scale(0, 1), nullptr);
    EXPECT_EQ(Bitmap::MakeCompressed(4, 4, 8)->Scale(2, 2), nullptr);
}

TEST(Bitmap, ConvertAddsAnOpaqueAlphaToThreeByteImages) {
    Bitmap b(2, 1, Bitmap::kFormatRGB24);
    const uint8_t px[6] = {1, 2, 3, 4, 5, 6};
    std::copy(px, px + 6, b.GetData());
    auto c = b.Convert(Bitmap::kFormatARGB32);
    ASSERT_NE(c, nullptr);
    const uint8_t want[8] = {1, 2, 3, 255, 4, 5, 6, 255};
    EXPECT_TRUE(std::equal(want, want + 8, c->GetData()));
    auto back = c->Convert(Bitmap::kFormatRGB24);
    EXPECT_TRUE(std::equal(px, px + 6, back->GetData()));
    EXPECT_EQ(b.Convert(Bitmap::kFormatCompressed), nullptr);
}

}  // namespace
}  // namespace Kiv
