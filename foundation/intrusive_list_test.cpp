#include "foundation/intrusive_list.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

std::vector<const IntrusiveListNode*> Forward(const IntrusiveListOwner& owner) {
    std::vector<const IntrusiveListNode*> out;
    for (const IntrusiveListNode* n = owner.first; n != nullptr; n = n->GetNext())
        out.push_back(n);
    return out;
}

TEST(IntrusiveListNode, UnlinkFixesTheOwnersEnds) {
    // Which node leaves, and what stays in order.
    struct Case {
        int leaving;
        std::vector<int> rest;
    };
    const Case cases[] = {{0, {1, 2}}, {1, {0, 2}}, {2, {0, 1}}};
    for (const Case& c : cases) {
        IntrusiveListOwner owner;
        IntrusiveListNode nodes[3];
        for (auto& n : nodes)
            ASSERT_TRUE(owner.PushBack(&n));
        nodes[c.leaving].Unlink();
        EXPECT_EQ(nodes[c.leaving].GetOwner(), nullptr);
        std::vector<const IntrusiveListNode*> want;
        for (int i : c.rest)
            want.push_back(&nodes[i]);
        EXPECT_EQ(Forward(owner), want) << c.leaving;
        EXPECT_EQ(owner.last, want.back());
        EXPECT_EQ(owner.last->GetNext(), nullptr);
        EXPECT_EQ(owner.first->GetPrev(), nullptr);
    }
}

TEST(IntrusiveListNode, LastNodeLeavingEmptiesTheOwner) {
    IntrusiveListOwner owner, other;
    {
        IntrusiveListNode n;
        ASSERT_TRUE(owner.PushBack(&n));
        EXPECT_FALSE(other.PushBack(&n));
        IntrusiveListNode loose;
        loose.Unlink();  // no owner: nothing happens
    }                    // n leaves as it dies
    EXPECT_EQ(owner.first, nullptr);
    EXPECT_EQ(owner.last, nullptr);
}

class Counted : public Utils::IDoubleLinkListNode {
public:
    explicit Counted(int* deaths) : deaths_(deaths) {}
    ~Counted() override { ++*deaths_; }

private:
    int* deaths_;
};

std::vector<const Utils::IDoubleLinkListNode*> Forward(const IntrusiveList& list) {
    std::vector<const Utils::IDoubleLinkListNode*> out;
    for (auto* n = list.First(); n != nullptr; n = list.Next(n))
        out.push_back(n);
    return out;
}

TEST(IntrusiveList, LinksAtBothEndsAndRemovesOnlyItsOwnNodes) {
    int deaths = 0;
    IntrusiveList list, other;
    Counted a(&deaths), b(&deaths), c(&deaths);
    EXPECT_TRUE(list.IsEmpty());
    EXPECT_EQ(list.First(), nullptr);
    ASSERT_TRUE(list.PushBack(&b));
    ASSERT_TRUE(list.PushFront(&a));
    ASSERT_TRUE(list.PushBack(&c));
    EXPECT_FALSE(other.PushBack(&a));  // already linked
    EXPECT_EQ(Forward(list), (std::vector<const Utils::IDoubleLinkListNode*>{&a, &b, &c}));
    EXPECT_EQ(list.Prev(&a), nullptr);
    EXPECT_EQ(list.Last(), &c);
    EXPECT_FALSE(other.Remove(&b));
    EXPECT_TRUE(list.Remove(&b));
    EXPECT_FALSE(list.Remove(&b));
    EXPECT_EQ(list.Count(), 2u);
    EXPECT_EQ(Forward(list), (std::vector<const Utils::IDoubleLinkListNode*>{&a, &c}));
}

TEST(IntrusiveList, ClearUnlinksWithoutFreeing) {
    int deaths = 0;
    IntrusiveList list, other;
    Counted a(&deaths), b(&deaths);
    list.PushBack(&a);
    list.PushBack(&b);
    list.Clear();
    EXPECT_EQ(deaths, 0);
    EXPECT_EQ(list.Count(), 0u);
    EXPECT_EQ(list.First(), nullptr);
    EXPECT_FALSE(a.IsLinked());
    EXPECT_TRUE(other.PushBack(&a));  // free to join another list
    {
        Counted gone(&deaths);
        other.PushBack(&gone);
    }  // takes itself out as it dies
    EXPECT_EQ(other.Count(), 1u);
    EXPECT_EQ(Forward(other), (std::vector<const Utils::IDoubleLinkListNode*>{&a}));
}

TEST(NodeList, ClearAndFreeDeletesEveryNode) {
    int deaths = 0;
    {
        NodeList list;
        for (int i = 0; i < 3; ++i)
            list.PushBack(new Counted(&deaths));
        list.ClearAndFree();
        EXPECT_EQ(deaths, 3);
        EXPECT_TRUE(list.IsEmpty());
        EXPECT_EQ(list.First(), nullptr);
        list.PushBack(new Counted(&deaths));
    }  // the list's end frees what it still holds
    EXPECT_EQ(deaths, 4);
}

}  // namespace
