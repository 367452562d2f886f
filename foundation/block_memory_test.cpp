#include "foundation/block_memory.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <set>
#include <vector>

namespace {

using Utils::BlockMemory;

bool InBlock(const BlockMemory& pool, uint32_t block, const void* p) {
    const uint8_t* start = pool.GetBlockStart(block);
    size_t bytes = size_t{pool.GetElementSize()} * pool.GetElementsPerBlock();
    auto* q = static_cast<const uint8_t*>(p);
    return start != nullptr && q >= start && q < start + bytes;
}

TEST(BlockMemory, InitRoundsSizesAndRefusesWhatCannotWork) {
    struct Case {
        uint32_t size, count;
        bool ok;
        uint32_t wantSize, wantCount;
    };
    const Case cases[] = {
        {6, 40, true, 8, 64},         {1, 1, true, 4, 32},          {112, 256, true, 112, 256},
        {68, 4096, true, 68, 4096},   {0, 32, false, 0, 0},         {4, 0, false, 0, 0},
        {UINT32_MAX, 1, false, 0, 0}, {4, UINT32_MAX, false, 0, 0},
    };
    for (const Case& c : cases) {
        BlockMemory pool;
        EXPECT_EQ(pool.Init(c.size, c.count), c.ok) << c.size << " x " << c.count;
        EXPECT_EQ(pool.GetElementSize(), c.wantSize);
        EXPECT_EQ(pool.GetElementsPerBlock(), c.wantCount);
        if (!c.ok) {
            EXPECT_EQ(pool.Alloc(), nullptr);
        }
    }
}

TEST(BlockMemory, ElementsComeFromTheLastBitmapWordFirstAndAreZeroed) {
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(8, 64));
    std::vector<uint8_t*> got;
    for (int i = 0; i < 64; ++i) {
        auto* p = static_cast<uint8_t*>(pool.Alloc());
        ASSERT_NE(p, nullptr);
        got.push_back(p);
    }
    const uint8_t* start = pool.GetBlockStart(0);
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(got[i], start + (32 + i) * 8);  // word 1, lowest index first
        EXPECT_EQ(got[32 + i], start + i * 8);    // then word 0
    }
    EXPECT_EQ(pool.GetBlockCount(), 1u);
}

TEST(BlockMemory, ElementsAreZeroedWhenHandedOutAgain) {
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(8, 32));
    auto* a = static_cast<uint8_t*>(pool.Alloc());
    ASSERT_NE(pool.Alloc(), nullptr);
    std::memset(a, 0xEE, 8);
    ASSERT_TRUE(pool.Free(a));
    auto* again = static_cast<uint8_t*>(pool.Alloc());
    ASSERT_EQ(again, a);  // the lowest free index of the word
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(again[i], 0);
}

TEST(BlockMemory, FreeRefusesWhatItDoesNotHold) {
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(12, 32));
    auto* p = static_cast<uint8_t*>(pool.Alloc());
    ASSERT_NE(p, nullptr);
    int foreign = 0;
    EXPECT_FALSE(pool.Free(nullptr));
    EXPECT_FALSE(pool.Free(&foreign));
    EXPECT_FALSE(pool.Free(p + 4));  // inside an element, not its start
    EXPECT_EQ(pool.GetLiveCount(), 1u);
    EXPECT_TRUE(pool.Free(p));
    EXPECT_FALSE(pool.Free(p));  // already free
    EXPECT_EQ(pool.GetLiveCount(), 0u);
}

TEST(BlockMemory, BlocksStaySortedByAddress) {
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(16, 32));
    std::vector<void*> live;
    for (int i = 0; i < 32 * 9; ++i)
        live.push_back(pool.Alloc());
    ASSERT_EQ(pool.GetBlockCount(), 9u);
    for (uint32_t i = 1; i < pool.GetBlockCount(); ++i)
        EXPECT_LT(pool.GetBlockStart(i - 1), pool.GetBlockStart(i));
    for (void* p : live)
        EXPECT_TRUE(pool.Free(p));
}

TEST(BlockMemory, EmptiedBlockIsReleasedOnlyBeyondTheThreshold) {
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(4, 32, 0));
    std::vector<void*> a;
    for (int i = 0; i < 32; ++i)
        a.push_back(pool.Alloc());
    void* b = pool.Alloc();
    ASSERT_EQ(pool.GetBlockCount(), 2u);
    // The other block is full: no spare element, so the emptied block stays.
    ASSERT_TRUE(pool.Free(b));
    EXPECT_EQ(pool.GetBlockCount(), 2u);
    b = pool.Alloc();
    ASSERT_TRUE(pool.Free(a[0]));
    ASSERT_TRUE(pool.Free(b));  // one spare element elsewhere now: released
    EXPECT_EQ(pool.GetBlockCount(), 1u);
    EXPECT_EQ(pool.GetLiveCount(), 31u);
}

