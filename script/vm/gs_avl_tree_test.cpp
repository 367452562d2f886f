#include "script/vm/gs_avl_tree.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <set>
#include <vector>

namespace {

struct IntNode : Utils::GSIAVLNode {
    explicit IntNode(int v) : value(v) {}
    int Compare(const Utils::GSIAVLNode& other) const override {
        int o = static_cast<const IntNode&>(other).value;
        return value < o ? -1 : (value > o ? 1 : 0);
    }
    int value;
};

// The height of a subtree, checking on the way that every balance code tells the truth and
// that the order holds; -1 marks a fault.
int CheckedHeight(const Utils::GSIAVLNode* n) {
    if (n == nullptr) return 0;
    int l = CheckedHeight(n->Left());
    int r = CheckedHeight(n->Right());
    if (l < 0 || r < 0) return -1;
    int code = l > r ? 0 : (l == r ? 1 : 2);
    if (l - r > 1 || r - l > 1 || code != n->Balance()) return -1;
    if (n->Left() != nullptr && n->Left()->Compare(*n) >= 0) return -1;
    if (n->Right() != nullptr && n->Right()->Compare(*n) <= 0) return -1;
    return std::max(l, r) + 1;
}

std::vector<int> InOrder(const Utils::GSIAVLTree& tree) {
    std::vector<int> out;
    Utils::GSIAVLTree::Iterator it(tree);
    for (auto* n = it.Begin(); n != nullptr; n = it.Next())
        out.push_back(static_cast<IntNode*>(n)->value);
    return out;
}

// Random inserts, removals and finds, compared with std::set after every step.
TEST(GSIAVLTree, AgreesWithStdSetUnderRandomInsertAndRemove) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> key(0, 400);
    Utils::GSIAVLTree tree;
    std::set<int> model;
    std::vector<std::unique_ptr<IntNode>> pool;
    for (int step = 0; step < 6000; ++step) {
        int k = key(rng);
        IntNode probe(k);
        if (rng() % 3 != 0) {
            auto node = std::make_unique<IntNode>(k);
            bool inserted = tree.Insert(node.get());
            ASSERT_EQ(inserted, model.insert(k).second) << "step " << step;
            if (inserted) pool.push_back(std::move(node));
        } else {
            Utils::GSIAVLNode* removed = tree.Remove(probe);
            ASSERT_EQ(removed != nullptr, model.erase(k) == 1) << "step " << step;
            if (removed != nullptr) {
                ASSERT_EQ(static_cast<IntNode*>(removed)->value, k);
                std::erase_if(pool, [&](const auto& p) { return p.get() == removed; });
            }
        }
        ASSERT_EQ(tree.Count(), model.size());
        ASSERT_GE(CheckedHeight(tree.Root()), 0) << "step " << step;
        ASSERT_EQ((tree.Find(probe) != nullptr), model.count(k) == 1);
        if (step % 97 == 0) {
            ASSERT_EQ(InOrder(tree), std::vector<int>(model.begin(), model.end()));
        }
    }
}

TEST(GSIAVLTree, InsertRefusesAnEqualNodeAndKeepsTheTree) {
    Utils::GSIAVLTree tree;
    IntNode a(5), b(5), c(3);
    EXPECT_TRUE(tree.Insert(&a));
    EXPECT_TRUE(tree.Insert(&c));
    EXPECT_FALSE(tree.Insert(&b));
    EXPECT_EQ(tree.Count(), 2u);
    EXPECT_EQ(tree.Find(IntNode(5)), &a);
    EXPECT_EQ(tree.Remove(IntNode(9)), nullptr);
    EXPECT_EQ(tree.Count(), 2u);
}

// Ascending inserts make the tallest trees for their size; the walk's stack is sized for any
// tree of 2^32 nodes, so a large one walks completely.
TEST(GSIAVLTree, IteratorWalksALargeAscendingTreeInOrder) {
    Utils::GSIAVLTree tree;
    std::vector<std::unique_ptr<IntNode>> nodes;
    for (int i = 0; i < 70000; ++i) {
        nodes.push_back(std::make_unique<IntNode>(i));
        ASSERT_TRUE(tree.Insert(nodes.back().get()));
    }
    ASSERT_GE(CheckedHeight(tree.Root()), 0);
    std::vector<int> walked = InOrder(tree);
    ASSERT_EQ(walked.size(), 70000u);
    EXPECT_TRUE(std::is_sorted(walked.begin(), walked.end()));
    Utils::GSIAVLTree empty;
    Utils::GSIAVLTree::Iterator it(empty);
    EXPECT_EQ(it.Begin(), nullptr);
}

}  // namespace
