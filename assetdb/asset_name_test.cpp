// Display names: blanks and one pair of quotes go; nothing left means untitled.
#include "assetdb/asset_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(AssetName, CleansNames) {
    struct Case {
        const char* raw;
        const char* clean;
    };
    const Case cases[] = {
        {"  Box \t\r\n", "Box"},
        {"\"Box\"", "Box"},
        {"'Box'", "Box"},
        {"\"Box", "Box"},
        {"Box'", "Box"},
        {"\"\"Box\"\"", "\"Box\""},
        {"\" Box \"", " Box "},
        {"\x93"
         "Box\x94",
         "Box"},
        {"\xE2\x80\x9C"
         "Box\xE2\x80\x9D",
         "Box"},
        {"\xE2\x80\x98"
         "Box\xE2\x80\x99",
         "Box"},
        // A closing UTF-8 quote at the start and an opening one at the end stay.
        {"\xE2\x80\x9D"
         "Box\xE2\x80\x9C",
         "\xE2\x80\x9D"
         "Box\xE2\x80\x9C"},
        {"Box_Car", "Box_Car"},
        {"\x93", "\x93"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.raw);
        EXPECT_EQ(CleanAssetName(c.raw).str(), c.clean);
    }
}

TEST(AssetName, NothingLeftIsUntitled) {
    for (const char* raw : {"", "   ", "  \"\"  ", "'", "\xE2\x80\x9C\xE2\x80\x9D"}) {
        SCOPED_TRACE(raw);
        // Without interface texts the key stands for its text, as a missing translation does.
        EXPECT_EQ(CleanAssetName(raw).str(), "$cm_general_untitled");
    }
    SetAssetNameTextLookup([](const char* key) {
        return Kiv::String(std::string(key) == "$cm_general_untitled" ? "Untitled" : key);
    });
    EXPECT_EQ(CleanAssetName(" \"\" ").str(), "Untitled");
    SetAssetNameTextLookup(nullptr);
}

TEST(AssetName, MeasuresQuotes) {
    struct Case {
        const char* text;
        int at;  // index of the byte looked at
        int count;
        int length;
    };
    const Case cases[] = {
        {"\"x", 0, 2, 1},
        {"x'", 1, -2, 1},
        {"x", 0, 1, 0},
        {"\"", 0, 0, 0},
        {"\x93x", 0, 2, 1},
        {"\x93", 0, 1, 0},      // nothing after it to tell
        {"\x93\xA9", 0, 2, 0},  // followed by a UTF-8 continuation byte
        {"x\x94", 1, -2, 1},
        {"\xA9\x94", 1, -2, 0},
        {"\x94", 0, -1, 0},
        {"\xE2\x80\x9Cx", 0, 4, 3},
        {"\xE2\x80\x98", 0, 3, 3},
        {"\xE2\x80\x9C", 0, 2, 0},  // too few bytes counted
        {"\xE2\x80\x9D", 0, 3, 0},  // a closing quote read forward
        {"x\xE2\x80\x9D", 3, -4, 3},
        {"\xE2\x80\x99", 2, -3, 3},
        {"\xE2\x80\x9C", 2, -3, 0},  // an opening quote read backward
        {"\x80\x9D", 1, -2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(QuoteLengthAt(c.text + c.at, c.count), c.length);
    }
}

TEST(AssetName, UnderscoresBecomeSpaces) {
    EXPECT_EQ(UnderscoresToSpaces("a_b__c").str(), "a b  c");
    EXPECT_EQ(UnderscoresToSpaces("abc").str(), "abc");
}

}  // namespace
