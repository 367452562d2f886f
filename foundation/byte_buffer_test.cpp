#include "foundation/byte_buffer.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<uint8_t> Bytes(const ByteBuffer& b) {
    return std::vector<uint8_t>(b.GetData(), b.GetData() + b.GetSize());
}

TEST(ByteBuffer, GrowsByTheStepOnceTheCapacityIsReached) {
    ByteBuffer b(64);
    EXPECT_EQ(b.GetGrowStep(), 64u);
    for (uint32_t i = 0; i < 15; ++i)
        ASSERT_TRUE(b.AppendU32(i));
    EXPECT_EQ(b.GetCapacity(), 64u);
    ASSERT_TRUE(b.AppendU32(15));  // EnsureSize(64) finds 64 not below the capacity
    EXPECT_EQ(b.GetCapacity(), 128u);
    EXPECT_EQ(b.GetSize(), 64u);
    EXPECT_EQ(b.GetCursor(), 64u);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(b.GetData()) % 4, 0u);
    ASSERT_TRUE(b.SetCursor(0));
    for (uint32_t i = 0; i < 16; ++i) {
        uint32_t v = 0;
        ASSERT_TRUE(b.ReadU32(v));
        EXPECT_EQ(v, i);
    }
}

TEST(ByteBuffer, AppendsAreLittleEndianAndReadBack) {
    ByteBuffer b(4);
    const uint8_t block[] = {8, 9};
    ASSERT_TRUE(b.AppendU8(1));
    ASSERT_TRUE(b.AppendU16(0x0302));
    ASSERT_TRUE(b.AppendU32(0x07060504));
    ASSERT_TRUE(b.AppendBytes(block, 2));
    ASSERT_TRUE(b.AppendBytes(nullptr, 0));
    EXPECT_FALSE(b.AppendBytes(nullptr, 1));
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    ASSERT_TRUE(b.SetCursor(0));
    uint8_t u8 = 0;
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    uint8_t two[2] = {};
    EXPECT_TRUE(b.ReadU8(u8) && b.ReadU16(u16) && b.ReadU32(u32) && b.ReadBytes(two, 2));
    EXPECT_EQ(u8, 1);
    EXPECT_EQ(u16, 0x0302);
    EXPECT_EQ(u32, 0x07060504u);
    EXPECT_EQ(two[1], 9);
    EXPECT_EQ(b.GetFlags(), 0u);
}

TEST(ByteBuffer, ReadsAndCursorMovesPastTheSizeAreRefused) {
    ByteBuffer b(16);
    ASSERT_TRUE(b.AppendU32(0xAABBCCDD));
    ASSERT_TRUE(b.AppendU16(7));
    ASSERT_TRUE(b.SetCursor(4));
    uint32_t v = 0x12345678;
    EXPECT_FALSE(b.ReadU32(v));  // two bytes left
    EXPECT_EQ(v, 0x12345678u);
    EXPECT_EQ(b.GetCursor(), 4u);
    EXPECT_EQ(b.GetFlags(), ByteBuffer::kOutOfRange);
    EXPECT_FALSE(b.SetCursor(7));
    EXPECT_EQ(b.GetCursor(), 4u);
    EXPECT_TRUE(b.SetCursor(6));  // the end itself is a valid position
    EXPECT_TRUE(b.AppendU8(1));   // the flag does not stop writing
}

TEST(ByteBuffer, WritingBelowTheSizePatchesInPlace) {
    ByteBuffer b(16);
    for (uint32_t i = 0; i < 3; ++i)
        ASSERT_TRUE(b.AppendU32(i));
    ASSERT_TRUE(b.SetCursor(4));
    ASSERT_TRUE(b.AppendU32(0xFFFFFFFF));
    EXPECT_EQ(b.GetSize(), 12u);
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0}));
}

TEST(ByteBuffer, EnsureSizeZeroFillsAndFailureIsSticky) {
    ByteBuffer b(8);
    ASSERT_TRUE(b.AppendU8(0x55));
    ASSERT_TRUE(b.EnsureSize(20));
    EXPECT_EQ(b.GetSize(), 20u);
    EXPECT_EQ(b.GetCapacity(), 28u);
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{0x55, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                              0,    0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_FALSE(b.EnsureSize(UINT32_MAX));  // capacity would overflow
    EXPECT_TRUE(b.HasFailed());
    EXPECT_EQ(b.GetSize(), 20u);
    EXPECT_EQ(b.GetCapacity(), 28u);
    EXPECT_FALSE(b.AppendU32(1));
    EXPECT_FALSE(b.EnsureSize(4));
    EXPECT_EQ(b.GetCursor(), 1u);
    EXPECT_EQ(b.GetData()[0], 0x55);  // the old block is kept
    b.Reset();
    EXPECT_EQ(b.GetFlags(), 0u);
    EXPECT_EQ(b.GetSize(), 0u);
    EXPECT_EQ(b.GetCapacity(), 8u);
    EXPECT_TRUE(b.AppendU32(1));
}

TEST(ByteBuffer, WithoutABlockAppendsFail) {
    ByteBuffer b;
    EXPECT_FALSE(b.AppendU32(1));
    EXPECT_TRUE(b.HasFailed());
    ASSERT_TRUE(b.Init(1024));
    EXPECT_FALSE(b.HasFailed());
    EXPECT_TRUE(b.AppendU32(1));
    b.Free();
    EXPECT_EQ(b.GetData(), nullptr);
    EXPECT_FALSE(b.AppendU8(1));
}

}  // namespace

namespace {

// Growth is geometric: appending a large image one word at a time reallocates only a
// logarithmic number of times.
TEST(ByteBuffer, GrowthAtLeastDoubles) {
    ByteBuffer b(16);
    uint32_t reallocations = 0;
    uint32_t capacity = b.GetCapacity();
    for (uint32_t i = 0; i < (1u << 18); ++i) {
        ASSERT_TRUE(b.AppendU32(i));
        if (b.GetCapacity() != capacity) {
            EXPECT_GE(b.GetCapacity(), 2 * capacity);
            capacity = b.GetCapacity();
            ++reallocations;
        }
    }
    EXPECT_LE(reallocations, 20u);
}

}  // namespace
