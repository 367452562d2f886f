#include "materials/compress_ascii_resource.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "materials/dxt_test_decode.h"
#include "materials/texture_test_support.h"
#include "platform/kiv/res/texture_file.h"
#include "tests/support/temp_dir.h"

namespace {

class CompressAsciiResourceTest : public ::testing::Test {
protected:
    // A description "t.texture.txt" with the lines given, over a primary image of w by h.
    std::string Description(const std::string& lines, uint32_t w, uint32_t h, int channels = 3) {
        dir.Write("p.tga", texture_test::GradientTga(w, h, channels, 100));
        return dir.Write("t.texture.txt", "Primary=p.tga\r\n" + lines);
    }
    // The resource loaded from the description with the creation options.
    std::unique_ptr<CompressAsciiResource> Loaded(const std::string& description,
                                                  const std::string& options) {
        optionSets.push_back(std::make_unique<Kiv::Options>(options));
        auto r = std::make_unique<CompressAsciiResource>(Kiv::PString(description), nullptr);
        r->SetCreationOptions(optionSets.back().get());
        EXPECT_TRUE(r->LoadTxt(description)) << r->GetLoadError();
        return r;
    }

    testsupport::TempDir dir;
    std::vector<std::unique_ptr<Kiv::Options>> optionSets;
};

TEST_F(CompressAsciiResourceTest, ChoosesTheOutputFormatFromOptionsHintsAndSize) {
    struct Case {
        const char* name;
        const char* lines;
        uint32_t w, h;
        int channels;
        const char* options;
        uint32_t format;
        bool alpha;
    };
    const Case cases[] = {
        {"auto, opaque", "", 64, 64, 3, "-Compression=auto", 10, false},
        {"auto, masked", "AlphaHint=masked\n", 64, 64, 4, "-Compression=auto", 10, true},
        {"auto, graded", "", 64, 64, 4, "-Compression=auto", 12, true},
        {"auto, masked normal map", "AlphaHint=masked\nHint=normalmap\n", 64, 64, 4,
         "-Compression=auto", 12, true},
        {"per hint", "AlphaHint=masked\n", 64, 64, 4, "-Compression=dxt5,dxt3,none", 11, true},
        {"unknown word keeps its default", "", 64, 64, 3, "-Compression=dxt9", 1, true},
        {"exact alpha stays uncompressed", "AlphaHint=exact\n", 64, 64, 4, "-Compression=auto", 1,
         true},
        {"the description's dxt3", "Compression=dxt3\n", 64, 64, 3, "-Compression=auto", 11, true},
        {"the description's none, opaque", "Compression=none\n", 64, 64, 3, "-Compression=auto", 3,
         false},
        {"small side under 8", "", 64, 4, 3, "-Compression=auto", 3, false},
        {"larger side under 64", "", 32, 32, 4, "-Compression=dxt5", 1, true},
        {"forced 60x60", "", 60, 60, 3, "-forceOptions -Compression=dxt5", 12, true},
        {"forced 30x30", "", 30, 30, 3, "-forceOptions -Compression=dxt5", 1, true},
        {"forced without a choice", "Compression=dxt5\n", 64, 64, 3, "-forceOptions", 1, false},
        {"no options", "", 64, 64, 3, "", 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = Loaded(Description(c.lines, c.w, c.h, c.channels), c.options);
        EXPECT_EQ(r->ChooseOutputFormat(), c.format);
        EXPECT_EQ(r->HasAlpha(), c.alpha);
    }
}

TEST_F(CompressAsciiResourceTest, TheMaximumSizeKeepsTheAspect) {
    struct Case {
        uint32_t w, h;
        const char* options;
        uint32_t wantW, wantH;
    };
    const Case cases[] = {
        {2048, 1024, "-MaxTextureSize=512", 512, 256},
        {100, 300, "-MaxTextureSize=64,50", 16, 50},
        {1000, 2, "-MaxTextureSize=10", 10, 1},
        {64, 32, "-MaxTextureSize=x", 64, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        auto r = Loaded(Description("", c.w, c.h), c.options);
        uint32_t w = 0, h = 0;
        r->GetSize(w, h);
        EXPECT_EQ(w, c.wantW);
        EXPECT_EQ(h, c.wantH);
    }
}

TEST_F(CompressAsciiResourceTest, BuildsEveryLevelAtTheClampedSize) {
    auto r = Loaded(Description("", 128, 64), "-Compression=auto -MaxTextureSize=64");
    ASSERT_TRUE(r->GetMipLock(false));
    EXPECT_EQ(r->GetFormat(), 10u);
    ASSERT_EQ(r->GetNumMipLevels(), 7u);  // 64x32 down to 1x1
    EXPECT_EQ(r->GetMip(0, 0)->GetWidth(), 64u);
    EXPECT_EQ(r->GetMip(0, 0)->GetDataSize(), 16u * 8 * 8);
    EXPECT_EQ(r->GetMip(7, 0), nullptr);
    EXPECT_EQ(r->GetMip(0, 1), nullptr);

    auto single = Loaded(Description("MipFilter=none\n", 64, 64), "-Compression=auto");
    ASSERT_TRUE(single->GetMipLock(false));
    EXPECT_EQ(single->GetNumMipLevels(), 1u);
}

TEST_F(CompressAsciiResourceTest, TheGreenInversionWorksOnACopy) {
    dir.Write("p.tga", texture_test::Tga(64, 64, 4, [](uint32_t x, uint32_t) {
                  return x == 0 ? 0u : 0x10C83000u | x;  // red 16, green 200, blue 48, alpha x
              }));
    const std::string description =
        dir.Write("t.texture.txt", "Primary=p.tga\nHint=normalmap-invertgreen\nCompression=none\n");
    auto r = Loaded(description, "-Compression=auto");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(r->GetMipLock(round == 1));  // the second build is made afresh
        ASSERT_EQ(r->GetFormat(), 1u);
        const uint8_t* p = r->GetMip(0, 0)->GetData();
        EXPECT_EQ(p[1], 0);       // the zero pixel stays zero
        EXPECT_EQ(p[4 + 1], 55);  // 255 - 200
        EXPECT_EQ(p[4 + 0], 16);
    }
    EXPECT_EQ(r->GetImage(0)->GetData()[4 + 1], 200);
}

TEST_F(CompressAsciiResourceTest, BothSavesWriteAFileThatReadsBack) {
    auto r = Loaded(Description("", 64, 64), "-Compression=auto");
    const std::string out = dir / "t.texture";
    EXPECT_FALSE(r->Save(out));  // nothing built yet
    EXPECT_FALSE(std::filesystem::exists(out));
    ASSERT_TRUE(r->Save(dir.path(), "t.texture", false));
    std::string bytes = dir.Read("t.texture");
    Kiv::TextureFileContents read;
    ASSERT_EQ(
        Kiv::ReadTextureFile({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}, read),
        Kiv::TextureFileStatus::kOk);
    EXPECT_EQ(read.format, 10u);
    ASSERT_EQ(read.faces.size(), 1u);
    ASSERT_EQ(read.faces[0].size(), 7u);
    std::vector<uint8_t> decoded = dxt_test::Decode(read.faces[0][0]->GetData(), 64, 64, 8, false);
    EXPECT_LE(dxt_test::MeanDifference(decoded, r->GetImage(0)->GetData(), 3), 6.0);

    dir.Write("other.texture", "old");
    ASSERT_TRUE(r->Save(dir / "other.texture"));
    EXPECT_EQ(dir.Read("other.texture"), bytes);
    // A save into a folder that does not exist fails.
    EXPECT_FALSE(r->Save(dir / "missing/t.texture"));
}

TEST_F(CompressAsciiResourceTest, BadDescriptionsFailToLoadAndSayWhy) {
    dir.Write("p.tga", texture_test::GradientTga(8, 8));
    dir.Write("a.tga", texture_test::GradientTga(4, 8));
    dir.Write("wide.tga", texture_test::GradientTga(4097, 1));
    dir.Write("sub/inner.tga", texture_test::GradientTga(8, 8));
    std::filesystem::create_symlink(dir / "p.tga", dir / "link.tga");
    ASSERT_EQ(::mkfifo((dir / "fifo.tga").c_str(), 0600), 0);
    struct Case {
        const char* text;
        const char* why;
    };
    const Case cases[] = {
        {"Alpha=p.tga\n", "no primary image"},
        {"Primary=missing.tga\n", "cannot be loaded"},
        {"Primary=p.tga\nCompression=dxt9\n", "no value of Compression"},
        {"Primary=p.tga\nAnisotropy=17\n", "no value of Anisotropy"},
        {"Primary=../p.tga\n", "is refused"},
        {"Primary=/etc/passwd\n", "is refused"},
        {"Primary=link.tga\n", "is refused"},
        {"Primary=fifo.tga\n", "is refused"},
        {"Primary=wide.tga\n", "larger than a texture"},
        {"Primary=p.tga\nAlpha=a.tga\n", "differs in size"},
        {"Primary=t.texture.txt\n", "cannot be loaded"},
    };
    Kiv::Options options("-Compression=auto");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string path = dir.Write("t.texture.txt", c.text);
        CompressAsciiResource r(Kiv::PString(path), nullptr);
        r.SetCreationOptions(&options);
        EXPECT_FALSE(r.LoadTxt(path));
        EXPECT_NE(r.GetLoadError().find(c.why), std::string::npos) << r.GetLoadError();
        EXPECT_FALSE(r.GetMipLock(false));
    }
    // Unknown keys, a line over 512 bytes (whose rest is no line of its own) and a name in
    // another letter case or in a sub-folder are fine.
    const std::string path =
        dir.Write("t.texture.txt", "Colour=red\nPrimary=SUB\\Inner.TGA\n" + std::string(600, 'x') +
                                       "Compression=dxt9\n");
    CompressAsciiResource r(Kiv::PString(path), nullptr);
    r.SetCreationOptions(&options);
    EXPECT_TRUE(r.LoadTxt(path)) << r.GetLoadError();
    // Without creation options nothing loads.
    CompressAsciiResource bare(Kiv::PString(path), nullptr);
    EXPECT_FALSE(bare.LoadTxt(path));
}

TEST_F(CompressAsciiResourceTest, AnAlphaImageGivesItsRedChannelAsAlpha) {
    dir.Write("p.tga", texture_test::GradientTga(8, 8));
    dir.Write("a.tga", texture_test::Tga(8, 8, 3, [](uint32_t x, uint32_t) { return x << 29; }));
    const std::string path = dir.Write("t.texture.txt", "Primary=p.tga\nAlpha=a.tga\n");
    auto r = Loaded(path, "-Compression=auto");
    EXPECT_EQ(r->GetSettings().alphaHint, 1);
    EXPECT_EQ(r->GetImage(0)->GetFormat(), Kiv::Bitmap::kFormatARGB32);
    EXPECT_EQ(r->GetImage(0)->GetData()[4 * 3 + 3], 3u << 5);
}

}  // namespace
