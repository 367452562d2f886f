#include "materials/texture_compress.h"

#include <gtest/gtest.h>

#include "materials/dxt_test_decode.h"

namespace {

// A smooth image (gradients compress well, so a tolerance can be tight) with an alpha ramp or a
// hard alpha mask.
Kiv::Bitmap Gradient(uint32_t w, uint32_t h, Kiv::Bitmap::Format format, bool mask = false) {
    Kiv::Bitmap b(w, h, format);
    uint8_t* p = b.GetData();
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x, p += 4) {
            p[0] = static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
            p[1] = static_cast<uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
            p[2] = 128;
            p[3] = mask ? (x < w / 2 ? 0 : 255) : static_cast<uint8_t>((x + y) * 255 / (w + h));
        }
    return b;
}

TEST(CompressTexture, UncompressedModesHalveDownToOnePixel) {
    struct Case {
        uint32_t mode;
        uint32_t w, h;
        uint32_t levels;
        Kiv::Bitmap::Format format;
    };
    const Case cases[] = {
        {Kiv::kTextureFormatARGB8888, 8, 4, 4, Kiv::Bitmap::kFormatARGB32},
        {Kiv::kTextureFormatXRGB8888, 16, 16, 5, Kiv::Bitmap::kFormatXRGB32},
        {Kiv::kTextureFormatRGB888, 1, 8, 4, Kiv::Bitmap::kFormatRGB24},
        {Kiv::kTextureFormatARGB8888, 1, 1, 1, Kiv::Bitmap::kFormatARGB32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        TextureCompress levels;
        ASSERT_TRUE(CompressTexture(Gradient(c.w, c.h, Kiv::Bitmap::kFormatARGB32), levels, c.mode,
                                    true, false, false, true, false));
        ASSERT_EQ(levels.Count(), c.levels);
        EXPECT_EQ(levels.Get(0)->GetWidth(), c.w);
        EXPECT_EQ(levels.Last()->GetWidth(), 1u);
        EXPECT_EQ(levels.Last()->GetHeight(), 1u);
        for (uint32_t i = 0; i < levels.Count(); ++i)
            EXPECT_EQ(levels.Get(i)->GetFormat(), c.format);
    }
}

TEST(CompressTexture, BlockModesMakeExactBlocksThatDecodeCloseToTheSource) {
    struct Case {
        uint32_t mode;
        uint32_t blockBytes;
        bool dxt5;
    };
    const Case cases[] = {
        {Kiv::kTextureFormatDXT1, 8, false},       {Kiv::kTextureFormatDXT3, 16, false},
        {Kiv::kTextureFormatDXT5, 16, true},       {Kiv::kTextureFormatDXT1Other1, 8, false},
        {Kiv::kTextureFormatDXT1Other2, 8, false}, {Kiv::kTextureFormatDXT1Other3, 8, false},
    };
    const Kiv::Bitmap source = Gradient(64, 32, Kiv::Bitmap::kFormatARGB32);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        TextureCompress levels;
        ASSERT_TRUE(CompressTexture(source, levels, c.mode, c.mode != Kiv::kTextureFormatDXT1,
                                    false, false, true, false));
        ASSERT_EQ(levels.Count(), 7u);  // 64x32 down to 1x1
        uint32_t w = 64, h = 32;
        for (uint32_t l = 0; l < levels.Count(); ++l) {
            const Kiv::Bitmap* level = levels.Get(l);
            EXPECT_EQ(level->GetFormat(), Kiv::Bitmap::kFormatCompressed);
            EXPECT_EQ(level->GetWidth(), w);
            EXPECT_EQ(level->GetHeight(), h);
            EXPECT_EQ(level->GetDataSize(), size_t{(w + 3) / 4} * ((h + 3) / 4) * c.blockBytes);
            w = w > 1 ? w / 2 : 1;
            h = h > 1 ? h / 2 : 1;
        }
        std::vector<uint8_t> decoded =
            dxt_test::Decode(levels.Get(0)->GetData(), 64, 32, c.blockBytes, c.dxt5);
        const bool alphaKept = c.blockBytes == 16;
        // A block holds colours on one line between two end points: a gradient across both axes
        // strays a little at block corners, and very little on average.
        EXPECT_LE(dxt_test::MaxDifference(decoded, source.GetData(), alphaKept ? 4 : 3), 32);
        EXPECT_LE(dxt_test::MeanDifference(decoded, source.GetData(), alphaKept ? 4 : 3), 6.0);
    }
}

