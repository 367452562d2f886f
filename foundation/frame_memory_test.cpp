#include "foundation/frame_memory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using Utils::FrameMemory;

TEST(FrameMemory, SpanLargerThanAFrameIsRefusedAndAFullFrameOnlyFitsAnEmptyOne) {
    FrameMemory fm;
    EXPECT_EQ(fm.Alloc(2049, 1), nullptr);
    EXPECT_EQ(fm.Alloc(2048, 2), nullptr);  // 2049 with the alignment slack
    ASSERT_NE(fm.Alloc(2048, 1), nullptr);
    EXPECT_EQ(fm.GetFrameCount(), 1u);
    ASSERT_NE(fm.Alloc(1, 1), nullptr);
    EXPECT_EQ(fm.GetFrameCount(), 2u);
    ASSERT_NE(fm.Alloc(2048, 1), nullptr);  // the second frame holds a byte: a third opens
    EXPECT_EQ(fm.GetFrameCount(), 3u);
}

TEST(FrameMemory, AlignmentSlackIsChargedInFull) {
    FrameMemory fm;
    for (int i = 0; i < 256; ++i) {
        void* p = fm.Alloc(1, 8);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 8, 0u);
    }
    EXPECT_EQ(fm.GetFrameCount(), 1u);
    ASSERT_NE(fm.Alloc(1, 8), nullptr);
    EXPECT_EQ(fm.GetFrameCount(), 2u);
    EXPECT_EQ(fm.GetBytesHandedOut(), 257u * 8);
    EXPECT_EQ(fm.GetAllocationCount(), 257u);
}

TEST(FrameMemory, ResultsAreAlignedAndDoNotOverlap) {
    FrameMemory fm;
    uint8_t* prevEnd = nullptr;
    for (uint32_t alignment : {1u, 2u, 4u, 16u, 64u, 1u, 8u}) {
        auto* p = static_cast<uint8_t*>(fm.Alloc(5, alignment));
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % alignment, 0u) << alignment;
        if (prevEnd != nullptr) {
            EXPECT_GE(p, prevEnd);
        }
        std::memset(p, 0xAB, 5);
        prevEnd = p + 5;
    }
}

TEST(FrameMemory, BadAlignmentsAndOverflowingSizesAreRefused) {
    FrameMemory fm;
    for (uint32_t alignment : {0u, 3u, 6u, 12u})
        EXPECT_EQ(fm.Alloc(4, alignment), nullptr) << alignment;
    EXPECT_EQ(fm.Alloc(UINT32_MAX, 2), nullptr);
    EXPECT_EQ(fm.Alloc(UINT32_MAX - 1, 0x80000000u), nullptr);
    EXPECT_EQ(fm.GetAllocationCount(), 0u);
}

TEST(FrameMemory, FrameSizeCanBeChosen) {
    FrameMemory fm(4096);
    EXPECT_EQ(fm.GetFrameSize(), 4096u);
    EXPECT_EQ(fm.Alloc(4097, 1), nullptr);
    EXPECT_NE(fm.Alloc(4096, 1), nullptr);
    EXPECT_EQ(fm.GetFrameCount(), 1u);
}

TEST(FrameMemory, StrDupCopiesWithoutMergingAndRefusesWhatCannotFit) {
    FrameMemory fm;
    char* a = fm.StrDup("symbol");
    char* b = fm.StrDup("symbol");
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_STREQ(a, "symbol");
    EXPECT_STREQ(b, "symbol");
    EXPECT_STREQ(fm.StrDup(""), "");
    EXPECT_EQ(fm.StrDup(nullptr), nullptr);
    std::string tooLong(2048, 'x');  // 2049 bytes with its NUL
    EXPECT_EQ(fm.StrDup(tooLong.c_str()), nullptr);
    tooLong.pop_back();
    EXPECT_NE(fm.StrDup(tooLong.c_str()), nullptr);
}

TEST(FrameMemory, FreeAllEndsServiceAndRewindKeepsTheFrames) {
    FrameMemory fm;
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(fm.Alloc(2000, 1), nullptr);
    EXPECT_EQ(fm.GetFrameCount(), 3u);
    fm.Rewind();
    EXPECT_EQ(fm.GetAllocationCount(), 0u);
    for (int i = 0; i < 3; ++i)
        ASSERT_NE(fm.Alloc(2000, 1), nullptr);
    EXPECT_EQ(fm.GetFrameCount(), 3u);  // reused in chain order, none added
    ASSERT_NE(fm.Alloc(2000, 1), nullptr);
    EXPECT_EQ(fm.GetFrameCount(), 4u);

    fm.FreeAll();
    EXPECT_EQ(fm.GetFrameCount(), 0u);
    EXPECT_EQ(fm.GetFrameSize(), 0u);
    EXPECT_EQ(fm.Alloc(1, 1), nullptr);
    EXPECT_EQ(fm.StrDup("x"), nullptr);
    fm.Rewind();  // nothing to rewind
    EXPECT_EQ(fm.Alloc(1, 1), nullptr);
}

}  // namespace
