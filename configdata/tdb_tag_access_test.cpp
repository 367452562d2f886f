#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"

namespace {

using namespace souptest;  // NOLINT: the fixture helpers of every soup test

Kiv::PString N(const char* name) {
    return Kiv::PString(name);
}

std::string U32s(std::initializer_list<uint32_t> words) {
    std::string out;
    for (uint32_t w : words)
        out += U32(w);
    return out;
}

std::string F32(float v) {
    return std::string(reinterpret_cast<const char*>(&v), 4);
}

std::string KUIDBytes(const KUID& k) {
    char block[8];
    KUID::PackWords(k, block);
    return std::string(block, 8);
}

// One child of every kind a getter may meet.
TDBTagRef Sample() {
    TDBTagRef root = NewContainer();
    AddValue(root, "text12", kTagText, std::string("12\0", 3));
    AddValue(root, "text12abc", kTagText, std::string("12abc\0", 6));
    AddValue(root, "int5", kTagInt, U32s({5}));
    AddValue(root, "ints", kTagInt, U32s({1, 2}));
    AddValue(root, "half", kTagFloat, F32(0.5f));
    AddValue(root, "kuid", kTagKUID, KUIDBytes(KUID(12, 34, 0)));
    AddValue(root, "longkuid", kTagText, std::string("<kuid2:1:2:3>\0", 14));
    AddValue(root, "number", kTagText, std::string("1234\0", 5));
    AddValue(root, "empty", kTagEmpty, "");
    AddContainer(root, "box");
    return root;
}

// The getters as one line, with recognisable defaults: -1, -1.5, the null KUID.
std::string Read(const TDBTagRef& tag, const char* name) {
    Kiv::PString n = N(name);
    KUID k = TDBContainerTag::GetKUID(tag, n, KUID::kNull);
    char line[256];
    std::snprintf(line, sizeof line, "int=%d float=%g bool=%d kuid=%d:%d:%d string='%s' type=%u",
                  TDBContainerTag::GetInt(tag, n, -1), TDBContainerTag::GetFloat(tag, n, -1.5f),
                  TDBContainerTag::GetBool(tag, n, true), k.userId, k.contentId, k.version,
                  TDBContainerTag::GetString(tag, n).c_str(), TDBContainerTag::GetTagType(tag, n));
    return line;
}

struct GetterCase {
    const char* name;
    const char* expected;
};

const GetterCase kGetterCases[] = {
    {"text12", "int=12 float=12 bool=1 kuid=-1:12:127 string='12' type=4"},
    {"text12abc", "int=-1 float=-1.5 bool=1 kuid=-1:-1:127 string='12abc' type=4"},
    {"int5", "int=5 float=5 bool=1 kuid=-1:-1:127 string='5' type=6"},
    {"ints", "int=-1 float=-1.5 bool=1 kuid=-1:-1:127 string='1,2' type=6"},
    {"half", "int=-1 float=0.5 bool=1 kuid=-1:-1:127 string='0.5' type=3"},
    {"kuid", "int=-1 float=-1.5 bool=1 kuid=12:34:0 string='<kuid:12:34>' type=7"},
    {"longkuid", "int=-1 float=-1.5 bool=1 kuid=1:2:3 string='<kuid2:1:2:3>' type=4"},
    {"number", "int=1234 float=1234 bool=1 kuid=-1:1234:127 string='1234' type=4"},
    {"empty", "int=-1 float=-1.5 bool=1 kuid=-1:-1:127 string='' type=0"},
    {"box", "int=-1 float=-1.5 bool=1 kuid=-1:-1:127 string='' type=1"},
    {"missing", "int=-1 float=-1.5 bool=1 kuid=-1:-1:127 string='' type=0"},
};

TEST(TagAccess, GettersConvertEveryTypeOrGiveTheDefault) {
    TDBTagRef root = Sample();
    for (const GetterCase& c : kGetterCases)
        EXPECT_EQ(Read(root, c.name), c.expected) << c.name;
}

TEST(TagAccess, GettersReadALoadedBinarySoupAlike) {
    TDBTagRef view = souptest::Read(Write(Sample()));
    ASSERT_TRUE(view);
    for (const GetterCase& c : kGetterCases)
        EXPECT_EQ(Read(view, c.name), c.expected) << c.name;
}

TEST(TagAccess, AnEmptyReferenceReadsAsAnEmptyContainer) {
    TDBTagRef none;
    EXPECT_EQ(Read(none, "a"), "int=-1 float=-1.5 bool=1 kuid=-1:-1:127 string='' type=0");
    EXPECT_FALSE(TDBContainerTag::HasTag(none, N("a")));
    EXPECT_EQ(TDBContainerTag::CountChildren(none), 0u);
    EXPECT_EQ(TDBContainerTag::GetChildName(none, 0).str(), "");
    EXPECT_FALSE(TDBContainerTag::GetContainer(none, N("a")));
    EXPECT_FALSE(TDBContainerTag::GetRawData(none, N("a")));
}

TEST(TagAccess, ChildrenByIndexAndByKind) {
    TDBTagRef root = Sample();
    EXPECT_EQ(TDBContainerTag::CountChildren(root), 10u);
    EXPECT_EQ(TDBContainerTag::GetChildName(root, 9).str(), "box");
    EXPECT_EQ(TDBContainerTag::GetChildName(root, 10).str(), "");
    EXPECT_TRUE(TDBContainerTag::GetContainer(root, N("box")));
    EXPECT_TRUE(TDBContainerTag::GetContainerAt(root, 9));
    EXPECT_FALSE(TDBContainerTag::GetContainer(root, N("int5")));
    EXPECT_FALSE(TDBContainerTag::GetContainerAt(root, 2));
    EXPECT_TRUE(TDBContainerTag::HasTag(root, N("box")));
    EXPECT_FALSE(TDBContainerTag::HasTag(root, N("empty")));
    EXPECT_EQ(TDBContainerTag::GetRawData(root, N("int5")).GetSize(), 4u);
    EXPECT_FALSE(TDBContainerTag::GetRawData(root, N("empty")));
}

TEST(TagAccess, FloatArraysComeFromFloatsIntsAndNumericText) {
    TDBTagRef root = Sample();
    AddValue(root, "floats", kTagFloat, F32(1.5f) + F32(-2.0f));
    AddValue(root, "nofloats", kTagFloat, "");
    struct Case {
        const char* name;
        bool ok;
        std::vector<float> values;
    };
    const Case cases[] = {
        {"floats", true, {1.5f, -2.0f}}, {"ints", true, {1.0f, 2.0f}}, {"text12", true, {12.0f}},
        {"nofloats", true, {}},          {"text12abc", false, {9.0f}}, {"kuid", false, {9.0f}},
        {"missing", false, {9.0f}},      {"empty", false, {9.0f}},
    };
    for (const Case& c : cases) {
        std::vector<float> values = {9.0f};  // left as it is when nothing converts
        EXPECT_EQ(TDBContainerTag::GetFloatArray(root, N(c.name), values), c.ok) << c.name;
        EXPECT_EQ(values, c.values) << c.name;
    }
}

TEST(TagAccess, ASetterReplacesTheChildAndMovesItToTheEnd) {
    TDBTagRef root;
    TDBContainerTag::SetInt(root, N("a"), 1);  // an empty reference becomes a container
    TDBContainerTag::SetFloat(root, N("b"), 0.25f);
    TDBContainerTag::SetString(root, N("c"), N("text"));
    TDBContainerTag::SetInt(root, N("a"), 7);
    EXPECT_EQ(Describe(root), "b=float:0.25 c=text:text a=int:7");

    TDBContainerTag::SetBool(root, N("b"), true);
    TDBContainerTag::SetKUID(root, N("k"), KUID(-3, 7, 127));
    TDBContainerTag::SetFloatArray(root, N("f"), {1.0f, 2.5f});
    TDBContainerTag::SetEmpty(root, N("c"));
    EXPECT_EQ(Describe(root), "a=int:7 b=int:1 k=kuid:-3:7:127 f=float:1,2.5 c=empty");
    EXPECT_FALSE(TDBContainerTag::HasTag(root, N("c")));

    TDBContainerTag::SetString(root, N("null"), Kiv::PString());
    TDBTagRef nullText = root->FindChild(N("null"));
    EXPECT_EQ(nullText->GetType(), kTagText);
    EXPECT_EQ(nullText->GetDataSize(), 0u);

    TDBContainerTag::RemoveTag(root, N("k"));
    TDBContainerTag::RemoveTag(root, N("missing"));
    EXPECT_EQ(Describe(root), "a=int:7 b=int:1 f=float:1,2.5 c=empty null=text:");
}

TEST(TagAccess, SetContainerSharesTheChildAndMakesEmptyReferencesContainers) {
    TDBTagRef root;
    TDBTagRef child;
    TDBContainerTag::SetContainer(root, N("box"), child);
    ASSERT_TRUE(root);
    ASSERT_TRUE(child);
    TDBContainerTag::SetInt(child, N("x"), 3);  // seen through the parent: not a copy
    EXPECT_EQ(Describe(root), "box{x=int:3}");
    EXPECT_EQ(TDBContainerTag::GetContainer(root, N("box")).Get(), child.Get());

    TDBTagRef null = ACSChunk::GetNullChunk();
    null.EnsureContainer();  // the null node counts as empty: replaced, never written to
    EXPECT_FALSE(null.IsNullChunk());
    EXPECT_EQ(null->GetType(), kTagContainer);
    EXPECT_EQ(ACSChunk::GetNullChunk()->GetChildCount(), 0u);
}

TEST(TagAccess, SettersOnALoadedViewGoToItsOverlay) {
    TDBTagRef view = souptest::Read(Write(Sample()));
    ASSERT_TRUE(view);
    TDBContainerTag::SetInt(view, N("int5"), 6);
    TDBContainerTag::SetString(view, N("text12"), N("changed"));
    EXPECT_EQ(TDBContainerTag::GetInt(view, N("int5"), -1), 6);
    EXPECT_EQ(TDBContainerTag::GetString(view, N("text12")).str(), "changed");
    EXPECT_EQ(TDBContainerTag::CountChildren(view), 10u);
    EXPECT_EQ(TDBContainerTag::GetChildName(view, 9).str(), "text12");
}

}  // namespace
