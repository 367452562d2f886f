#include "platform/kiv/base/bitmap.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/bmp.h"
#include "tests/support/temp_dir.h"

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#include <stb/stb_image_write.h>

namespace {

using Status = Kiv::Bitmap::Status;
using testsupport::BmpHeader;

void Append(void* context, void* data, int size) {
    auto* out = static_cast<std::string*>(context);
    out->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

// A picture of w x h with c channels, every byte telling its position.
std::vector<uint8_t> Pixels(int w, int h, int c) {
    std::vector<uint8_t> p(static_cast<size_t>(w * h * c));
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<uint8_t>(i * 7);
    return p;
}

std::string Encode(char format, int w, int h, int c) {
    const std::vector<uint8_t> p = Pixels(w, h, c);
    std::string out;
    switch (format) {
        case 'b':
            stbi_write_bmp_to_func(Append, &out, w, h, c, p.data());
            break;
        case 't':
            stbi_write_tga_to_func(Append, &out, w, h, c, p.data());
            break;
        case 'j':
            stbi_write_jpg_to_func(Append, &out, w, h, c, p.data(), 90);
            break;
    }
    return out;
}

struct Case {
    const char* name;
    std::string bytes;
    Status status;
    uint32_t width, height;
};

TEST(BitmapTest, DecodesTheThreeFormatsAndRefusesWhatIsNotAWholePicture) {
    const std::string bmp = Encode('b', 256, 100, 3);
    const std::string tga = Encode('t', 4, 2, 4);
    const std::string jpg = Encode('j', 64, 32, 3);
    const Case cases[] = {
        {"bmp", bmp, Status::kOk, 256, 100},
        {"tga with alpha", tga, Status::kOk, 4, 2},
        {"jpg", jpg, Status::kOk, 64, 32},
        {"bmp cut in half", bmp.substr(0, bmp.size() / 2), Status::kTruncated, 0, 0},
        {"bmp one byte short", bmp.substr(0, bmp.size() - 1), Status::kTruncated, 0, 0},
        {"tga cut", tga.substr(0, tga.size() - 5), Status::kTruncated, 0, 0},
        {"jpg cut", jpg.substr(0, jpg.size() / 2), Status::kTruncated, 0, 0},
        {"wrong magic", "XM" + bmp.substr(2), Status::kBadFormat, 0, 0},
        {"png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(64, '\0'), Status::kBadFormat, 0,
         0},
        {"empty", "", Status::kBadFormat, 0, 0},
        {"header only", bmp.substr(0, 10), Status::kBadFormat, 0, 0},
        {"zero width", BmpHeader(0, 4, 16), Status::kBadFormat, 0, 0},
        {"side over the cap", BmpHeader(16385, 1, 16), Status::kTooLarge, 0, 0},
        {"picture over the cap", BmpHeader(16384, 16384, 16), Status::kTooLarge, 0, 0},
        {"negative height (top-down) but short", BmpHeader(8, -8, 16), Status::kTruncated, 0, 0},
    };
    for (const Case& c : cases) {
        Kiv::Bitmap bitmap;
        const bool ok = bitmap.LoadFromMemory(c.bytes.data(), c.bytes.size());
        EXPECT_EQ(ok, c.status == Status::kOk) << c.name;
        // A side over the cap is refused by the header test or by the decoder's own cap.
        if (c.status == Status::kTooLarge)
            EXPECT_TRUE(bitmap.GetStatus() == Status::kTooLarge ||
                        bitmap.GetStatus() == Status::kBadFormat)
                << c.name;
        else
            EXPECT_EQ(bitmap.GetStatus(), c.status) << c.name << ": " << bitmap.GetError();
        EXPECT_EQ(bitmap.GetWidth(), c.width) << c.name;
        EXPECT_EQ(bitmap.GetHeight(), c.height) << c.name;
        EXPECT_EQ(bitmap.GetPixels().size(), size_t{c.width} * c.height * 4) << c.name;
    }
}

TEST(BitmapTest, KeepsThePixelsAsRgbaFromTheTopRow) {
    const std::string tga = Encode('t', 4, 2, 4);
    Kiv::Bitmap bitmap;
    ASSERT_TRUE(bitmap.LoadFromMemory(tga.data(), tga.size()));
    EXPECT_EQ(bitmap.GetFileChannels(), 4);
    EXPECT_EQ(bitmap.GetPixels(), Pixels(4, 2, 4));

    const std::string bmp = Encode('b', 3, 2, 3);
    ASSERT_TRUE(bitmap.LoadFromMemory(bmp.data(), bmp.size()));
    const std::vector<uint8_t> rgb = Pixels(3, 2, 3);
    ASSERT_EQ(bitmap.GetPixels().size(), 24u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(bitmap.GetPixels()[i * 4 + 0], rgb[i * 3 + 0]);
        EXPECT_EQ(bitmap.GetPixels()[i * 4 + 2], rgb[i * 3 + 2]);
        EXPECT_EQ(bitmap.GetPixels()[i * 4 + 3], 255);
    }
}

TEST(BitmapTest, LoadsFilesByTheEnginesPathsAndFailsCleanlyOnMissingOnes) {
    testsupport::TempDir dir;
    dir.Write("Textures/Body.BMP", Encode('b', 8, 4, 3));
    Kiv::Bitmap bitmap;
    ASSERT_TRUE(bitmap.Load(dir / "textures\\body.bmp"));
    EXPECT_EQ(bitmap.GetWidth(), 8u);
    EXPECT_EQ(bitmap.GetHeight(), 4u);

    EXPECT_FALSE(bitmap.Load(dir / "textures/none.bmp"));
    EXPECT_EQ(bitmap.GetStatus(), Status::kUnreadable);
    EXPECT_TRUE(bitmap.GetPixels().empty());
    EXPECT_FALSE(bitmap.Load(dir / "Textures"));
}

}  // namespace

namespace Kiv {
namespace {

TEST(BitmapTest, MadeBitmapsRefuseSidesOutsideTheLimits) {
    EXPECT_FALSE(Bitmap(0, 4, Bitmap::kFormatARGB32).IsValid());
    EXPECT_FALSE(Bitmap(4, Bitmap::kMaxSide + 1, Bitmap::kFormatARGB32).IsValid());
    EXPECT_FALSE(Bitmap(4, 4, Bitmap::kFormatCompressed).IsValid());
    EXPECT_FALSE(Bitmap(Bitmap::kMaxSide, Bitmap::kMaxSide, Bitmap::kFormatRGB24).IsValid());
    EXPECT_FALSE(Bitmap::MakeCompressed(0, 4, 8)->IsValid());
    Bitmap ok(3, 2, Bitmap::kFormatRGB24);
    ASSERT_TRUE(ok.IsValid());
    EXPECT_EQ(ok.GetDataSize(), 18u);
}

TEST(BitmapTest, HalvingAveragesEachTwoByTwoBlock) {
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

TEST(BitmapTest, ScaleKeepsTheFormatAndTheGivenSize) {
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

TEST(BitmapTest, ConvertAddsAnOpaqueAlphaToThreeByteImages) {
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

TEST(BitmapTest, ALoadedImageIsThirtyTwoBitWithAlphaOnlyWhenItsFileHasOne) {
    struct Case {
        char format;
        int channels;
        Bitmap::Format want;
    };
    for (const Case c : {Case{'t', 4, Bitmap::kFormatARGB32}, Case{'t', 3, Bitmap::kFormatXRGB32},
                         Case{'b', 3, Bitmap::kFormatXRGB32}}) {
        const std::string file = ::Encode(c.format, 4, 2, c.channels);
        Bitmap b;
        ASSERT_TRUE(b.LoadFromMemory(file.data(), file.size()));
        EXPECT_EQ(b.GetFormat(), c.want) << c.format << c.channels;
        b.Clear();
        EXPECT_FALSE(b.IsValid());
    }
}

}  // namespace
}  // namespace Kiv
