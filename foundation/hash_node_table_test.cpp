#include "foundation/hash_node_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundation/hash_table.h"

namespace {

class Name : public Utils::IHashNode {
public:
    explicit Name(std::string text) : text_(std::move(text)) {}
    uint32_t Hash() const override { return HashString(text_.c_str()); }
    int Compare(const IHashNode& other) const override {
        return std::strcmp(text_.c_str(), static_cast<const Name&>(other).text_.c_str());
    }
    const std::string& Text() const { return text_; }

private:
    std::string text_;
};

std::vector<std::string> Walk(HashNodeTable& table) {
    std::vector<std::string> out;
    for (auto* n = table.IterBegin(); n != nullptr; n = table.IterNext())
        out.push_back(static_cast<Name*>(n)->Text());
    return out;
}

TEST(HashNodeTable, InsertRefusesEqualAndAlreadyFiledNodes) {
    HashNodeTable table(61);
    HashNodeTable other(31);
    Name a("alpha"), b("beta"), a2("alpha");
    EXPECT_TRUE(table.Insert(&a));
    EXPECT_TRUE(table.Insert(&b));
    EXPECT_FALSE(table.Insert(&a2));  // compares equal
    EXPECT_FALSE(table.Insert(&a));   // already filed here
    EXPECT_FALSE(other.Insert(&a));   // filed elsewhere
    EXPECT_FALSE(table.Insert(nullptr));
    EXPECT_EQ(table.Count(), 2u);
    EXPECT_EQ(a.GetTable(), &table);
    EXPECT_EQ(a2.GetTable(), nullptr);

    Name probe("alpha"), missing("gamma");
    EXPECT_EQ(table.Find(probe), &a);
    EXPECT_EQ(table.Find(missing), nullptr);
}

TEST(HashNodeTable, ChainOrderFollowsCompare) {
    HashNodeTable table(1);
    Name c("c"), a("a"), d("d"), b("b");
    for (Name* n : {&c, &a, &d, &b})
        ASSERT_TRUE(table.Insert(n));
    EXPECT_EQ(Walk(table), (std::vector<std::string>{"a", "b", "c", "d"}));
    Name probe("bb");
    EXPECT_EQ(table.Find(probe), nullptr);  // stops at the first greater node
}

TEST(HashNodeTable, RemoveTakesOneNodeOut) {
    HashNodeTable table(31);
    Name a("a"), b("b"), stray("a");
    ASSERT_TRUE(table.Insert(&a));
    ASSERT_TRUE(table.Insert(&b));
    EXPECT_FALSE(table.Remove(&stray));  // equal text, but not filed
    EXPECT_TRUE(table.Remove(&a));
    EXPECT_FALSE(table.Remove(&a));
    EXPECT_EQ(a.GetTable(), nullptr);
    EXPECT_EQ(table.Count(), 1u);
    EXPECT_EQ(table.Find(stray), nullptr);
    EXPECT_TRUE(table.Insert(&stray));  // the name is free again
}

TEST(HashNodeTable, WalkGoesOnAfterRemovingTheCurrentNode) {
    HashNodeTable table(1);
    Name n1("1"), n2("2"), n3("3"), n4("4");
    for (Name* n : {&n1, &n2, &n3, &n4})
        ASSERT_TRUE(table.Insert(n));
    std::vector<std::string> seen;
    for (auto* n = table.IterBegin(); n != nullptr; n = table.IterNext()) {
        seen.push_back(static_cast<Name*>(n)->Text());
        if (n == &n2 || n == &n4) table.Remove(n);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"1", "2", "3", "4"}));
    EXPECT_EQ(Walk(table), (std::vector<std::string>{"1", "3"}));
}

TEST(HashNodeTable, ClearAndTableDestructionLeaveNodesAlive) {
    Name a("a"), b("b");
    {
        HashNodeTable table(61);
        ASSERT_TRUE(table.Insert(&a));
        ASSERT_TRUE(table.Insert(&b));
        table.Clear();
        EXPECT_EQ(table.Count(), 0u);
        EXPECT_EQ(table.IterBegin(), nullptr);
        EXPECT_EQ(a.GetTable(), nullptr);
        ASSERT_TRUE(table.Insert(&a));  // a cleared node can be filed again
    }
    EXPECT_EQ(a.GetTable(), nullptr);  // the table let go of it when it died
    EXPECT_EQ(a.Text(), "a");
}

TEST(HashNodeTable, DestroyedNodeTakesItselfOut) {
    HashNodeTable table(61);
    Name keep("keep");
    ASSERT_TRUE(table.Insert(&keep));
    {
        auto gone = std::make_unique<Name>("gone");
        ASSERT_TRUE(table.Insert(gone.get()));
        EXPECT_EQ(table.Count(), 2u);
    }
    EXPECT_EQ(table.Count(), 1u);
    EXPECT_EQ(Walk(table), (std::vector<std::string>{"keep"}));
}

}  // namespace