TEST(BlockMemory, DefaultThresholdToleratesOneBlockOfSpares) {
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(4, 32));
    std::vector<void*> p;
    for (int i = 0; i < 96; ++i)
        p.push_back(pool.Alloc());
    ASSERT_EQ(pool.GetBlockCount(), 3u);
    // A block fills before the next opens, so each run of 32 shares a block. Emptying one
    // block after another: the spares elsewhere are 0, then 32 (not above the threshold of
    // one block), then 64, and only the third emptied block is released.
    const uint32_t wantBlocks[] = {3, 3, 2};
    for (int run = 0; run < 3; ++run) {
        for (int i = 0; i < 32; ++i)
            ASSERT_TRUE(pool.Free(p[run * 32 + i]));
        EXPECT_EQ(pool.GetBlockCount(), wantBlocks[run]) << "run " << run;
    }
    EXPECT_EQ(pool.GetLiveCount(), 0u);
}

TEST(BlockMemory, AllocationPrefersTheFullestBlockWithRoom) {
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(4, 32));
    std::vector<void*> first;
    for (int i = 0; i < 32; ++i)
        first.push_back(pool.Alloc());
    void* lone = pool.Alloc();  // opens a second block, which becomes current
    ASSERT_EQ(pool.GetBlockCount(), 2u);
    uint32_t firstBlock = InBlock(pool, 0, first[0]) ? 0 : 1;
    // Freeing at a live count that is a multiple of 16 re-picks: the first block (31 used)
    // beats the second (1 used).
    ASSERT_TRUE(pool.Free(first[0]));  // live 33
    ASSERT_TRUE(pool.Free(first[1]));  // live 32: picks
    for (int i = 0; i < 2; ++i)
        EXPECT_TRUE(InBlock(pool, firstBlock, pool.Alloc()));
    EXPECT_TRUE(InBlock(pool, 1 - firstBlock, pool.Alloc()));  // first is full again
    EXPECT_TRUE(InBlock(pool, 1 - firstBlock, lone));
}

TEST(BlockMemory, ResetKeepsOneEmptyBlock) {
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(8, 32));
    pool.Reset();  // no block yet: nothing to do
    EXPECT_EQ(pool.GetBlockCount(), 0u);
    for (int i = 0; i < 100; ++i)
        ASSERT_NE(pool.Alloc(), nullptr);
    ASSERT_EQ(pool.GetBlockCount(), 4u);
    pool.Reset();
    EXPECT_EQ(pool.GetBlockCount(), 1u);
    EXPECT_EQ(pool.GetLiveCount(), 0u);
    std::set<void*> seen;
    for (int i = 0; i < 32; ++i) {
        void* p = pool.Alloc();
        EXPECT_TRUE(InBlock(pool, 0, p));
        seen.insert(p);
    }
    EXPECT_EQ(seen.size(), 32u);
    EXPECT_EQ(pool.GetBlockCount(), 1u);
    ASSERT_NE(pool.Alloc(), nullptr);
    EXPECT_EQ(pool.GetBlockCount(), 2u);
}

TEST(BlockMemory, FreeAllEndsServiceUntilInitAgain) {
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(8, 32));
    void* p = pool.Alloc();
    pool.FreeAll();
    EXPECT_EQ(pool.GetBlockCount(), 0u);
    EXPECT_EQ(pool.Alloc(), nullptr);
    EXPECT_FALSE(pool.Free(p));
    pool.Reset();
    ASSERT_TRUE(pool.Init(8, 32));
    EXPECT_NE(pool.Alloc(), nullptr);
}

TEST(BlockMemory, ChurnNeverHandsOutALiveElementTwice) {
    BlockMemory pool;
    ASSERT_TRUE(pool.Init(24, 64, 16));
    std::mt19937 rng(7);
    std::vector<uint32_t*> live;
    std::set<uint32_t*> liveSet;
    for (int step = 0; step < 20000; ++step) {
        bool grow = live.size() < 50 || (rng() % 100) < (step < 10000 ? 60u : 35u);
        if (grow) {
            auto* p = static_cast<uint32_t*>(pool.Alloc());
            ASSERT_NE(p, nullptr);
            ASSERT_TRUE(liveSet.insert(p).second);
            p[0] = static_cast<uint32_t>(step);
            live.push_back(p);
        } else {
            size_t i = rng() % live.size();
            uint32_t* p = live[i];
            live[i] = live.back();
            live.pop_back();
            liveSet.erase(p);
            ASSERT_TRUE(pool.Free(p));
        }
        ASSERT_EQ(pool.GetLiveCount(), live.size());
    }
    for (uint32_t i = 1; i < pool.GetBlockCount(); ++i)
        EXPECT_LT(pool.GetBlockStart(i - 1), pool.GetBlockStart(i));
}

}  // namespace
