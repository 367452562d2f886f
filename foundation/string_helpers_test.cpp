#include "foundation/string_helpers.h"

#include <gtest/gtest.h>

namespace {

using Kiv::PString;

TEST(PStringHelpers, ReleaseDropsTheReference) {
    PString word("delayed-init-word");
    PString handle = word;
    EXPECT_EQ(word.RefCount(), 2u);
    PStringRelease(handle);
    EXPECT_TRUE(handle.IsNull());
    EXPECT_EQ(word.RefCount(), 1u);
    PStringRelease(handle);  // a null handle is fine
}

TEST(PStringHelpers, ConcatAndTruncateMakeInternedStrings) {
    PString kind("kind"), tag("-tag");
    EXPECT_EQ(PStringConcat(kind, tag), PString("kind-tag"));
    EXPECT_EQ(PStringConcat(kind, PString()), kind);
    EXPECT_EQ(PStringConcat(PString(), PString()), PString(""));
    EXPECT_EQ(PStringConcatText(kind, ".txt"), PString("kind.txt"));
    EXPECT_EQ(PStringConcatText(kind, nullptr), kind);
    EXPECT_EQ(PStringTruncate(PString("config.txt"), 6), PString("config"));
    EXPECT_EQ(PStringTruncate(kind, 4), kind);
    EXPECT_EQ(PStringTruncate(kind, 99), kind);
    EXPECT_EQ(PStringTruncate(kind, 0), PString(""));
    EXPECT_TRUE(PStringTruncate(PString(), 3).IsNull());
}

TEST(PStringHelpers, EqualsNoCaseIsNullSafe) {
    struct Case {
        PString s;
        const char* text;
        bool equal;
    };
    const Case cases[] = {
        {PString("Kind"), "kIND", true},
        {PString("Kind"), "kinds", false},
        {PString("Kind"), nullptr, false},
        {PString(), nullptr, true},
        {PString(), "", true},
        {PString(), "x", false},
        {PString("\xC9"), "\xE9", false},  // only ASCII letters fold
    };
    for (const Case& c : cases)
        EXPECT_EQ(PStringEqualsNoCase(c.s, c.text), c.equal) << c.s.c_str() << " / " << c.text;
}

TEST(AnsiStringConcat, JoinsTwoTexts) {
    EXPECT_EQ(AnsiStringConcat("-render=OpenGL ", "-hidewindow "), "-render=OpenGL -hidewindow ");
    EXPECT_EQ(AnsiStringConcat("", ""), "");
}

}  // namespace
