#include "platform/kiv/geom/mesh_file_support.h"

#include <gtest/gtest.h>

namespace {

using Kiv::MeshFileSupport;

TEST(MeshFileSupport, PaddedStringsRoundTripAtEveryLength) {
    for (std::string text : {"", "a", "ab", "abc", "abcd", "abcdefg"}) {
        Kiv::MeshOutput out;
        MeshFileSupport::WritePaddedString(out, text);
        out.WriteU32(7);
        EXPECT_EQ(out.Tell() % 4, 0u);
        EXPECT_EQ(out.Tell(), MeshFileSupport::PaddedSize(text.size()) + 4);
        Kiv::MemoryFile f;
        f.OpenBytes(out.Bytes());
        std::string back;
        ASSERT_TRUE(MeshFileSupport::ReadPaddedString(f, f.GetSize(), back));
        EXPECT_EQ(back, text);
        uint32_t after = 0;
        ASSERT_TRUE(f.Read(after));
        EXPECT_EQ(after, 7u);
    }
}

// A string must end, padding included, before the end of the chunk it is read in.
TEST(MeshFileSupport, PaddedStringWithoutAnEndInsideItsChunkIsRefused) {
    const uint8_t bytes[] = {'a', 'b', 'c', 'd', 'e', 0, 0, 0, 'x', 'y'};
    Kiv::MemoryFile f;
    f.OpenBytes(bytes);
    std::string out;
    EXPECT_FALSE(MeshFileSupport::ReadPaddedString(f, 4, out));  // no NUL before 4
    EXPECT_FALSE(MeshFileSupport::ReadPaddedString(f, 7, out));  // NUL at 5, padding to 8
    EXPECT_EQ(f.Tell(), 0u);
    EXPECT_TRUE(MeshFileSupport::ReadPaddedString(f, 100, out));  // the limit is the data's end
    EXPECT_EQ(out, "abcde");
    EXPECT_FALSE(MeshFileSupport::ReadPaddedString(f, 100, out));  // "xy" has no NUL
    EXPECT_EQ(f.Tell(), 8u);
}

TEST(MeshFileSupport, SizeMarksNestAndIdsNeedFourBytes) {
    Kiv::MeshOutput out;
    size_t outer = MeshFileSupport::MarkSizePos(out);
    out.WriteU32(1);
    size_t inner = MeshFileSupport::MarkSizePos(out);
    out.WriteU8(2);
    MeshFileSupport::WriteSizeAtMark(out, inner);
    MeshFileSupport::WriteSizeAtMark(out, outer);
    Kiv::MemoryFile f;
    f.OpenBytes(out.Bytes());
    uint32_t a, b, c;
    ASSERT_TRUE(f.Read(a) && f.Read(b) && f.Read(c));
    EXPECT_EQ(a, 9u);
    EXPECT_EQ(c, 1u);
    char id[4];
    EXPECT_FALSE(MeshFileSupport::PeekId(f, id));
    EXPECT_FALSE(MeshFileSupport::ReadId(f, id));
    EXPECT_EQ(f.Tell(), 12u);
}

}  // namespace
