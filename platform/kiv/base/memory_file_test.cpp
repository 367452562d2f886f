#include "platform/kiv/base/memory_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "platform/kiv/base/file.h"

namespace {

TEST(MemoryFile, ReadsStopAtTheEndWithoutMoving) {
    const uint8_t bytes[] = {1, 0, 0, 0, 2, 0};
    Kiv::MemoryFile f;
    f.OpenBytes(bytes);
    uint32_t v = 0;
    ASSERT_TRUE(f.Read(v));
    EXPECT_EQ(v, 1u);
    EXPECT_FALSE(f.Read(v));  // two bytes left
    EXPECT_EQ(f.Tell(), 4u);
    uint16_t s = 0;
    EXPECT_TRUE(f.Read(s));
    EXPECT_EQ(f.Remaining(), 0u);
    EXPECT_FALSE(f.Seek(7));
    EXPECT_EQ(f.Peek(1), nullptr);
}

TEST(MemoryFile, OpensAWholeFileAndKeepsItsPath) {
    auto path = std::filesystem::temp_directory_path() / "memory_file_test.bin";
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fputs("JIRF", out);
    std::fclose(out);
    Kiv::File file;
    ASSERT_TRUE(file.Open(path.string(), Kiv::File::kModeRead));
    Kiv::MemoryFile m;
    ASSERT_TRUE(m.Open(file, false, 0));
    EXPECT_EQ(m.GetSize(), 4u);
    EXPECT_EQ(m.GetName(), path.string());
    Kiv::File closed;
    EXPECT_FALSE(m.Open(closed));
    EXPECT_FALSE(m.HasData());
    std::filesystem::remove(path);
}

}  // namespace
