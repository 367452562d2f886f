// Display names: the first name tag, underscores as spaces for old builds, blanks and one pair
// of quotes gone; nothing left means untitled.
#include "assetdb/asset_name.h"

#include <gtest/gtest.h>

#include <string>

#include "configdata/interface_text.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/data_root.h"

namespace {

// Points the folder records at the build's staged install, whose Data folder holds the English
// interface text, and puts back what was there.
class StagedInstall {
public:
    StagedInstall() : install_(GetInstallRoot()), data_(GetDataRoot()) {
        SetFolderRoots(Kiv::File::Path(HALVEX_STAGE_DIR),
                       Kiv::File::Path(HALVEX_STAGE_DIR "/UserData"));
        InterfaceTextDB::MarkUnloaded();
    }
    ~StagedInstall() {
        SetFolderRoots(install_, data_);
        InterfaceTextDB::MarkUnloaded();
    }

private:
    Kiv::File::Path install_, data_;
};

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
    StagedInstall staged;
    for (const char* raw : {"", "   ", "  \"\"  ", "'", "\xE2\x80\x9C\xE2\x80\x9D"}) {
        SCOPED_TRACE(raw);
        EXPECT_EQ(CleanAssetName(raw).str(), "Untitled");
    }
}

// The text is looked up once: a later change of language or install leaves it as it was.
TEST(AssetName, TheUntitledTextIsLookedUpOnce) {
    {
        StagedInstall staged;
        EXPECT_EQ(UntitledAssetName().str(), "Untitled");
    }
    SetFolderRoots(Kiv::File::Path(), Kiv::File::Path());
    InterfaceTextDB::MarkUnloaded();
    EXPECT_EQ(UntitledAssetName().str(), "Untitled");
    StagedInstall restore;
}

TDBTagRef NameConfig(std::initializer_list<std::pair<const char*, std::string>> texts,
                     float build) {
    TDBTagRef config = souptest::NewContainer();
    for (const auto& [name, text] : texts)
        TDBContainerTag::SetString(config, Kiv::PString(name), Kiv::PString(text));
    if (build != 0.0f) TDBContainerTag::SetFloat(config, Kiv::PString("halvex-build"), build);
    return config;
}

TEST(AssetDisplayName, TakesTheFirstNameTagAndCleansIt) {
    StagedInstall staged;
    struct Case {
        const char* what;
        TDBTagRef config;
        const char* name;
    };
    const Case cases[] = {
        {"username first", NameConfig({{"name", "N"}, {"username", " \"U\" "}}, 3.6f), "U"},
        {"an empty username is passed over", NameConfig({{"username", ""}, {"name", "N"}}, 3.6f),
         "N"},
        {"the file name last", NameConfig({{"asset-filename", "box_1"}}, 3.6f), "box_1"},
        {"build 2.89 turns underscores into spaces", NameConfig({{"name", "My_Box"}}, 2.89f),
         "My Box"},
        {"build 2.9 keeps them", NameConfig({{"name", "My_Box"}}, 2.9f), "My_Box"},
        {"no build counts as old", NameConfig({{"name", "_My_Box_"}}, 0.0f), "My Box"},
        {"no name at all", NameConfig({}, 3.6f), "Untitled"},
        {"only quotes", NameConfig({{"username", "''"}}, 3.6f), "Untitled"},
        {"no config", TDBTagRef(), "Untitled"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AssetDisplayName(c.config).str(), c.name) << c.what;
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
