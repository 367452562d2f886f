#include "configdata/tdb_container_tag.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "configdata/soup_test_support.h"
#include "configdata/tdb_data_tag.h"
#include "platform/kiv/base/rand.h"

namespace {

using namespace souptest;  // NOLINT: the fixture helpers of every soup test

// Counts its own destruction, to show what releasing a tree frees.
struct ProbeTag : TDBDataTag {
    explicit ProbeTag(int* destroyed) : destroyed_(destroyed) {}
    ~ProbeTag() override { ++*destroyed_; }
    int* destroyed_;
};

TEST(TagTree, FailedLookupGivesTheNullNodeOnWhichEveryOperationIsHarmless) {
    TDBTagRef root = NewContainer();
    TDBTagRef missing = root->FindChild(Kiv::PString("missing"));
    ASSERT_TRUE(missing);
    EXPECT_TRUE(missing.IsNullChunk());
    EXPECT_TRUE(missing == ACSChunk::GetNullChunk());
    EXPECT_TRUE(missing.IsEmpty());
    EXPECT_EQ(missing->GetType(), kTagEmpty);
    EXPECT_EQ(missing->GetChildCount(), 0u);
    EXPECT_EQ(missing->GetData(), nullptr);
    EXPECT_EQ(missing->GetDataSize(), 0u);
    EXPECT_FALSE(missing->CreateTag(kTagInt, {}));

    missing->AddChild(Kiv::PString("x"), NewContainer());
    EXPECT_EQ(missing->GetChildCount(), 0u);
    EXPECT_TRUE(missing->FindChild(Kiv::PString("x")).IsNullChunk());

    EXPECT_FALSE(TDBTagRef::FromChunk(missing.Get()));
    EXPECT_FALSE(TDBTagRef::FromChunk(nullptr));
    EXPECT_TRUE(TDBTagRef::FromChunk(root.Get()) == root);
    EXPECT_TRUE(TDBTagRef().IsEmpty());
    EXPECT_FALSE(root.IsEmpty());
}

TEST(TagTree, LookupIsByInternedNameAndFindsTheFirstOfTwins) {
    TDBTagRef root = NewContainer();
    TDBTagRef first = AddValue(root, "kind", kTagText, std::string_view("a", 2));
    TDBTagRef second = AddValue(root, "kind", kTagText, std::string_view("b", 2));
    EXPECT_EQ(root->GetChildCount(), 2u);
    EXPECT_TRUE(root->FindChild(Kiv::PString("kind")) == first);
    EXPECT_TRUE(root->FindChildForEdit(Kiv::PString("kind")) == first);
    EXPECT_TRUE(root->FindChild(Kiv::PString("Kind")).IsNullChunk());

    root->RemoveChild(first);
    EXPECT_TRUE(root->FindChild(Kiv::PString("kind")) == second);
    root->AddChild(Kiv::PString("none"), TDBTagRef());  // a missing node is ignored
    EXPECT_EQ(root->GetChildCount(), 1u);
}

// Adds, removes and indexed reads in a random order, checked after every step against a plain
// list; crosses block boundaries many times and interleaves indexed reads with changes.
TEST(TagTree, ChildrenStayContiguousThroughAddsAndRemovesAcrossBlocks) {
    TDBTagRef root = NewContainer();
    std::vector<std::pair<std::string, TDBTagRef>> model;
    Kiv::Rand rand(7);
    int next = 0;
    for (int step = 0; step < 600; ++step) {
        uint32_t r = rand.NextInt(0, 9);
        if (r < 6 || model.empty()) {
            std::string name = "c" + std::to_string(next++);
            model.emplace_back(name, AddValue(root, name.c_str(), kTagInt, "1234"));
        } else if (r < 9) {
            size_t at = rand.NextInt(0, static_cast<int32_t>(model.size()) - 1);
            root->RemoveChild(model[at].second);
            model.erase(model.begin() + static_cast<long>(at));
        } else {
            // A random read moves the cursor somewhere in the middle.
            Kiv::PString name;
            TDBTagRef node;
            size_t at = rand.NextInt(0, static_cast<int32_t>(model.size()) - 1);
            ASSERT_TRUE(root->GetChildAt(static_cast<uint32_t>(at), name, node));
            EXPECT_TRUE(node == model[at].second);
        }
        ASSERT_EQ(root->GetChildCount(), model.size());
        Kiv::PString name;
        TDBTagRef node;
        for (size_t i = 0; i < model.size(); i += 5) {
            ASSERT_TRUE(root->GetChildAt(static_cast<uint32_t>(i), name, node));
            ASSERT_EQ(name.str(), model[i].first) << "step " << step << " index " << i;
            ASSERT_TRUE(node == model[i].second);
        }
    }
}

TEST(TagTree, SortOrdersByNameBytes) {
    TDBTagRef root = NewContainer();
    for (const char* n : {"b", "a", "ab", "B"})
        AddValue(root, n, kTagInt, "0000");
    root->SortChildren();
    EXPECT_EQ(Names(*root), (std::vector<std::string>{"B", "a", "ab", "b"}));

    // Enough names to need the partitioning, with bytes above 0x7F sorting last.
    TDBTagRef many = NewContainer();
    std::vector<std::string> expected;
    Kiv::Rand rand(3);
    for (int i = 0; i < 300; ++i) {
        std::string n;
        for (int k = rand.NextInt(1, 4); k > 0; --k)
            n += "aBz\xE9"[rand.NextInt(0, 3)];
        expected.push_back(n);
        AddValue(many, n.c_str(), kTagInt, "0000");
    }
    many->SortChildren();
    std::sort(expected.begin(), expected.end(), [](const std::string& x, const std::string& y) {
        return std::string_view(x) < std::string_view(y);
    });
    EXPECT_EQ(Names(*many), expected);
}

TEST(TagTree, SwapExchangesPositions) {
    TDBTagRef root = NewContainer();
    TDBTagRef a = AddValue(root, "a", kTagInt, "0000");
    AddValue(root, "b", kTagInt, "0000");
    TDBTagRef c = AddValue(root, "c", kTagInt, "0000");
    root->SwapChildren(a, c);
    EXPECT_EQ(Names(*root), (std::vector<std::string>{"c", "b", "a"}));
    root->SwapChildren(a, NewContainer());  // not a child: nothing
    EXPECT_EQ(Names(*root), (std::vector<std::string>{"c", "b", "a"}));
}

TEST(TagTree, CreateTagMakesContainersAndValuesOfAnyType) {
    TDBTagRef root = NewContainer();
    TDBTagRef c = root->CreateTag(kTagContainer, MakeRawData("ignored", 7));
    EXPECT_EQ(c->GetType(), kTagContainer);
    EXPECT_EQ(c->GetChildCount(), 0u);
    EXPECT_NE(dynamic_cast<TDBContainerTag*>(c.Get()), nullptr);

    TDBTagRef v = root->CreateTag(kTagTextLike, MakeRawData("x", 2));
    EXPECT_EQ(v->GetType(), kTagTextLike);
    EXPECT_EQ(souptest::Bytes(*v), std::string("x", 2));
    EXPECT_EQ(root->GetChildCount(), 0u);  // not added anywhere

    v->SetData(kTagInt, MakeRawData("\x05\0\0\0", 4));
    EXPECT_EQ(v->GetType(), kTagInt);
    EXPECT_EQ(v->GetDataSize(), 4u);
    v->SetData(kTagEmpty, {});
    EXPECT_EQ(v->GetData(), nullptr);
    EXPECT_FALSE(MakeRawData("x", 0));
    EXPECT_FALSE(MakeRawData(nullptr, 3));
}

TEST(TagTree, RawDataOfANodeKeepsItAlive) {
    int destroyed = 0;
    ACSRawDataRef raw;
    {
        TDBTagRef node = MakeCounted<ProbeTag>(&destroyed);
        node->SetData(kTagRaw, MakeRawData("abc", 3));
        raw = node->GetRawData();
    }
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(raw.GetData()), raw.GetSize()), "abc");
    raw.Reset();
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(NewContainer()->GetRawData());
}

TEST(TagTree, ReleasingATreeFreesEveryNodeExceptThoseHeldElsewhere) {
    int destroyed = 0;
    TDBTagRef shared = MakeCounted<ProbeTag>(&destroyed);
    {
        TDBTagRef root = NewContainer();
        TDBTagRef inner = AddContainer(root, "inner");
        for (int i = 0; i < 20; ++i)
            inner->AddChild(Kiv::PString("p"), MakeCounted<ProbeTag>(&destroyed));
        root->AddChild(Kiv::PString("s"), shared);
        inner->AddChild(Kiv::PString("s"), shared);
        inner = TDBTagRef();
    }
    EXPECT_EQ(destroyed, 20);
    EXPECT_EQ(shared->GetReferenceCount(), 1);
}

TEST(TagTree, AVeryDeepTreeIsReleasedWithoutDeepRecursion) {
    int destroyed = 0;
    {
        TDBTagRef root = NewContainer();
        TDBTagRef at = root;
        for (int i = 0; i < 100000; ++i)
            at = AddContainer(at, "n");
        at->AddChild(Kiv::PString("leaf"), MakeCounted<ProbeTag>(&destroyed));
    }
    EXPECT_EQ(destroyed, 1);
}

}  // namespace
