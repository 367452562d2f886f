#include "platform/kiv/base/dynamic_buffer.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(DynamicBuffer, GrowsInStepsAndReadsReturnTheCountDelivered) {
    Kiv::DynamicBuffer b(100);
    ASSERT_TRUE(b.Write("abcdef", 6));
    EXPECT_EQ(b.GetLength(), 6u);
    EXPECT_EQ(b.GetAllocated(), 100u);
    b.Seek(2);
    char out[10] = {};
    EXPECT_EQ(b.Read(out, 10), 4u);
    EXPECT_STREQ(out, "cdef");
    EXPECT_EQ(b.Read(out, 10), 0u);
}

// A long run of small writes grows the allocation geometrically: each growth copies what was
// written, so fixed steps would cost time in the square of the length.
TEST(DynamicBuffer, ALongRunOfSmallWritesGrowsTheAllocationGeometrically) {
    Kiv::DynamicBuffer b;
    uint32_t growths = 0;
    uint32_t allocated = 0;
    for (int i = 0; i < 200000; ++i) {
        ASSERT_TRUE(b.Write("0123456789", 10));
        if (b.GetAllocated() != allocated) {
            allocated = b.GetAllocated();
            ++growths;
        }
    }
    EXPECT_EQ(b.GetLength(), 2000000u);
    EXPECT_LE(growths, 30u);
    EXPECT_LT(b.GetAllocated(), 2u * b.GetLength());
}

TEST(DynamicBuffer, SeeksAreClampedToTheAllocation) {
    Kiv::DynamicBuffer b(64);
    b.Write("x", 1);
    EXPECT_EQ(b.Seek(1000), 64u);
    EXPECT_EQ(b.GetPosition(), 64u);
}

TEST(DynamicBuffer, WritePastTheDataEndZeroFillsTheGap) {
    Kiv::DynamicBuffer b(64);
    b.Write("ab", 2);
    b.Grow(64);
    b.Seek(10);
    b.Write("z", 1);
    ASSERT_EQ(b.GetLength(), 11u);
    const uint8_t* d = b.GetData();
    for (int i = 2; i < 10; ++i)
        EXPECT_EQ(d[i], 0) << i;
    EXPECT_EQ(d[10], 'z');
}

TEST(DynamicBuffer, FailedAllocationChangesNothing) {
    Kiv::DynamicBuffer b(16);
    b.SetAllocationLimit(32);
    ASSERT_TRUE(b.Write("0123456789", 10));
    char big[40] = {};
    EXPECT_FALSE(b.Write(big, sizeof big));
    EXPECT_EQ(b.GetLength(), 10u);
    EXPECT_EQ(b.GetPosition(), 10u);
    EXPECT_FALSE(b.Grow(100));
}

TEST(DynamicBuffer, EmptyKeepsTheAllocation) {
    Kiv::DynamicBuffer b(64);
    b.Write("abc", 3);
    b.Empty();
    EXPECT_EQ(b.GetLength(), 0u);
    EXPECT_EQ(b.GetPosition(), 0u);
    EXPECT_EQ(b.GetAllocated(), 64u);
}

}  // namespace
