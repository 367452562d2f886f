#include "foundation/paged_array.h"

#include <gtest/gtest.h>

namespace {

TEST(BlockArray, PagesAreMadeOnDemandFromTheNamedHeap) {
    EXPECT_EQ(BlockArrayHeap().GetName(), "#BlockArray");
    long before = BlockArrayHeap().LiveBlocks();
    {
        BlockArray<uint32_t> a;
        EXPECT_EQ(BlockArray<uint32_t>::kPageBytes, 4096u);
        uint32_t* page0 = a.PageFor(5);
        ASSERT_NE(page0, nullptr);
        EXPECT_EQ(a.GetDirectoryLength(), 1u);
        EXPECT_EQ(a.PageFor(1023), page0);
        // Index 1024 grows the one-page directory to two entries and makes only page 1.
        uint32_t* page1 = a.PageFor(1024);
        ASSERT_NE(page1, nullptr);
        EXPECT_NE(page1, page0);
        EXPECT_EQ(a.GetDirectoryLength(), 2u);
        EXPECT_EQ(BlockArrayHeap().LiveBlocks(), before + 2);
        // A far index makes its page alone; the pages between stay absent.
        ASSERT_NE(a.PageFor(10 * 1024 + 3), nullptr);
        EXPECT_EQ(a.GetDirectoryLength(), 11u);
        EXPECT_TRUE(a.HasPage(10));
        EXPECT_FALSE(a.HasPage(5));
        EXPECT_EQ(BlockArrayHeap().LiveBlocks(), before + 3);
    }
    EXPECT_EQ(BlockArrayHeap().LiveBlocks(), before);
}

TEST(BlockArray, EntriesStartZeroAndStayPut) {
    BlockArray<void*> a;
    EXPECT_EQ(a.Get(70000), nullptr);
    EXPECT_EQ(a.GetDirectoryLength(), 0u);  // Get makes no page
    int x = 0, y = 0;
    void** slot = a.At(70000);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(*slot, nullptr);
    *slot = &x;
    *a.At(3) = &y;  // a lower page later: the directory keeps what it had
    EXPECT_EQ(a.At(70000), slot);
    EXPECT_EQ(a.Get(70000), &x);
    EXPECT_EQ(a.Get(3), &y);
    EXPECT_EQ(a.Get(70001), nullptr);
    a.FreeAll();
    EXPECT_EQ(a.GetDirectoryLength(), 0u);
    EXPECT_EQ(a.Get(70000), nullptr);
}

TEST(BlockArray, TheHighestIndexHasAPage) {
    BlockArray<uint8_t> a;
    uint8_t* last = a.At(UINT32_MAX);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(a.GetDirectoryLength(), (UINT32_MAX >> 10) + 1);
    *last = 9;
    EXPECT_EQ(a.Get(UINT32_MAX), 9);
}

}  // namespace
