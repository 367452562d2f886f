#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "configdata/tdb_data_tag.h"

namespace {

using namespace souptest;  // NOLINT: the fixture helpers of every soup test

Kiv::PString N(const char* name) {
    return Kiv::PString(name);
}

std::vector<KUID> ToVector(const KUIDBlockList& list) {
    std::vector<KUID> out;
    for (const KUID& k : list)
        out.push_back(k);
    return out;
}

void Fill(KUIDBlockList& list, std::initializer_list<KUID> kuids) {
    for (const KUID& k : kuids)
        list.Append(k);
}

TEST(KUIDTables, FromKUIDListNumbersOnlyTheNonNullKUIDs) {
    KUIDBlockList list;
    Fill(list, {KUID(1, 2), KUID::kNull, KUID(3, 4, 5)});
    TDBTagRef table = TDBContainerTag::FromKUIDList(list);
    EXPECT_EQ(Describe(table), "0=kuid:1:2:0 1=kuid:3:4:5");
}

TEST(KUIDTables, CollectChildKUIDsConvertsLooselyAndListsEachOnce) {
    TDBTagRef root;
    TDBContainerTag::SetKUID(root, N("a"), KUID(1, 2));
    TDBContainerTag::SetString(root, N("b"), N("1234"));        // loose: (-1, 1234, 127)
    TDBContainerTag::SetString(root, N("c"), N("<kuid:1:2>"));  // already listed
    TDBContainerTag::SetString(root, N("d"), N("scenery"));
    TDBContainerTag::SetInt(root, N("e"), 7);
    TDBTagRef box;
    TDBContainerTag::SetKUID(box, N("x"), KUID(9, 9));
    TDBContainerTag::SetContainer(root, N("box"), box);  // not searched

    KUIDBlockList list;
    Fill(list, {KUID(5, 5)});
    TDBContainerTag::CollectChildKUIDs(root, list);
    EXPECT_EQ(ToVector(list), (std::vector<KUID>{KUID(5, 5), KUID(1, 2), KUID(-1, 1234, 127)}));
}

TEST(KUIDTables, CollectAllKUIDsSearchesTheTreeDepthFirstAndParsesTextStrictly) {
    TDBTagRef root;
    TDBContainerTag::SetString(root, N("a"), N("kuid:1:2"));  // keyword form: taken
    TDBContainerTag::SetString(root, N("b"), N("1:2"));       // bare numbers: not strict
    TDBTagRef inner;
    TDBContainerTag::SetKUID(inner, N("k"), KUID(7, 8, 9));
    TDBContainerTag::SetString(inner, N("t"), N("<kuid:1:2>"));  // listed already
    TDBTagRef deeper;
    TDBContainerTag::SetString(deeper, N("t"), N("<kuid2:3:4:5>"));
    TDBContainerTag::SetContainer(inner, N("deeper"), deeper);
    TDBContainerTag::SetContainer(root, N("inner"), inner);
    TDBContainerTag::SetKUID(root, N("last"), KUID(6, 6));
    TDBContainerTag::SetString(root, N("null"), N("<NULL>"));

    KUIDBlockList list;
    EXPECT_TRUE(TDBContainerTag::CollectAllKUIDs(root, list));
    EXPECT_EQ(ToVector(list),
              (std::vector<KUID>{KUID(1, 2), KUID(7, 8, 9), KUID(3, 4, 5), KUID(6, 6)}));
}

TEST(KUIDTables, CollectAllKUIDsStopsAtTheDepthLimitAndSaysSo) {
    // A container that holds itself: the walk must end, and report that it did not finish.
    TDBTagRef loop;
    TDBContainerTag::SetKUID(loop, N("k"), KUID(1, 1));
    loop->AddChild(N("self"), loop);
    KUIDBlockList list;
    EXPECT_FALSE(TDBContainerTag::CollectAllKUIDs(loop, list));
    EXPECT_EQ(ToVector(list), std::vector<KUID>{KUID(1, 1)});
    loop->RemoveChild(loop);  // lets the container go
}

TEST(KUIDTables, GetFreeNumericNameIsTheFirstUnusedDecimalName) {
    struct Case {
        std::vector<const char*> names;
        const char* free;
    };
    const Case cases[] = {
        {{}, "0"},
        {{"0", "1", "2"}, "3"},
        {{"1", "0", "3"}, "2"},
        {{"01", "+0", "x"}, "0"},
        {{"0", "100", "2", "1"}, "3"},
    };
    for (const Case& c : cases) {
        TDBTagRef root = NewContainer();
        for (const char* name : c.names)
            AddValue(root, name, kTagInt, U32(1));
        EXPECT_EQ(TDBContainerTag::GetFreeNumericName(root).str(), c.free);
    }
}

// Every node below the root, for identity checks.
void Nodes(const TDBTagRef& node, std::set<const ACSChunk*>& out) {
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; node->GetChildAt(i, name, child); ++i) {
        out.insert(child.Get());
        Nodes(child, out);
    }
}