TEST(CompressTexture, DXT1CarriesAMaskOnlyWhenTheOutputHasAlpha) {
    const Kiv::Bitmap masked = Gradient(16, 16, Kiv::Bitmap::kFormatARGB32, true);
    for (bool alpha : {true, false}) {
        SCOPED_TRACE(alpha);
        TextureCompress levels;
        ASSERT_TRUE(CompressTexture(masked, levels, Kiv::kTextureFormatDXT1, alpha, false, false,
                                    false, false));
        ASSERT_EQ(levels.Count(), 1u);
        std::vector<uint8_t> decoded = dxt_test::Decode(levels.Get(0)->GetData(), 16, 16, 8, false);
        EXPECT_EQ(decoded[3], alpha ? 0 : 255);          // left half
        EXPECT_EQ(decoded[(16 * 8 + 15) * 4 + 3], 255);  // right half
    }
}

TEST(CompressTexture, AnOpaqueSourceIsCompressedWithOpaqueAlphaAndLeftAsItWas) {
    Kiv::Bitmap source = Gradient(16, 16, Kiv::Bitmap::kFormatXRGB32);
    const std::vector<uint8_t> before(source.GetData(), source.GetData() + source.GetDataSize());
    TextureCompress levels;
    ASSERT_TRUE(
        CompressTexture(source, levels, Kiv::kTextureFormatDXT5, true, false, false, false, false));
    std::vector<uint8_t> decoded = dxt_test::Decode(levels.Get(0)->GetData(), 16, 16, 16, true);
    for (size_t i = 3; i < decoded.size(); i += 4)
        ASSERT_EQ(decoded[i], 255) << i;
    EXPECT_TRUE(std::equal(before.begin(), before.end(), source.GetData()));
}

TEST(CompressTexture, RefusesOtherPixelFormatsAndModes) {
    TextureCompress levels;
    EXPECT_FALSE(CompressTexture(Kiv::Bitmap(4, 4, Kiv::Bitmap::kFormatRGB24), levels,
                                 Kiv::kTextureFormatDXT1, false, false, false, true, false));
    EXPECT_FALSE(CompressTexture(Gradient(4, 4, Kiv::Bitmap::kFormatARGB32), levels, 7, false,
                                 false, false, true, false));
    EXPECT_EQ(levels.Count(), 0u);
}

TEST(OurOutputHandler, RefusesDataBeyondTheAnnouncedSizeAndAppendsTheLastImageOnce) {
    TextureCompress levels;
    {
        OurOutputHandler handler(levels);
        const uint8_t data[12] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
        handler.beginImage(8, 4, 4, 1, 0, 0);
        EXPECT_TRUE(handler.writeData(data, 6));
        EXPECT_FALSE(handler.writeData(data, 3));  // 9 of 8 bytes
        EXPECT_TRUE(handler.writeData(data, 2));
        EXPECT_FALSE(handler.writeData(data, 1));
        handler.beginImage(8, 2, 2, 1, 0, 1);
        EXPECT_EQ(levels.Count(), 1u);
        EXPECT_EQ(levels.Get(0)->GetData()[7], 2);
        handler.Finish();
        EXPECT_EQ(levels.Count(), 2u);
    }
    EXPECT_EQ(levels.Count(), 2u);
}

}  // namespace
