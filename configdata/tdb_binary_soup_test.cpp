#include "configdata/tdb_binary_soup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "configdata/soup_test_support.h"
#include "configdata/tdb_data_tag.h"
#include "platform/kiv/base/rand.h"

namespace {

using namespace souptest;  // NOLINT: the fixture helpers of every soup test

std::string Int(int32_t v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

// kind, name, inner{a, b}, name (a twin), last
TDBTagRef SampleTree() {
    TDBTagRef root = NewContainer();
    AddValue(root, "kind", kTagText, std::string("mesh\0", 5));
    AddValue(root, "name", kTagInt, Int(1));
    TDBTagRef inner = AddContainer(root, "inner");
    AddValue(inner, "a", kTagInt, Int(10));
    AddValue(inner, "b", kTagInt, Int(11));
    AddValue(root, "name", kTagInt, Int(2));
    AddValue(root, "last", kTagFloat, Int(0x3F800000));
    return root;
}

int32_t IntOf(const TDBTagRef& node) {
    int32_t v = 0;
    if (node->GetDataSize() == 4) std::memcpy(&v, node->GetData(), 4);
    return v;
}

TEST(SoupView, BrowsesTheLoadedBytes) {
    TDBTagRef root = Read(Write(SampleTree()));
    ASSERT_NE(dynamic_cast<TDBBinarySoup*>(root.Get()), nullptr);
    EXPECT_EQ(Names(root), (std::vector<std::string>{"kind", "name", "inner", "name", "last"}));
    EXPECT_EQ(IntOf(root->FindChild(Kiv::PString("name"))), 1);  // the first of the twins
    EXPECT_TRUE(root->FindChildForEdit(Kiv::PString("Kind")).IsNullChunk());  // case counts
    TDBTagRef inner = root->FindChild(Kiv::PString("inner"));
    EXPECT_EQ(inner->GetType(), kTagContainer);
    EXPECT_EQ(IntOf(inner->FindChild(Kiv::PString("b"))), 11);
    EXPECT_TRUE(inner->FindChild(Kiv::PString("kind")).IsNullChunk());

    // Each lookup makes a new node over the same bytes.
    TDBTagRef again = root->FindChild(Kiv::PString("inner"));
    EXPECT_NE(again.Get(), inner.Get());
    EXPECT_EQ(Dump(again), Dump(inner));
    // A view's values cannot be changed in place, nor sorted.
    TDBTagRef kind = root->FindChild(Kiv::PString("kind"));
    kind->SetData(kTagInt, MakeRawData("xxxx", 4));
    EXPECT_EQ(kind->GetType(), kTagText);
    root->SortChildren();
    EXPECT_EQ(Names(root).front(), "kind");
}

TEST(SoupView, RemovedChunksVanishFromCountIndexLookupAndTheWrittenFile) {
    TDBTagRef root = Read(Write(SampleTree()));
    TDBTagRef first = root->FindChildForEdit(Kiv::PString("name"));
    root->RemoveChild(first);
    root->RemoveChild(first);  // once is enough
    EXPECT_EQ(root->GetChildCount(), 4u);
    EXPECT_EQ(Names(root), (std::vector<std::string>{"kind", "inner", "name", "last"}));
    EXPECT_EQ(IntOf(root->FindChild(Kiv::PString("name"))), 2);

    // A node of another container or another file is not a child here.
    TDBTagRef inner = root->FindChild(Kiv::PString("inner"));
    root->RemoveChild(inner->FindChild(Kiv::PString("a")));
    root->RemoveChild(Read(Write(SampleTree()))->FindChild(Kiv::PString("kind")));
    root->RemoveChild(root);
    EXPECT_EQ(root->GetChildCount(), 4u);

    inner->RemoveChild(inner->FindChild(Kiv::PString("a")));
    TDBTagRef back = Read(Write(root));
    EXPECT_EQ(Names(back), (std::vector<std::string>{"kind", "inner", "name", "last"}));
    EXPECT_EQ(Dump(back->FindChild(Kiv::PString("inner"))), "b:6=0b000000;");
}

TEST(SoupView, AddedChildrenFollowTheLoadedOnesAndHideBehindThem) {
    TDBTagRef root = Read(Write(SampleTree()));
    TDBTagRef kind = root->CreateTag(kTagText, MakeRawData("added\0", 6));
    EXPECT_NE(dynamic_cast<TDBDataTag*>(kind.Get()), nullptr);
    root->AddChild(Kiv::PString("kind"), kind);
    root->AddChild(Kiv::PString("kind"), kind);  // already there: nothing
    TDBTagRef extra = root->CreateTag(kTagContainer, {});
    AddValue(extra, "z", kTagInt, Int(5));
    root->AddChild(Kiv::PString("extra"), extra);
    EXPECT_EQ(root->GetChildCount(), 7u);
    EXPECT_EQ(Names(root),
              (std::vector<std::string>{"kind", "name", "inner", "name", "last", "kind", "extra"}));
    // The loaded "kind" is found first; once it is removed, the added one.
    EXPECT_EQ(Bytes(*root->FindChild(Kiv::PString("kind"))), std::string("mesh\0", 5));
    root->RemoveChild(root->FindChildForEdit(Kiv::PString("kind")));
    EXPECT_TRUE(root->FindChild(Kiv::PString("kind")) == kind);
    EXPECT_TRUE(root->FindChild(Kiv::PString("extra")) == extra);

    std::string written = Write(root);
    EXPECT_EQ(Names(Read(written)),
              (std::vector<std::string>{"name", "inner", "name", "last", "kind", "extra"}));
    EXPECT_EQ(Dump(Read(written)->FindChild(Kiv::PString("extra"))), "z:6=05000000;");

    root->RemoveChild(kind);
    EXPECT_EQ(Names(root), (std::vector<std::string>{"name", "inner", "name", "last", "extra"}));
}

// What a setter does: remove the child of that name, then add a new value; the view must give
// the new value and write it once.
TEST(SoupView, ReplacingAValueThroughTheViewLeavesOnlyTheNewOne) {
    struct Case {
        const char* what;
        uint32_t version;
        std::string stored;
    };
    const Case cases[] = {
        {"loaded text", 1, std::string("old\0", 4)},
        {"text without NUL", 1, "old"},
        {"local code page text", 0, std::string("caf\xE9\0", 5)},
        {"int", 1, Int(7)},
    };
    for (const Case& c : cases) {
        uint8_t typeByte = c.stored.size() == 4 && c.stored == Int(7) ? 1 : 3;
        TDBTagRef root =
            Read(SoupFile(Chunk("v", typeByte, c.stored) + Chunk("w", 1, Int(1)), c.version));
        ASSERT_TRUE(root) << c.what;
        Kiv::PString v("v");
        root->RemoveChild(root->FindChildForEdit(v));
        root->AddChild(v, root->CreateTag(kTagText, MakeRawData("new\0", 4)));
        EXPECT_EQ(root->GetChildCount(), 2u) << c.what;
        EXPECT_EQ(Bytes(*root->FindChild(v)), std::string("new\0", 4)) << c.what;
        EXPECT_EQ(Dump(Read(Write(root))), "w:6=01000000;v:4=6e657700;") << c.what;
    }
}

// Two views of the same container: what one changes, the other counts at once.
TEST(SoupView, CountsOfOtherViewsOfTheSameBytesFollowChanges) {
    TDBTagRef root = Read(Write(SampleTree()));
    auto& file = *const_cast<TDBBinaryFile*>(dynamic_cast<TDBBinarySoup*>(root.Get())->GetFile());
    TDBTagRef other = file.GetRoot();
    TDBTagRef innerA = root->FindChild(Kiv::PString("inner"));
    TDBTagRef innerB = other->FindChild(Kiv::PString("inner"));
    EXPECT_EQ(root->GetChildCount(), 5u);
    EXPECT_EQ(innerA->GetChildCount(), 2u);
    Kiv::PString name;
    TDBTagRef node;
    ASSERT_TRUE(innerA->GetChildAt(1, name, node));  // leaves a cursor behind

    other->RemoveChild(other->FindChildForEdit(Kiv::PString("kind")));
    innerB->AddChild(Kiv::PString("c"), innerB->CreateTag(kTagInt, MakeRawData("\3\0\0\0", 4)));
    innerB->RemoveChild(innerB->FindChildForEdit(Kiv::PString("a")));

    EXPECT_EQ(root->GetChildCount(), 4u);
    EXPECT_EQ(innerA->GetChildCount(), 2u);
    EXPECT_EQ(Names(innerA), (std::vector<std::string>{"b", "c"}));
    ASSERT_TRUE(innerA->GetChildAt(1, name, node));
    EXPECT_EQ(name.str(), "c");
}

// A chunk of the file moved to another container of the same file: held by position, so the
// file does not keep itself alive (the leak check of the test run sees to that).
TEST(SoupView, ChunksMovedWithinTheirOwnFile) {
    TDBTagRef root = Read(Write(SampleTree()));
    TDBTagRef inner = root->FindChild(Kiv::PString("inner"));
    TDBTagRef last = root->FindChildForEdit(Kiv::PString("last"));
    root->RemoveChild(last);
    inner->AddChild(Kiv::PString("moved"), last);
    inner->AddChild(Kiv::PString("moved"), last);  // already there: nothing
    root->AddChild(Kiv::PString("self"), root);
    EXPECT_EQ(Names(inner), (std::vector<std::string>{"a", "b", "moved"}));
    TDBTagRef moved = inner->FindChild(Kiv::PString("moved"));
    EXPECT_EQ(moved->GetType(), kTagFloat);
    EXPECT_EQ(IntOf(moved), 0x3F800000);
    inner->RemoveChild(moved);  // the node made for the added chunk removes it
    EXPECT_EQ(Names(inner), (std::vector<std::string>{"a", "b"}));
    // A tree that holds itself is too deep to write.
    EXPECT_EQ(Write(root), "");
    root->RemoveChild(root);
    EXPECT_EQ(Names(Read(Write(root))),
              (std::vector<std::string>{"kind", "name", "inner", "name"}));
}

// A copy of loaded values, sharing their bytes, added back into the same file: the values hold
// only the loaded bytes, so once every node is dropped the file goes too.
TEST(SoupView, ValuesCopiedBackIntoTheirOwnFileDoNotKeepItAlive) {
    CountedRef<TDBSoupBody> body;
    {
        TDBTagRef root = Read(Write(SampleTree()));
        body = dynamic_cast<TDBBinarySoup*>(root.Get())->GetFile()->GetBodyBlock();
        TDBTagRef kind = root->FindChild(Kiv::PString("kind"));
        TDBTagRef copy = root->CreateTag(kTagContainer, {});
        copy->AddChild(Kiv::PString("kind"), kind);
        copy->AddChild(Kiv::PString("shared"), copy->CreateTag(kTagText, kind->GetRawData()));
        root->AddChild(Kiv::PString("copy"), copy);
        EXPECT_EQ(Dump(root->FindChild(Kiv::PString("copy"))),
                  "kind:4=6d65736800;shared:4=6d65736800;");
    }
    EXPECT_EQ(body->GetReferenceCount(), 1);
}

// Random adds, removes and indexed reads through a view, checked after every step against a
// plain list of (name, value) and against what the view writes.
TEST(SoupView, EditsMatchAPlainListStepByStep) {
    TDBTagRef tree = NewContainer();
    std::vector<std::pair<std::string, int32_t>> model;
    for (int i = 0; i < 40; ++i) {
        std::string name = "n" + std::to_string(i % 15);
        AddValue(tree, name.c_str(), kTagInt, Int(i));
        model.emplace_back(name, i);
    }
    TDBTagRef root = Read(Write(tree));
    Kiv::Rand rand(11);
    int next = 100;
    for (int step = 0; step < 300; ++step) {
        Kiv::PString name;
        TDBTagRef node;
        uint32_t r = rand.NextInt(0, 9);
        if (r < 4 && !model.empty()) {
            size_t at = rand.NextInt(0, static_cast<int32_t>(model.size()) - 1);
            ASSERT_TRUE(root->GetChildAt(static_cast<uint32_t>(at), name, node));
            root->RemoveChild(node);
            model.erase(model.begin() + static_cast<long>(at));
        } else if (r < 7) {
            std::string n = "n" + std::to_string(rand.NextInt(0, 20));
            root->AddChild(Kiv::PString(n), root->CreateTag(kTagInt, MakeRawData(&next, 4)));
            model.emplace_back(n, next++);
        } else if (!model.empty()) {
            size_t at = rand.NextInt(0, static_cast<int32_t>(model.size()) - 1);
            ASSERT_TRUE(root->GetChildAt(static_cast<uint32_t>(at), name, node));
            EXPECT_EQ(IntOf(node), model[at].second);
        }
        ASSERT_EQ(root->GetChildCount(), model.size()) << step;
        for (size_t i = 0; i < model.size(); i += 3) {
            ASSERT_TRUE(root->GetChildAt(static_cast<uint32_t>(i), name, node));
            ASSERT_EQ(name.str(), model[i].first) << step;
            ASSERT_EQ(IntOf(node), model[i].second) << step;
        }
        const std::string probe = "n" + std::to_string(step % 21);
        auto first = std::find_if(model.begin(), model.end(),
                                  [&](const auto& m) { return m.first == probe; });
        TDBTagRef found = root->FindChild(Kiv::PString(probe));
        if (first == model.end()) {
            EXPECT_TRUE(found.IsNullChunk());
        } else {
            // Loaded chunks come before added ones, and the model keeps that order too.
            EXPECT_EQ(IntOf(found), first->second) << probe;
        }
    }
    TDBTagRef back = Read(Write(root));
    ASSERT_EQ(back ? back->GetChildCount() : 0u, model.size());
}

}  // namespace
