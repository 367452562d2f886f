#include "foundation/growable_array.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

template <typename Array>
std::vector<uint32_t> CapacitiesWhilePushing(Array& a, uint32_t n) {
    std::vector<uint32_t> seen;
    for (uint32_t i = 0; i < n; ++i) {
        EXPECT_TRUE(a.PushBack(static_cast<typename Array::ValueType>(i)));
        if (seen.empty() || seen.back() != a.Capacity()) seen.push_back(a.Capacity());
    }
    return seen;
}

TEST(GrowableArray, EachInstanceGrowsInItsOwnSteps) {
    WordArray words;
    EXPECT_EQ(CapacitiesWhilePushing(words, 17), (std::vector<uint32_t>{8, 16, 24}));
    ByteVector bytes;
    EXPECT_EQ(CapacitiesWhilePushing(bytes, 129), (std::vector<uint32_t>{128, 256}));
    TextBuffer text;
    EXPECT_EQ(CapacitiesWhilePushing(text, 4097), (std::vector<uint32_t>{4096, 8192}));
    PtrArray ptrs;
    ASSERT_TRUE(ptrs.Reserve(129));
    EXPECT_EQ(ptrs.Capacity(), 256u);  // 2048-byte block in steps of 128 entries
}

TEST(GrowableArray, GrowingKeepsTheEntries) {
    WordArray words;
    for (uint32_t i = 0; i < 100; ++i)
        ASSERT_TRUE(words.PushBack(i * 7));
    ASSERT_TRUE(words.Reserve(1000));
    EXPECT_EQ(words.Capacity(), 1000u);
    EXPECT_EQ(words.Count(), 100u);
    for (uint32_t i = 0; i < 100; ++i)
        EXPECT_EQ(words[i], i * 7);
    ASSERT_TRUE(words.Reserve(10));  // never shrinks
    EXPECT_EQ(words.Capacity(), 1000u);
}

TEST(GrowableArray, TextBufferResizeAndAppend) {
    TextBuffer text;
    for (char c : std::string("kind"))
        ASSERT_TRUE(text.AppendByte(c));
    ASSERT_TRUE(text.Resize(6));
    EXPECT_EQ(text.Count(), 6u);
    EXPECT_EQ(std::string(text.Data(), 6), std::string("kind\0\0", 6));
    ASSERT_TRUE(text.Resize(2));
    ASSERT_TRUE(text.AppendByte('!'));
    EXPECT_EQ(std::string(text.Data(), text.Count()), "ki!");
    EXPECT_EQ(text.Capacity(), 4096u);
}

TEST(GrowableArray, OversizedRequestsAreRefusedAndChangeNothing) {
    WordArray words;
    ASSERT_TRUE(words.PushBack(42));
    EXPECT_FALSE(words.Reserve(UINT32_MAX));  // rounds past 32 bits
    EXPECT_FALSE(words.Resize(UINT32_MAX));
    TextBuffer text;
    EXPECT_FALSE(text.Reserve(UINT32_MAX - 10));
    EXPECT_EQ(words.Count(), 1u);
    EXPECT_EQ(words.Capacity(), 8u);
    EXPECT_EQ(words[0], 42u);
}

}  // namespace
