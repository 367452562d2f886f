// The filter elements' binary, text and equality forms, element by element and as trees.
#include "assetdb/filter_element.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "assetdb/filter_asset_id.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_range.h"
#include "assetdb/filter_reader.h"
#include "assetdb/filter_string.h"
#include "foundation/tbuffer.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ElementPtr = std::unique_ptr<WEXFilterElement>;

Bytes Envelope(const WEXFilterElement* e, bool* ok = nullptr) {
    TBuffer b;
    bool written = WEXFilterWriteElement(b, e);
    if (ok != nullptr) *ok = written;
    return Bytes(b.GetData(), b.GetData() + b.GetDataLength());
}

ElementPtr ReadBack(const Bytes& bytes, Kiv::String* error = nullptr) {
    TBuffer b(bytes.data(), static_cast<uint32_t>(bytes.size()));
    return WEXFilterReadElement(b, error);
}

ElementPtr Str(uint32_t code, const char* text) {
    return std::make_unique<WEXFilterElementString>(code, Kiv::PString(text));
}

ElementPtr Bool(uint32_t code) {
    return std::make_unique<WEXFilterElementBool>(code);
}

ElementPtr Int(int32_t lo, int32_t hi, bool inLo, bool inHi, uint32_t code = kWEXAuthor) {
    auto e = std::make_unique<WEXFilterElementInt>();
    e->SetKeywordCode(code);
    e->SetRange(lo, hi, inLo, inHi);
    return e;
}

ElementPtr Time(int64_t from, int64_t to, bool inFrom, bool inTo,
                uint32_t code = kWEXInstallationTimestamp) {
    auto e = std::make_unique<WEXFilterElementTimestamp>();
    e->SetKeywordCode(code);
    e->SetRange(from, to, inFrom, inTo);
    return e;
}

ElementPtr Ids(std::initializer_list<KUID> kuids, uint32_t code = kWEXAssetIDList) {
    KUIDBlockList list;
    for (const KUID& k : kuids)
        list.Append(k);
    auto e = std::make_unique<WEXFilterElementAssetID>(list);
    e->SetKeywordCode(code);
    return e;
}

ElementPtr Group(std::vector<ElementPtr> children) {
    auto g = std::make_unique<WEXFilterElementGroup>();
    for (auto& c : children)
        g->Add(std::move(c));
    return g;
}

template <typename... T>
std::vector<ElementPtr> List(T&&... e) {
    std::vector<ElementPtr> v;
    (v.push_back(std::forward<T>(e)), ...);
    return v;
}

struct BinaryCase {
    const char* name;
    std::function<ElementPtr()> make;
    Bytes bytes;
};

