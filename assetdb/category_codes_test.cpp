// The vocabulary tables and the lookups that turn kinds and category classes into filter
// codes.
#include "assetdb/category_codes.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <string_view>

#include "assetdb/asset_vocabulary.h"

namespace {

// Filter codes as category lists hold them: capital letters (some behind a "?"), joined by
// single ";".
bool IsCodeList(std::string_view codes) {
    if (codes.empty() || codes.front() == ';' || codes.back() == ';') return false;
    for (size_t i = 0; i < codes.size(); ++i) {
        char c = codes[i];
        bool ok = std::isupper(static_cast<unsigned char>(c)) || c == '?' ||
                  (c == ';' && codes[i - 1] != ';');
        if (!ok) return false;
    }
    return true;
}

TEST(AssetVocabulary, KindTableHoldsItsRows) {
    auto rows = KindFilterTable();
    ASSERT_EQ(rows.size(), 61u);
    EXPECT_TRUE(rows.back().kind.IsEmpty());
    EXPECT_EQ(*rows.back().codes, '\0');
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].kind.c_str());
        EXPECT_FALSE(rows[i].kind.IsEmpty());
        EXPECT_TRUE(IsCodeList(rows[i].codes));
    }
    EXPECT_EQ(rows.front().kind.view(), "fixedtrack");
    EXPECT_EQ(rows[59].kind.view(), "library");
    EXPECT_EQ(rows[59].subKinds.view(), "achievementvariable");
    EXPECT_STREQ(rows[59].codes, "SLIB;ACHU");
}

TEST(AssetVocabulary, CategoryClassTableHoldsItsRows) {
    auto rows = CategoryClassTable();
    ASSERT_EQ(rows.size(), 164u);
    EXPECT_EQ(*rows.back().codes, '\0');
    for (size_t i = 0; i + 1 < rows.size(); ++i) {
        std::string_view code = rows[i].classCode;
        SCOPED_TRACE(std::string(code));
        EXPECT_TRUE(code.size() == 2 || code.size() == 3);
        for (char c : code)
            EXPECT_TRUE(std::isupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(IsCodeList(rows[i].codes));
    }
    EXPECT_STREQ(rows.front().classCode, "AA");
    EXPECT_STREQ(rows[162].classCode, "ZY");
    EXPECT_STREQ(rows[162].kind, "tintwerk-skin");
}

TEST(AssetVocabulary, TagNamesInOrder) {
    auto tags = AssetTagTable();
    ASSERT_EQ(tags.size(), 32u);
    EXPECT_EQ(AssetTag(kTagUsername).view(), "username");
    EXPECT_EQ(AssetTag(kTagUsernameAgain), AssetTag(kTagUsername));
    EXPECT_EQ(AssetTag(kTagObsoleteTable).view(), "obsolete-table");
    EXPECT_EQ(AssetTag(kTagHalvexBuild).view(), "halvex-build");
    EXPECT_TRUE(AssetTag(kTagEmpty3).IsEmpty());
    EXPECT_EQ(tags.back().view(), "$main_stringtable_language");
}

TEST(CategoryCodes, ParsesCategoryClasses) {
    struct Case {
        const char* kind;
        const char* code;
        const char* codes;
    };
    const Case cases[] = {
        {"texture-group", "JO", "TX;NEV"},
        {"texture", "JO", "TX;NEV"},
        {"traincar", "BR", ""},
        {"scenery", "BR", "BD;RRD"},      // the first of two BR rows
        {"traincar", "AS", "TR;TV;TDR"},  // the first of two AS rows
        {"TrainCar", "as", "TR;TV;TDR"},
        {"traincar", "RP", "TR;TV;RCR;DIES"},
        {"", "BR", "BD;RRD"},
        {nullptr, "FT", "FL;SCEN"},
        {"mesh", "FT", "FL;SCEN"},  // a row for any kind
        {"track", "SP", "SY;SPLN"},
        {"spline", "SP", "RD;SPLN"},
        {"bridge", "TR", "TK;RLS"},
        {"track", "TR", "TK;RLS"},
        {"traincar", "XTM", "TR;TV;FRT;TANK"},
        {"traincar", "ZZ", ""},
        {"traincar", "", ""},
        {"traincar", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind ? c.kind : "(missing)") + " / " +
                     (c.code ? c.code : "(missing)"));
        EXPECT_EQ(ParseCategoryClass(c.kind, c.code).str(), c.codes);
    }
}

TEST(CategoryCodes, TurnsKindsIntoFilterCodes) {
    struct Case {
        const char* kind;
        const char* subKinds;  // nullptr: none given
        const char* codes;
    };
    const Case cases[] = {
        {"bridge", "road;tunnels", "SPLN;TUN"},
        {"bridge", "tunnels;road", "SPLN;TUN"},
        {"bridge", "road", "SPLN;BRG"},
        {"bridge", "tunnels", "TK;TUN"},
        {"bridge", nullptr, "SPLN;BRG"},
        {"bridge", "", "SPLN;BRG"},
        {"track", "rails", "TK"},
        {"traincar", "locomotive", "TR;TV;LOCO"},
        {"traincar", "tender;locomotive", "TR;TV;TEND"},
        {"traincar", "", "TR;TV"},
        {"Traincar", "", ""},  // kinds are matched as interned, letter case included
        {"mojunction", nullptr, "TO;?WX"},
        {"no-such-kind", nullptr, ""},
        {"", nullptr, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " / " + (c.subKinds ? c.subKinds : "(none)"));
        Kiv::PString subKinds = c.subKinds ? Kiv::PString(c.subKinds) : Kiv::PString();
        EXPECT_EQ(KindToFilterCodes(Kiv::PString(c.kind), subKinds).str(), c.codes);
    }
}

}  // namespace
