#include "foundation/blocklist.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using List = BlockList<int, 13>;

template <typename L>
std::vector<int> Contents(const L& list) {
    std::vector<int> out;
    for (int v : list)
        out.push_back(v);
    return out;
}

int Blocks(const List& list) {
    const List::Block* head = list.GetHead();
    if (head == nullptr) return 0;
    int n = 0;
    const List::Block* b = head;
    do {
        ++n;
        b = b->next;
    } while (b != head);
    return n;
}

TEST(BlockList, FourteenthEntryOpensABlockAndErasingItFreesIt) {
    List list;
    EXPECT_EQ(list.Count(), 0u);
    for (int i = 0; i < 13; ++i)
        EXPECT_EQ(list.Append(i), static_cast<uint32_t>(i));
    EXPECT_EQ(Blocks(list), 1);
    EXPECT_EQ(list.Append(13), 0u);  // index in its own block
    EXPECT_EQ(Blocks(list), 2);
    EXPECT_EQ(list.Count(), 14u);
    auto next = list.Erase(list.Find(13));
    EXPECT_TRUE(next.IsEnd());
    EXPECT_EQ(Blocks(list), 1);
    EXPECT_EQ(list.Count(), 13u);
}

TEST(BlockList, ErasingTheOnlyEntryEmptiesTheList) {
    List list;
    list.Append(5);
    EXPECT_TRUE(list.Erase(list.Begin()).IsEnd());
    EXPECT_EQ(list.GetHead(), nullptr);
    EXPECT_EQ(list.Count(), 0u);
}

TEST(BlockList, EraseShiftsAndReturnsTheFollowingEntry) {
    List list;
    for (int i = 0; i < 30; ++i)
        list.Append(i);
    auto it = list.Erase(list.Find(4));
    EXPECT_EQ(*it, 5);
    it = list.Erase(list.Find(12));  // last entry of the first block after the shift
    EXPECT_EQ(*it, 13);              // crosses into the second block
    std::vector<int> expected;
    for (int i = 0; i < 30; ++i) {
        if (i != 4 && i != 12) expected.push_back(i);
    }
    EXPECT_EQ(Contents(list), expected);
}

TEST(BlockList, EmptiedFirstBlockMakesItsSuccessorFirst) {
    List list;
    for (int i = 0; i < 14; ++i)
        list.Append(i);
    auto it = list.Begin();
    for (int i = 0; i < 13; ++i)
        it = list.Erase(it);
    EXPECT_EQ(Blocks(list), 1);
    EXPECT_EQ(Contents(list), std::vector<int>{13});
    EXPECT_EQ(*it, 13);
}

TEST(BlockList, EraseUnorderedMovesTheLastEntryAndFreesAnEmptiedBlock) {
    List list;
    for (int i = 0; i < 14; ++i)
        list.Append(i);
    auto it = list.EraseUnordered(list.Find(2));
    EXPECT_EQ(*it, 12);
    // The second block holds only 13; erasing it must free the block.
    it = list.EraseUnordered(list.Find(13));
    EXPECT_TRUE(it.IsEnd());
    EXPECT_EQ(Blocks(list), 1);
    EXPECT_EQ(list.Count(), 12u);
}

TEST(BlockList, IteratorsCrossBlocksBothWays) {
    BlockList<int, 4> list;
    for (int i = 0; i < 10; ++i)
        list.Append(i);
    auto firstOfSecond = list.At(4);
    EXPECT_EQ(*firstOfSecond, 4);
    auto back = firstOfSecond;
    back.Advance(-1);
    EXPECT_EQ(*back, 3);
    EXPECT_EQ(*list.At(9), 9);
    EXPECT_TRUE(list.At(10).IsEnd());
    auto it = list.At(7);
    EXPECT_EQ(*it.Advance(-7), 0);
    EXPECT_TRUE(list.At(2).Advance(-3).IsEnd());
    EXPECT_EQ(*list.Begin().Advance(6), 6);
    EXPECT_EQ(*list.Last(), 9);
}

TEST(BlockList, FindAndFreeAll) {
    List list;
    EXPECT_TRUE(list.Find(1).IsEnd());
    for (int i = 0; i < 40; ++i)
        list.Append(i % 20);
    auto it = list.Find(19);
    ASSERT_FALSE(it.IsEnd());
    EXPECT_EQ(it.GetBlock(), list.GetHead()->next);  // first occurrence, second block
    list.FreeAll();
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_TRUE(list.Begin().IsEnd());
}

}  // namespace
