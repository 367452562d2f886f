#include "configdata/tag_arena.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "configdata/config_text.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"

namespace {

using namespace souptest;  // NOLINT: the fixture helpers of every soup test

Kiv::PString N(const char* name) {
    return Kiv::PString(name);
}

TEST(TagArena, HandsOutAlignedMemoryAcrossBlocksOfAnySize) {
    TagArena arena(0);
    std::vector<uint8_t*> taken;
    for (size_t n : {1u, 7u, 8u, 100u, 5000u, 40000u, 3u, 2u * 1024u * 1024u, 9u}) {
        auto* p = static_cast<uint8_t*>(arena.Allocate(n));
        EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % TagArena::kAlign, 0u);
        std::memset(p, 0xAB, n);  // the sanitiser sees any overlap or overrun
        taken.push_back(p);
    }
    EXPECT_GE(arena.ReservedBytes(), 2u * 1024u * 1024u);
}

// Parsed nodes live in the tree's arena: any of them outlives the rest of the tree, on any
// thread, and the arena goes with the last of them (the sanitiser sees a leak or a use after
// free otherwise).
TEST(TagArena, ParsedNodesOutliveTheirTreeAndReleaseTheArenaLast) {
    std::string text;
    for (int i = 0; i < 2000; ++i)
        text += "item-" + std::to_string(i) + "\n{\n  name \"n" + std::to_string(i) +
                "\"\n  v 1.5,2\n}\n";
    TDBTagRef tree;
    ASSERT_TRUE(ParseTagTreeText(tree, text, false));
    ASSERT_EQ(tree->GetChildCount(), 2000u);
    TDBTagRef kept = TDBContainerTag::GetContainer(tree, N("item-1234"));
    TDBTagRef name = kept->FindChild(N("name"));
    ACSRawDataRef bytes = TDBContainerTag::GetRawData(kept, N("v"));
    tree.Reset();
    EXPECT_EQ(Describe(kept), "name=text:n1234 v=float:1.5,2");
    std::thread other([&] { kept.Reset(); });
    other.join();
    EXPECT_EQ(std::string(static_cast<const char*>(name->GetData())), "n1234");
    name.Reset();
    ASSERT_EQ(bytes.GetSize(), 8u);
    float v[2];
    std::memcpy(v, bytes.GetData(), 8);
    EXPECT_EQ(v[1], 2.0f);
}

// Nodes made in an arena edit like heap nodes: a value given new bytes, a child added or
// removed, a heap node beside arena nodes.
TEST(TagArena, ParsedTreesEditLikeAnyOther) {
    TDBTagRef tree;
    ASSERT_TRUE(ParseTagTreeText(tree, std::string_view("a 1\nb {\nc \"x\"\n}\n"), false));
    TDBContainerTag::SetInt(tree, N("a"), 7);
    TDBContainerTag::SetString(tree, N("z"), N("heap"));
    TDBTagRef b = TDBContainerTag::GetContainer(tree, N("b"));
    b->FindChild(N("c"))->SetData(kTagInt, MakeRawData(U32(5).data(), 4));
    EXPECT_EQ(Describe(tree), "b{c=int:5} a=int:7 z=text:heap");
    TDBTagRef copy = TDBContainerTag::Clone(tree);
    tree.Reset();
    b.Reset();
    EXPECT_EQ(Describe(copy), "b{c=int:5} a=int:7 z=text:heap");
}

}  // namespace
