#include "foundation/paths.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(Paths, AbsolutePathsAreNeverJoined) {
    struct Case {
        const char* text;
        bool absolute;
    };
    const Case cases[] = {
        {"/home/me/x.cdp", true},  // a Linux path typed by the user
        {"c:\\data", true},
        {"C:/data", true},
        {"\\\\server\\share", true},
        {"\\data", true},  // reads as "/data" on this system
        {"c:", false},
        {"c:data", false},
        {"data/x", false},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsAbsolutePath(c.text), c.absolute) << c.text;
}

TEST(Paths, WildcardIsAPrefixTest) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    };
    const Case cases[] = {
        {"ab?", "ABC", true},   {"abc", "ab", false},   {"ab", "abc", true},
        {"", "anything", true}, {"", "", true},         {"?", "", false},
        {"a*", "a*x", true},    {"a*", "abc", false},   {"_", "-", false},
        {"K?ID", "kuid", true}, {"kuid", "kuiD", true}, {"x.gs", "x.gsl", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WildcardMatch(c.pattern, c.name), c.match) << c.pattern << " ~ " << c.name;
}

TEST(Paths, SafeFileNameKeepsOnlyPlainCharacters) {
    struct Case {
        const char* text;
        const char* safe;
    };
    const Case cases[] = {
        {"My Asset (v2)!", "My Asset _v2__"},
        {"name   ", "name"},
        {"a/b\\c:d.e", "a_b_c_d_e"},
        {"caf\xc3\xa9", "caf__"},  // each byte of a UTF-8 letter
        {"   ", ""},
        {"under_score 9", "under_score 9"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeSafeFileName(c.text), c.safe) << c.text;
}

TEST(Paths, NormalizePathLowerGivesTheComparisonForm) {
    struct Case {
        const char* path;
        const char* form;
    };
    const Case cases[] = {
        {"C:/Program Files/Halvex/", "c:\\program files\\halvex"},
        {"/Home//Me/./UserData/../Data/", "\\home\\me\\data"},
        {"Local\\Asset", "local\\asset"},
        {"/", "\\"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormalizePathLower(c.path).str(), c.form) << c.path;
}

TEST(Paths, NameTests) {
    EXPECT_EQ(FindFileExtension("mesh.LOD.Txt"), "Txt");
    EXPECT_EQ(FindFileExtension("config"), "");
    EXPECT_EQ(FindFileExtension("trailing."), "");
    EXPECT_EQ(FindFileExtension("folder.d/name"), "");

    EXPECT_TRUE(IsTextureTxtFile("assets/wall/Texture.TXT"));
    EXPECT_TRUE(IsTextureTxtFile("texture.txt"));
    EXPECT_FALSE(IsTextureTxtFile("mytexture.txt"));
    EXPECT_TRUE(IsTextureTxtFile("assets/wall/Body.Texture.txt"));
    EXPECT_FALSE(IsTextureTxtFile(".texture.txt.bak"));
    EXPECT_FALSE(IsTextureTxtFile("body.texture"));
    EXPECT_FALSE(IsTextureTxtFile("texture.txt/other"));

    EXPECT_TRUE(IsDotDirectory("."));
    EXPECT_TRUE(IsDotDirectory(".."));
    EXPECT_FALSE(IsDotDirectory("..."));
    EXPECT_FALSE(IsDotDirectory(".hidden"));

    for (uint32_t n : {0u, 1u, 2u, 64u, 0x80000000u})
        EXPECT_TRUE(IsPowerOfTwo(n)) << n;
    for (uint32_t n : {3u, 6u, 100u, 0xFFFFFFFFu})
        EXPECT_FALSE(IsPowerOfTwo(n)) << n;
}

TEST(Paths, LowerCaseTouchesOnlyAsciiCapitals) {
    std::string text = "Tag NAME 42 \xc3\x89t\xc3\xa9";  // UTF-8 bytes must survive
    LowerCaseText(text.data(), text.size());
    EXPECT_EQ(text, "tag name 42 \xc3\x89t\xc3\xa9");

    Kiv::PString word("KUID-Table");
    LowerCasePString(word);
    EXPECT_EQ(word, Kiv::PString("kuid-table"));  // the same interned entry
    Kiv::PString none;
    LowerCasePString(none);
    EXPECT_TRUE(none.IsNull());
}

}  // namespace
