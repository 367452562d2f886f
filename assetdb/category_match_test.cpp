// Category lists and expressions.
#include "assetdb/category_match.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CategoryMatch, MatchesExpressions) {
    struct Case {
        const char* list;
        const char* expression;
        bool holds;
    };
    const Case cases[] = {
        {"TR;TV;LOC", "TR;LOC", true},
        {"TR;TV;LOC", "TR;-LOC", false},
        {"TR;TV;LOC", "DR|TV", true},
        {"TR;TV;LOC", "-DR", true},
        {"TR;TV;LOC", "DR;-TR|ZZ", false},
        {"TR;TV;LOC", "TR;;;TV", true},
        {"TR;TV", "", true},
        {"TR;TV", nullptr, true},
        {nullptr, "TR", false},
        {nullptr, "", false},
        {"TR", "-", true},
        {"TR", "--TR", true},
        {"TR", "---TR", false},
        {"TR", "|ZZ", true},
        {"tr", "TR", false},
        {"TRAIN;TV", "TR", false},
        {"TR", "TRAIN", false},
        {"TR;;;TV", "TV", true},
        {";TV;", "TV", true},
        {"TR|TV", "TV", false},
        {"", "-TR", true},
        {"", "TR", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.list ? c.list : "(missing)") + " / " +
                     (c.expression ? c.expression : "(missing)"));
        EXPECT_EQ(MatchCategoryList(c.list, c.expression), c.holds);
    }
}

TEST(CategoryMatch, ListContainsWholeEntriesOnly) {
    struct Case {
        const char* list;
        const char* token;
        bool holds;
    };
    const Case cases[] = {
        {"TRAIN;TV", "TR", false},    {"TRAIN;TV", "TV", true},   {"TRAIN;TV", "TV;XX", true},
        {"TRAIN;TV", "TV|XX", true},  {"TRAIN;TV", "", false},    {"TRAIN;TV", "|TV", false},
        {"TRAIN;TV", "-", true},      {"TRAIN;TV", "-TV", false}, {nullptr, "TV", false},
        {"TRAIN;TV", nullptr, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.list ? c.list : "(missing)") + " / " +
                     (c.token ? c.token : "(missing)"));
        EXPECT_EQ(CategoryListContains(c.list, c.token), c.holds);
    }
}

TEST(CategoryMatch, LongNegationRunsDoNotRecurse) {
    std::string token(1000001, '-');
    token += "TR";
    EXPECT_FALSE(CategoryListContains("TR", token.c_str()));
    EXPECT_FALSE(MatchCategoryList("TR", token.c_str()));
    token.insert(0, "-");
    EXPECT_TRUE(MatchCategoryList("TR", token.c_str()));
}

TEST(CategoryMatch, TokensAndAppending) {
    EXPECT_EQ(NextCategoryToken("TR;TV").str(), "TR");
    EXPECT_EQ(NextCategoryToken("TR|TV").str(), "TR");
    EXPECT_EQ(NextCategoryToken(";TV").str(), "");
    EXPECT_EQ(NextCategoryToken(nullptr).str(), "");

    struct Case {
        const char* before;
        const char* token;
        const char* after;
    };
    const Case cases[] = {
        {"", "TR;TV", "TR"}, {"AC", "TR|TV", "AC;TR"}, {"AC", ";TR", "AC"},
        {"AC", "|TR", "AC"}, {"AC", "", "AC"},         {"AC", nullptr, "AC"},
    };
    for (const Case& c : cases) {
        Kiv::String out(c.before);
        AppendCategoryToken(out, c.token);
        EXPECT_EQ(out.str(), c.after);
    }
}

TEST(CategoryMatch, BuildsFilterText) {
    struct Case {
        const char* base;
        const char* categories;
        const char* text;
    };
    const Case cases[] = {
        {"", "AC;;AC;TR", "#AC;#TR"}, {"#AC;X", "AC;TR", "#AC;X;#TR"},
        {"X", nullptr, "X"},          {"X", ";;", "X"},
        {"", "AC|TR", "#AC;#TR"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.categories ? c.categories : "(missing)");
        Kiv::String out("left over");
        BuildCategoryFilterText(out, c.base, c.categories);
        EXPECT_EQ(out.str(), c.text);
    }
}

}  // namespace