TDBTagRef SampleTree() {
    TDBTagRef root = NewContainer();
    AddValue(root, "kind", kTagText, std::string("scenery\0", 8));
    TDBTagRef mesh = AddContainer(root, "mesh-table");
    AddValue(AddContainer(mesh, "default"), "lod", kTagFloat, std::string("\0\0\x80\x3F", 4));
    AddValue(root, "flag", kTagEmpty, "");
    AddValue(root, "like", kTagTextLike, std::string("t\0", 2));
    return root;
}

TEST(TreeCopy, CloneSharesNoNodeWithItsSource) {
    for (TDBTagRef source : {SampleTree(), souptest::Read(Write(SampleTree()))}) {
        TDBTagRef copy = TDBContainerTag::Clone(source);
        ASSERT_TRUE(copy);
        EXPECT_EQ(Dump(copy), Dump(source));
        std::set<const ACSChunk*> a;
        std::set<const ACSChunk*> b;
        Nodes(source, a);
        Nodes(copy, b);
        for (const ACSChunk* node : b)
            EXPECT_EQ(a.count(node), 0u);
        // The copy is editable, and changing it leaves the source alone.
        TDBTagRef mesh = TDBContainerTag::GetContainer(copy, N("mesh-table"));
        TDBContainerTag::SetInt(mesh, N("added"), 1);
        EXPECT_EQ(Dump(TDBContainerTag::GetContainer(source, N("mesh-table"))),
                  "default{lod:3=0000803f;};");
    }
}

TEST(TreeCopy, CopyFromReplacesTheChildrenOfTheTarget) {
    TDBTagRef target = NewContainer();
    AddValue(target, "old", kTagInt, U32(1));
    AddValue(target, "older", kTagInt, U32(2));
    EXPECT_TRUE(target->CopyFrom(SampleTree()));
    EXPECT_EQ(Dump(target), Dump(SampleTree()));

    // Nothing to copy from: nothing changes.
    EXPECT_TRUE(target->CopyFrom(TDBTagRef()));
    EXPECT_TRUE(target->CopyFrom(ACSChunk::GetNullChunk()));
    EXPECT_EQ(Dump(target), Dump(SampleTree()));

    TDBTagRef value = MakeCounted<TDBDataTag>();
    EXPECT_TRUE(value->CopyFrom(SampleTree()->FindChild(N("kind"))));
    EXPECT_EQ(Bytes(*value), std::string("scenery\0", 8));
}

TEST(TreeCopy, ATreeDeeperThanTheLimitIsNotCloned) {
    TDBTagRef root = NewContainer();
    TDBTagRef at = root;
    for (uint32_t depth = 1; depth < kMaxTagTreeDepth; ++depth)
        at = AddContainer(at, "n");
    AddValue(at, "leaf", kTagInt, U32(1));
    EXPECT_EQ(Dump(TDBContainerTag::Clone(root)), Dump(root));

    AddContainer(at, "one-more");
    AddValue(at->FindChild(N("one-more")), "leaf", kTagInt, U32(1));
    EXPECT_FALSE(TDBContainerTag::Clone(root));
}

}  // namespace
