#include "platform/kiv/res/texture_file.h"

#include <gtest/gtest.h>

#include <cstring>

namespace Kiv {
namespace {

// A DXT1 texture of 8 by 4 with its whole chain (8x4, 4x2, 2x1, 1x1), each level's bytes
// numbered so that a mix-up shows.
std::vector<std::unique_ptr<Bitmap>> Chain(uint32_t format, uint32_t w, uint32_t h, int levels) {
    std::vector<std::unique_ptr<Bitmap>> chain;
    for (int l = 0; l < levels; ++l) {
        std::unique_ptr<Bitmap> b =
            TextureBlockBytes(format) != 0
                ? Bitmap::MakeCompressed(w, h, TextureLevelBytes(format, w, h))
                : std::make_unique<Bitmap>(w, h, TextureLevelBitmapFormat(format));
        for (size_t i = 0; i < b->GetDataSize(); ++i)
            b->GetData()[i] = static_cast<uint8_t>(i + 17 * l);
        chain.push_back(std::move(b));
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    return chain;
}

std::vector<uint8_t> Written(uint32_t format, const std::vector<std::unique_ptr<Bitmap>>& chain,
                             int faces = 1) {
    std::vector<const Bitmap*> levels;
    for (const auto& b : chain)
        levels.push_back(b.get());
    MeshOutput out;
    EXPECT_TRUE(WriteTextureFile(out, format, std::vector(faces, levels)));
    return out.Take();
}

TEST(TextureFile, RoundTripsEveryFormatFaceAndLevel) {
    struct Case {
        uint32_t format;
        uint32_t width, height;
        int levels, faces;
    };
    const Case cases[] = {
        {kTextureFormatDXT1, 8, 4, 4, 1},       {kTextureFormatDXT5, 16, 16, 5, 1},
        {kTextureFormatDXT3, 4, 4, 1, 6},       {kTextureFormatARGB8888, 3, 5, 3, 1},
        {kTextureFormatRGB888, 2, 2, 2, 2},     {kTextureFormatXRGB8888, 1, 1, 1, 1},
        {kTextureFormatDXT1Other2, 2, 2, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        auto chain = Chain(c.format, c.width, c.height, c.levels);
        std::vector<uint8_t> bytes = Written(c.format, chain, c.faces);
        ASSERT_EQ(std::memcmp(bytes.data(), "JIRF", 4), 0);
        EXPECT_EQ(std::memcmp(bytes.data() + 8, "MMTF", 4), 0);
        TextureFileContents read;
        ASSERT_EQ(ReadTextureFile(bytes, read), TextureFileStatus::kOk);
        EXPECT_EQ(read.format, c.format);
        ASSERT_EQ(read.faces.size(), static_cast<size_t>(c.faces));
        for (const auto& face : read.faces) {
            ASSERT_EQ(face.size(), chain.size());
            for (size_t l = 0; l < chain.size(); ++l) {
                EXPECT_EQ(face[l]->GetWidth(), chain[l]->GetWidth());
                EXPECT_EQ(face[l]->GetHeight(), chain[l]->GetHeight());
                ASSERT_EQ(face[l]->GetDataSize(), chain[l]->GetDataSize());
                EXPECT_EQ(
                    std::memcmp(face[l]->GetData(), chain[l]->GetData(), chain[l]->GetDataSize()),
                    0);
            }
        }
    }
}

TEST(TextureFile, TheWriterRefusesLevelsThatDoNotMakeAChain) {
    auto chain = Chain(kTextureFormatDXT1, 8, 4, 4);
    MeshOutput out;
    // Levels out of order, a format that differs from the level's, past the 1 by 1 level.
    EXPECT_FALSE(WriteTextureFile(out, kTextureFormatDXT1, {{chain[1].get(), chain[0].get()}}));
    EXPECT_FALSE(WriteTextureFile(out, kTextureFormatARGB8888, {{chain[0].get()}}));
    EXPECT_FALSE(WriteTextureFile(
        out, kTextureFormatDXT1,
        {{chain[0].get(), chain[1].get(), chain[2].get(), chain[3].get(), chain[3].get()}}));
    EXPECT_FALSE(WriteTextureFile(out, 7, {{chain[0].get()}}));
    EXPECT_FALSE(WriteTextureFile(out, kTextureFormatDXT1, {}));
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
    std::memcpy(bytes.data() + at, &v, 4);
}

TEST(TextureFile, DamagedFilesAreRefusedWithTheirReason) {
    const std::vector<uint8_t> good =
        Written(kTextureFormatDXT1, Chain(kTextureFormatDXT1, 8, 4, 4));
    // Offsets: 0 magic, 4 size, 8 type, 12 version, 16 format, 20 faces, 24 levels, 28 level 0
    // width, 32 height, 36 format, 40 byte count.
    struct Case {
        const char* name;
        void (*damage)(std::vector<uint8_t>&);
        TextureFileStatus want;
    };
    const Case cases[] = {
        {"magic in lower case", [](auto& b) { std::memcpy(b.data(), "jirf", 4); },
         TextureFileStatus::kNotATextureFile},
        {"a mesh type", [](auto& b) { std::memcpy(b.data() + 8, "IDXM", 4); },
         TextureFileStatus::kNotATextureFile},
        {"size one past the file",
         [](auto& b) { PutU32(b, 4, static_cast<uint32_t>(b.size() - 7)); },
         TextureFileStatus::kNotATextureFile},
        {"size one short", [](auto& b) { PutU32(b, 4, static_cast<uint32_t>(b.size() - 9)); },
         TextureFileStatus::kBadData},
        {"trailing byte",
         [](auto& b) {
             b.push_back(0);
             PutU32(b, 4, static_cast<uint32_t>(b.size() - 8));
         },
         TextureFileStatus::kBadData},
        {"version 2", [](auto& b) { PutU32(b, 12, 2); }, TextureFileStatus::kVersion},
        {"unknown format", [](auto& b) { PutU32(b, 16, 7); }, TextureFileStatus::kBadData},
        {"no face", [](auto& b) { PutU32(b, 20, 0); }, TextureFileStatus::kBadData},
        {"seven faces", [](auto& b) { PutU32(b, 20, 7); }, TextureFileStatus::kBadData},
        {"more levels than the chain", [](auto& b) { PutU32(b, 24, 5); },
         TextureFileStatus::kBadData},
        {"huge width", [](auto& b) { PutU32(b, 28, 0x40000000); }, TextureFileStatus::kBadData},
        {"byte count that lies", [](auto& b) { PutU32(b, 40, 0xFFFFFFF0u); },
         TextureFileStatus::kBadData},
        {"level format differs", [](auto& b) { PutU32(b, 36, 12); }, TextureFileStatus::kBadData},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        TextureFileContents read;
        EXPECT_EQ(ReadTextureFile(bytes, read), c.want);
        EXPECT_TRUE(read.faces.empty());
    }
}

TEST(TextureFile, EveryTruncationIsRefused) {
    const std::vector<uint8_t> good =
        Written(kTextureFormatDXT5, Chain(kTextureFormatDXT5, 8, 8, 4));
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
        TextureFileContents read;
        EXPECT_NE(ReadTextureFile(cut, read), TextureFileStatus::kOk) << n;
    }
}

}  // namespace
}  // namespace Kiv
