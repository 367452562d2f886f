#include "foundation/crc32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Crc32, StandardCheckValues) {
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32("a", 1), 0xE8B7BE43u);
    EXPECT_EQ(Crc32("", 0), 0u);
    EXPECT_EQ(Crc32(nullptr, 5), 0u);
    const unsigned char zeros[4] = {};
    EXPECT_EQ(Crc32(zeros, 4), 0x2144DF1Cu);
}

TEST(Crc32, NoCaseLowersLettersOnly) {
    EXPECT_EQ(Crc32NoCase("HalvexScriptBase.GS"), Crc32("halvexscriptbase.gs", 19));
    EXPECT_EQ(Crc32NoCase("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc32NoCase("\xC9t\xC9"), Crc32("\xC9t\xC9", 3));  // bytes above 0x7F kept
    EXPECT_EQ(Crc32NoCase(""), 0u);
    EXPECT_EQ(Crc32NoCase(nullptr), 0u);
    // Longer than the internal chunk: the pieces join up.
    std::string mixed, lower;
    for (int i = 0; i < 1000; ++i) {
        mixed += static_cast<char>(i % 2 ? 'A' + i % 26 : 'a' + i % 26);
        lower += static_cast<char>('a' + i % 26);
    }
    EXPECT_EQ(Crc32NoCase(mixed.c_str()), Crc32(lower.data(), lower.size()));
}

}  // namespace
