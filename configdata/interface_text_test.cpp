#include "configdata/interface_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "configdata/soup_test_support.h"
#include "foundation/data_root.h"
#include "platform/kiv/base/log.h"
#include "tests/support/log_lines.h"
#include "tests/support/temp_dir.h"

namespace {

// The staged install tree of the build, whose "Data" holds the shipped English text.
const char* const kStagedInstall = HALVEX_STAGE_DIR;

using testsupport::LogLines;

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

// A binary soup file of text tags.
std::string ChumpOf(std::initializer_list<std::pair<const char*, std::string>> texts) {
    TDBTagRef root = souptest::NewContainer();
    for (const auto& [key, text] : texts)
        souptest::AddValue(root, key, kTagText, std::string_view(text.c_str(), text.size() + 1));
    return souptest::Write(root);
}

// Each test starts from English in an install tree of its own, whose "Data" folder the test
// fills, and leaves the folder records and the table as it found them.
class InterfaceText : public testing::Test {
protected:
    void SetUp() override {
        savedInstall = GetInstallRoot();
        savedData = GetDataRoot();
        UseInstall(dir.path());
        std::filesystem::create_directory(dir / "Data");
        InterfaceTextDB::SetLanguage(nullptr);
        InterfaceTextDB::MarkUnloaded();
    }
    void TearDown() override {
        SetFolderRoots(savedInstall, savedData);
        InterfaceTextDB::SetLanguage(nullptr);
        InterfaceTextDB::MarkUnloaded();
    }
    static void UseInstall(const std::string& root) {
        SetFolderRoots(Kiv::File::Path(root), Kiv::File::Path(root + "/UserData"));
    }
    testsupport::TempDir dir;
    Kiv::File::Path savedInstall, savedData;
};

TEST_F(InterfaceText, TheShippedEnglishFileGivesItsTexts) {
    UseInstall(kStagedInstall);
    LogLines log;
    EXPECT_EQ(GetInterfaceString("$cm_general_untitled").str(), "Untitled");
    EXPECT_EQ(GetInterfaceString("$duv_eh_error").str(), "Error: ");
    // Only the text form ships, so the first load notes the missing binary file once.
    EXPECT_EQ(log.lines, std::vector<std::string>{
                             "InterfaceTextDB> failed to load compiled interfacetext file"});
    InterfaceTextDB& table = InterfaceTextDB::Instance();
    for (TDBTagRef child : {table.GetMapText(), table.GetSpecText(), table.GetScenarioText()}) {
        ASSERT_NE(child.Get(), nullptr);
        EXPECT_FALSE(child.IsNullChunk());
        EXPECT_EQ(child->GetType(), kTagContainer);
    }
}

TEST_F(InterfaceText, LanguageCodesChooseTheFile) {
    struct Case {
        const char* code;
        const char* file;  // afterwards, from the German file
    };
    const Case cases[] = {
        {nullptr, "InterfaceText.chump"},    {"", "InterfaceText.chump"},
        {"uk", "InterfaceText.chump"},       {"En", "InterfaceText.chump"},
        {"de", "InterfaceGerman.chump"},     {"FR", "InterfaceFrench.chump"},
        {"no", "InterfaceNorwegian.chump"},  {"ja", "InterfaceJapanese.chump"},
        {"ch", "InterfaceGerman.chump"},     {"xx", "InterfaceGerman.chump"},
        {"german", "InterfaceGerman.chump"},
    };
    for (const Case& c : cases) {
        InterfaceTextDB::SetLanguage("DE");
        InterfaceTextDB::SetLanguage(c.code);
        EXPECT_EQ(InterfaceTextDB::GetFileName().str(), c.file) << (c.code ? c.code : "(none)");
    }
}

TEST_F(InterfaceText, TheBinaryFileComesFirstAndTheTextFormIsTheFallback) {
    WriteFile(dir / "Data/InterfaceText.chump", ChumpOf({{"$a", "binary"}}));
    WriteFile(dir / "Data/InterfaceText.txt", "$a \"text\"\n");
    WriteFile(dir / "Data/InterfaceGerman.txt", "$a \"Deutsch\"\n$n 12\n");
    EXPECT_EQ(GetInterfaceString("$a").str(), "binary");

    // A language change takes effect once the table is marked unloaded.
    InterfaceTextDB::SetLanguage("de");
    EXPECT_EQ(GetInterfaceString("$a").str(), "binary");
    InterfaceTextDB::MarkUnloaded();
    LogLines log;
    EXPECT_EQ(GetInterfaceString("$a").str(), "Deutsch");
    EXPECT_EQ(log.lines, std::vector<std::string>{
                             "InterfaceTextDB> failed to load compiled interfacetext file"});
    // A value of another type reads as its text.
    EXPECT_EQ(GetInterfaceString("$n").str(), "12");
}

TEST_F(InterfaceText, WithoutFilesEveryKeyIsItselfAndOnlyTheFirstTenMissesAreLogged) {
    LogLines log;
    InterfaceTextDB::Instance();
    EXPECT_EQ(log.lines, (std::vector<std::string>{
                             "InterfaceTextDB> failed to load compiled interfacetext file",
                             "InterfaceTextDB> Unable to read interface file "
                             "'InterfaceText.chump'"}));
    log.lines.clear();

    const uint32_t before = InterfaceTextDB::GetMissCount();
    ASSERT_LT(before, InterfaceTextDB::kLoggedMisses) << "earlier tests used up the logged misses";
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(GetInterfaceString(("$missing_" + std::to_string(i)).c_str()).str(),
                  "$missing_" + std::to_string(i));
    EXPECT_EQ(InterfaceTextDB::GetMissCount(), before + 12);
    ASSERT_EQ(log.lines.size(), InterfaceTextDB::kLoggedMisses - before);
    EXPECT_EQ(log.lines[0],
              "InterfaceTextDB::GetString> Tag '$missing_0' not found in 'InterfaceText.chump'");

    // Looking up without warnings, and absent or empty keys, count nothing.
    InterfaceTextDB& table = InterfaceTextDB::Instance();
    EXPECT_EQ(table.GetString(Kiv::PString("$quiet"), false).str(), "$quiet");
    EXPECT_TRUE(table.GetString(Kiv::PString(), true).IsNull());
    EXPECT_EQ(table.GetString(Kiv::PString(""), true).str(), "");
    EXPECT_EQ(GetInterfaceString(nullptr).str(), "");
    EXPECT_EQ(InterfaceTextDB::GetMissCount(), before + 12);
    EXPECT_TRUE(table.GetMapText().IsNullChunk());
}

TEST_F(InterfaceText, AnotherTableIsLookedUpWithoutCounting) {
    TDBTagRef strings = souptest::NewContainer();
    souptest::AddValue(strings, "$k", kTagText, std::string_view("value", 6));
    souptest::AddValue(strings, "$empty", kTagText, std::string_view("", 1));
    const uint32_t before = InterfaceTextDB::GetMissCount();
    LogLines log;
    EXPECT_EQ(LookupTableString(strings, Kiv::PString("$k")).str(), "value");
    EXPECT_EQ(LookupTableString(strings, Kiv::PString("$K")).str(), "$K");  // keys keep case
    EXPECT_EQ(LookupTableString(strings, Kiv::PString("$empty")).str(), "$empty");
    EXPECT_EQ(LookupTableString(TDBTagRef(), Kiv::PString("$k")).str(), "$k");
    EXPECT_EQ(InterfaceTextDB::GetMissCount(), before);
    EXPECT_TRUE(log.lines.empty());
}

}  // namespace