TEST(FilterElement, WritesEachBinaryForm) {
    const BinaryCase cases[] = {
        {"empty group", [] { return Group({}); }, {0x70, 0x75, 0x72, 0x67, 1, 0, 0, 0, 0, 0}},
        {"category string",
         [] { return Str(kWEXCategoryList, "AC"); },
         {0x6E, 0x72, 0x74, 0x73, 1, 0, 0, 0, 3, 0, 0, 0, 'A', 'C', 0, 0}},
        {"exact asset name",
         [] { return Str(kWEXAssetName, "\"Box\""); },
         {0x6E, 0x72, 0x74, 0x73, 0, 0, 0, 0, 4, 0, 0, 0, 'B', 'o', 'x', 0, 1}},
        {"bool", [] { return Bool(kWEXBuiltin); }, {0x6C, 0x6F, 0x6F, 0x62, 15, 0, 0, 0}},
        {"int",
         [] { return Int(-1, 5, true, false); },
         {0x65, 0x74, 0x6E, 0x69, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 5, 0, 0, 0, 1, 0}},
        {"timestamp",
         [] { return Time(0x100000002LL, 7, false, true, kWEXModificationTimestamp); },
         {0x65, 0x6D, 0x69, 0x74, 1, 0, 0, 0, 2, 0, 0, 0, 1,
          0,    0,    0,    7,    0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"asset ids in KUID order",
         [] {
             return Ids({KUID(5, 6, 7), KUID(3, 4), KUID(5, 6, 7)});
         },
         {0x74, 0x73, 0x73, 0x61, 0, 0, 0, 0, 2, 0, 0, 0,  //
          4,    0,    0,    0,    3, 0, 0, 0, 6, 0, 0, 0, 5, 0, 0, 0x0E}},
        {"negated group inside a group",
         [] {
             auto g = std::make_unique<WEXFilterElementGroup>();
             g->AddNew(Bool(kWEXLocal));
             return ElementPtr(std::move(g));
         },
         {0x70, 0x75, 0x72, 0x67, 1, 0, 1,    0,    0,    0,    0x70, 0x75, 0x72, 0x67,
          1,    1,    1,    0,    0, 0, 0x6C, 0x6F, 0x6F, 0x62, 0,    0,    0,    0}},
    };
    for (const BinaryCase& c : cases) {
        SCOPED_TRACE(c.name);
        ElementPtr e = c.make();
        bool ok = false;
        EXPECT_EQ(Envelope(e.get(), &ok), c.bytes);
        EXPECT_TRUE(ok);

        // Reading gives an equal element that writes the same bytes again.
        Kiv::String error;
        ElementPtr back = ReadBack(c.bytes, &error);
        ASSERT_NE(back, nullptr) << error.c_str();
        EXPECT_TRUE(WEXFilterElementsEqual(*e, *back));
        EXPECT_EQ(Envelope(back.get()), c.bytes);
    }
}

TEST(FilterElement, MissingElementWritesZeroAndFails) {
    bool ok = true;
    EXPECT_EQ(Envelope(nullptr, &ok), (Bytes{0, 0, 0, 0}));
    EXPECT_FALSE(ok);
}

TEST(FilterElement, StringQuotesMakeOnlyAnAssetNameExact) {
    struct Case {
        uint32_t code;
        const char* text;
        const char* stored;
        bool exact;
    };
    const Case cases[] = {
        {kWEXAssetName, "\"Box\"", "Box", true},
        {kWEXAssetName, "\"\"", "", true},
        {kWEXAssetName, "\"", "\"", false},
        {kWEXAssetName, "\"Box", "\"Box", false},
        {kWEXCategoryList, "\"Box\"", "\"Box\"", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        WEXFilterElementString e(c.code, Kiv::PString(c.text));
        EXPECT_EQ(e.GetValue().view(), c.stored);
        EXPECT_EQ(e.IsExact(), c.exact);
    }
}

TEST(FilterElement, PrintsValueTexts) {
    struct Case {
        const char* name;
        std::function<ElementPtr()> make;
        const char* keyword;
        const char* text;  // "" for the empty text, which is the null handle
    };
    const Case cases[] = {
        {"group", [] { return Group(List(Str(kWEXCategoryList, "AC"), Bool(kWEXBuiltin))); },
         "group", "category-list:(AC), builtin:(true)"},
        {"empty group", [] { return Group({}); }, "group", ""},
        {"nested group", [] { return Group(List(Group(List(Bool(kWEXLocal))))); }, "group",
         "group:(local:(true))"},
        {"escapes", [] { return Str(kWEXKeywordList, "a(b)\\c"); }, "keyword-list",
         "a\\(b\\)\\\\c"},
        {"control and high bytes", [] { return Str(kWEXRegionList, "\x01x\x1f\xe9"); },
         "region-list", "\\Ax\\_\xe9"},
        {"empty string", [] { return Str(kWEXEraList, ""); }, "era-list", ""},
        {"bool", [] { return Bool(kWEXFaulty); }, "faulty", "true"},
        {"int from minimum", [] { return Int(2, 5, true, false); }, "author", "[2,5)"},
        {"int to maximum", [] { return Int(-3, 4, false, true, kWEXVersion); }, "version",
         "(-3,4]"},
        {"timestamp low words",
         [] { return Time(0x100000005LL, -1, false, false, kWEXModificationTimestamp); },
         "modification-timestamp", "(5,-1)"},
        {"asset ids",
         [] {
             return Ids({KUID(5, 6, 7), KUID(3, 4)}, kWEXProfileMap);
         },
         "profile-map", "<kuid:3:4>, <kuid2:5:6:7>"},
        {"no asset ids", [] { return Ids({}); }, "asset-id", ""},
        {"unknown keyword", [] { return Bool(22); }, "unknown", "true"},
        {"unknown int keyword", [] { return Int(0, 0, false, false, 3); }, "unknown", "(0,0)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ElementPtr e = c.make();
        EXPECT_EQ(e->KeywordName().view(), c.keyword);
        Kiv::PString text = e->ValueText();
        EXPECT_EQ(text.view(), c.text);
        EXPECT_EQ(text.IsNull(), *c.text == '\0');
    }
}

TEST(FilterElement, EqualityHoldsBothWays) {
    struct Case {
        const char* name;
        std::function<ElementPtr()> a, b;
        bool equal;
    };
    const Case cases[] = {
        {"same KUIDs in another order",
         [] {
             return Ids({KUID(1, 2), KUID(3, 4)});
         },
         [] {
             return Ids({KUID(3, 4), KUID(1, 2), KUID(3, 4)});
         },
         true},
        {"KUIDs under another keyword", [] { return Ids({KUID(1, 2)}); },
         [] { return Ids({KUID(1, 2)}, kWEXProfileMap); }, false},
        {"exact flag takes no part", [] { return Str(kWEXAssetName, "\"Box\""); },
         [] { return Str(kWEXAssetName, "Box"); }, true},
        {"high halves of timestamps take no part", [] { return Time(5, 6, true, true); },
         [] { return Time(0x700000005LL, 6, true, true); }, true},
        {"included bound differs", [] { return Int(2, 5, true, false); },
         [] { return Int(2, 5, true, true); }, false},
        {"group against string", [] { return Group({}); }, [] { return Str(kWEXAssetName, ""); },
         false},
        {"same children", [] { return Group(List(Bool(kWEXLocal), Str(kWEXCategoryList, "TR"))); },
         [] { return Group(List(Bool(kWEXLocal), Str(kWEXCategoryList, "TR"))); }, true},
        {"children in another order",
         [] { return Group(List(Bool(kWEXLocal), Bool(kWEXBuiltin))); },
         [] { return Group(List(Bool(kWEXBuiltin), Bool(kWEXLocal))); }, false},
        {"one child more", [] { return Group(List(Bool(kWEXLocal))); },
         [] { return Group(List(Bool(kWEXLocal), Bool(kWEXLocal))); }, false},
        {"negated against plain",
         [] {
             auto g = std::make_unique<WEXFilterElementGroup>(Bool(kWEXLocal));
             g->SetNegated(true);
             return ElementPtr(std::move(g));
         },
         [] { return Group(List(Bool(kWEXLocal))); }, false},
        // Texts that happen to agree do not make an asset-id element equal to another class.
        {"asset ids against a string of the same texts", [] { return Ids({}, 9); },
         [] { return Str(9, ""); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ElementPtr a = c.a();
        ElementPtr b = c.b();
        EXPECT_EQ(WEXFilterElementsEqual(*a, *b), c.equal);
        EXPECT_EQ(WEXFilterElementsEqual(*b, *a), c.equal);
    }
}

TEST(FilterElement, NestedTreeRoundTrips) {
    auto inner = std::make_unique<WEXFilterElementGroup>();
    inner->Add(Ids({KUID(-3, 9, 127), KUID(12, 34, 5)}));
    inner->Add(Time(-100, 1LL << 40, true, false));
    auto root = std::make_unique<WEXFilterElementGroup>(Str(kWEXAssetName, "\"Old Train\""));
    root->Add(Int(1, 2, true, true, kWEXLocalRating));
    root->AddNew(std::move(inner));
    root->Add(Group({}));

    Bytes bytes = Envelope(root.get());
    ElementPtr back = ReadBack(bytes);
    ASSERT_NE(back, nullptr);
    EXPECT_TRUE(WEXFilterElementsEqual(*root, *back));
    EXPECT_EQ(Envelope(back.get()), bytes);

    auto& group = dynamic_cast<const WEXFilterElementGroup&>(*back);
    ASSERT_EQ(group.GetChildCount(), 4u);
    EXPECT_TRUE(dynamic_cast<const WEXFilterElementString&>(group.GetChild(0)).IsExact());
    auto& negation = dynamic_cast<const WEXFilterElementGroup&>(group.GetChild(2));
    EXPECT_TRUE(negation.IsNegated());
    EXPECT_EQ(negation.GetMode(), 1);
    ASSERT_EQ(negation.GetChildCount(), 1u);
    EXPECT_EQ(negation.GetChild(0).ValueText().view(),
              "asset-id:(<kuid:-3:9>, <kuid2:12:34:5>), installation-timestamp:([-100,0))");
}

// A leaf that counts how often it is compared.
int gLeafComparisons = 0;
struct CountingLeaf : WEXFilterElementBool {
    bool Equals(const WEXFilterElement& other) const override {
        ++gLeafComparisons;
        return WEXFilterElementBool::Equals(other);
    }
};

TEST(FilterElement, NestedGroupsCompareInLinearTime) {
    auto chain = [] {
        ElementPtr e = std::make_unique<CountingLeaf>();
        for (int i = 0; i < 40; ++i)
            e = std::make_unique<WEXFilterElementGroup>(std::move(e));
        return e;
    };
    ElementPtr a = chain();
    ElementPtr b = chain();
    gLeafComparisons = 0;
    EXPECT_TRUE(WEXFilterElementsEqual(*a, *b));
    // Both ways at the top and both ways at the leaf: four, not 2^41.
    EXPECT_EQ(gLeafComparisons, 4);
}

TEST(FilterElement, GroupRefusesMissingChild) {
    WEXFilterElementGroup g;
    EXPECT_FALSE(g.Add(nullptr));
    EXPECT_FALSE(g.AddNew(nullptr));
    EXPECT_EQ(g.GetChildCount(), 0u);
}

TEST(FilterElement, OverlongStringIsNotWritten) {
    WEXFilterElementString e(kWEXKeywordList, Kiv::PString(std::string(70000, 'k')));
    TBuffer b;
    EXPECT_FALSE(e.Write(b));
}

}  // namespace
