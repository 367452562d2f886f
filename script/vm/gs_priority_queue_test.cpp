#include "script/vm/gs_priority_queue.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Message {
    uint32_t delay;
    int id;
    uint32_t DelayWord() const { return delay; }
};

TEST(PriorityQueue, PopsByTheLow30BitsOfTheDelayWord) {
    Utils::PriorityQueue<Message> q;
    std::vector<Message> m = {{0x80000000u | 50, 1}, {30, 2}, {0xC0000000u | 10, 3}, {40, 4}};
    for (auto& e : m)
        q.Push(&e);
    std::vector<int> order;
    while (Message* e = q.Pop())
        order.push_back(e->id);
    EXPECT_EQ(order, (std::vector<int>{3, 2, 4, 1}));
    EXPECT_EQ(q.Pop(), nullptr);
}

// Messages due at the same time: a later one never moves above an earlier one on its way up,
// so each stays where it was queued and the first queued leaves first.
TEST(PriorityQueue, EqualDueTimesNeverPassEachOtherOnTheWayUp) {
    Utils::PriorityQueue<Message> q;
    std::vector<Message> m;
    for (int i = 0; i < 8; ++i)
        m.push_back({7, i});
    for (auto& e : m)
        q.Push(&e);
    for (uint32_t i = 1; i <= q.Count(); ++i)
        EXPECT_EQ(q.At(i)->id, static_cast<int>(i - 1));
    Message early{3, 100};
    q.Push(&early);
    EXPECT_EQ(q.Pop()->id, 100);
    EXPECT_EQ(q.Pop()->id, 0);
}

}  // namespace
