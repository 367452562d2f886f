#include "platform/kiv/base/pstring.h"

#include <gtest/gtest.h>

#include <map>

namespace {

TEST(PString, InterningMakesEqualityIdentity) {
    Kiv::PString a("Hello");
    Kiv::PString c = Kiv::PStringCache::Create("Hello");
    EXPECT_EQ(a, c);
    EXPECT_EQ(a.c_str(), c.c_str());
    EXPECT_NE(a, Kiv::PString("hello"));  // letter case is kept
    EXPECT_STREQ(a.c_str(), "Hello");
}

TEST(PString, NullDiffersFromEmpty) {
    Kiv::PString null;
    Kiv::PString empty("");
    EXPECT_TRUE(null.IsNull());
    EXPECT_FALSE(empty.IsNull());
    EXPECT_NE(null, empty);
    EXPECT_STREQ(null.c_str(), "");
    EXPECT_TRUE(null.ToLower().IsNull());
}

TEST(PString, ToLowerGivesTheSeparateTwin) {
    Kiv::PString mixed("MiXeD-Word_1");
    Kiv::PString lower = mixed.ToLower();
    EXPECT_EQ(lower, Kiv::PString("mixed-word_1"));
    EXPECT_EQ(lower.ToLower(), lower);
    EXPECT_TRUE(mixed.EqualsIgnoreCase(Kiv::PString("MIXED-WORD_1")));
    EXPECT_FALSE(mixed.EqualsIgnoreCase(Kiv::PString("mixed-word_2")));
}

TEST(PString, OrderingIsByTextBytes) {
    std::map<Kiv::PString, int> m;
    m[Kiv::PString("b")] = 2;
    m[Kiv::PString("a")] = 1;
    m[Kiv::PString("B")] = 0;
    m[Kiv::PString()] = -1;
    std::vector<std::string> order;
    for (auto& [k, v] : m)
        order.push_back(k.str());
    EXPECT_EQ(order, (std::vector<std::string>{"", "B", "a", "b"}));
}

TEST(PString, GarbageCollectionFreesOnlyUnreferenced) {
    Kiv::PStringCache::CollectGarbage();
    size_t before = Kiv::PStringCache::Size();
    {
        Kiv::PString temp("gc-temporary-Word");
        Kiv::PString lower = temp.ToLower();  // the twin is held by the original too
        EXPECT_EQ(Kiv::PStringCache::Size(), before + 2);
        EXPECT_EQ(Kiv::PStringCache::CollectGarbage(), 0u);
    }
    Kiv::PString kept("gc-kept-word");
    EXPECT_EQ(Kiv::PStringCache::CollectGarbage(), 2u);
    EXPECT_EQ(Kiv::PStringCache::Size(), before + 1);
    EXPECT_STREQ(kept.c_str(), "gc-kept-word");
    EXPECT_EQ(kept.RefCount(), 1u);
}

TEST(PString, CopiesAndMovesCountReferences) {
    Kiv::PString a("count-me");
    EXPECT_EQ(a.RefCount(), 1u);
    Kiv::PString b = a;
    EXPECT_EQ(a.RefCount(), 2u);
    Kiv::PString c = std::move(b);
    EXPECT_TRUE(b.IsNull());  // NOLINT: moved-from is null by contract
    EXPECT_EQ(a.RefCount(), 2u);
    c = Kiv::PString();
    EXPECT_EQ(a.RefCount(), 1u);
    Kiv::PString& same = a;
    a = same;  // self-assignment keeps the count
    EXPECT_EQ(a.RefCount(), 1u);
}

TEST(PString, PrintfInterns) {
    EXPECT_EQ(Kiv::PString::Printf("<kuid:%d:%d>", 1, 2), Kiv::PString("<kuid:1:2>"));
    Kiv::PString s;
    s.Setf("%s-%03d", "x", 7);
    EXPECT_EQ(s, Kiv::PString("x-007"));
}

}  // namespace
