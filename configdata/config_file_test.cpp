#include "configdata/config_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/data_root.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace souptest;  // NOLINT: the fixture helpers of every soup test

Kiv::PString N(const char* name) {
    return Kiv::PString(name);
}

TDBTagRef Sample() {
    TDBTagRef root;
    TDBContainerTag::SetString(root, N("kind"), N("scenery"));
    TDBContainerTag::SetInt(root, N("halvex-build"), 3);
    return root;
}

const std::string kSampleText = "\xEF\xBB\xBF\r\nkind" + std::string(36, ' ') +
                                "\"scenery\"\r\nhalvex-build" + std::string(28, ' ') + "3\r\n";

// A text that nests deeper than any reader accepts.
std::string TooDeepText() {
    std::string text;
    for (uint32_t i = 0; i <= kMaxTagTreeDepth; ++i)
        text += "a {\n";
    return text;
}

size_t EntryCount(const std::string& folder) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(folder),
                                             std::filesystem::directory_iterator()));
}

TEST(ConfigFile, TheFormatComesFromTheCallerOrTheExtension) {
    struct Case {
        const char* path;
        const char* format;
        ConfigFileFormat form;
    };
    const Case cases[] = {
        {"a/config.txt", "", ConfigFileFormat::kText},
        {"CONFIG.TXT", "", ConfigFileFormat::kText},
        {"a.chump", "", ConfigFileFormat::kBinary},
        {"a.CDP", "", ConfigFileFormat::kBinary},
        {"a.cdp2", "", ConfigFileFormat::kBinary},
        {"a.bin", "", ConfigFileFormat::kUnknown},
        {"config", "", ConfigFileFormat::kUnknown},
        {"dir.txt/config", "", ConfigFileFormat::kUnknown},
        {"a.bin", ".chump", ConfigFileFormat::kBinary},
        {"a.txt", "chump", ConfigFileFormat::kBinary},
        {"a.chump", "TXT", ConfigFileFormat::kText},
        {"a.txt", ".", ConfigFileFormat::kUnknown},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetConfigFileFormat(c.path, c.format), c.form) << c.path << " " << c.format;
}

TEST(ConfigFile, WritesAndReadsBothFormsByExtension) {
    testsupport::TempDir dir;
    ASSERT_TRUE(WriteConfigFile(Sample(), "", dir / "upper.TXT"));
    EXPECT_EQ(dir.Read("upper.TXT"), kSampleText);
    ASSERT_TRUE(WriteConfigFile(Sample(), "", dir / "binary.txt", ".chump"));
    EXPECT_EQ(dir.Read("binary.txt").substr(0, 4), "ACS$");
    ASSERT_TRUE(WriteConfigFile(Sample(), "", dir / "config.chump"));

    for (const char* name : {"upper.TXT", "config.chump"}) {
        TDBTagRef back = NewContainer();
        ASSERT_TRUE(ReadConfigFile("", dir / name, back)) << name;
        EXPECT_EQ(Describe(back), "kind=text:scenery halvex-build=int:3") << name;
    }
    TDBTagRef back;
    ASSERT_TRUE(ReadConfigFile("", dir / "binary.txt", back, "chump"));
    EXPECT_EQ(Describe(back), "kind=text:scenery halvex-build=int:3");
    EXPECT_EQ(EntryCount(dir.path()), 3u);  // no twin left behind
}

TEST(ConfigFile, TextReadsWithAndWithoutAByteOrderMark) {
    testsupport::TempDir dir;
    dir.Write("plain.txt", "name caf\xE9\nkind scenery\n");
    dir.Write("marked.txt", "\xEF\xBB\xBFname caf\xC3\xA9\nkind scenery\n");
    for (const char* name : {"plain.txt", "marked.txt"}) {
        TDBTagRef back;
        ASSERT_TRUE(ReadConfigFile("", dir / name, back)) << name;
        EXPECT_EQ(Describe(back), "name=text:caf\xC3\xA9 kind=text:scenery") << name;
    }
}

TEST(ConfigFile, RefusalsAndFailuresLeaveFilesAsTheyWereAndTheTreeEmpty) {
    testsupport::TempDir dir;
    std::string existing = dir.Write("config.bin", "old");
    EXPECT_FALSE(WriteConfigFile(Sample(), "", existing));
    EXPECT_EQ(dir.Read("config.bin"), "old");

    std::string text = dir.Write("config.txt", "old");
    TDBTagRef tooDeep = NewContainer();
    TDBTagRef at = tooDeep;
    for (uint32_t i = 0; i <= kMaxTagTreeDepth; ++i)
        at = AddContainer(at, "n");
    AddValue(at, "leaf", kTagInt, U32(1));
    EXPECT_FALSE(WriteConfigFile(tooDeep, "", text));
    EXPECT_EQ(dir.Read("config.txt"), "old");
    EXPECT_EQ(EntryCount(dir.path()), 2u);
    EXPECT_FALSE(WriteConfigFile(Sample(), "", dir / "missing/config.txt"));

    struct Case {
        const char* name;
        std::string bytes;
        const char* format;
    };
    const Case cases[] = {
        {"absent.txt", "", ""},
        {"deep.txt", TooDeepText(), ""},
        {"text.chump", "kind scenery\n", ""},  // a binary header refused
        {"config.txt", "kind scenery\n", "ini"},
    };
    for (const Case& c : cases) {
        if (!c.bytes.empty()) dir.Write(c.name, c.bytes);
        TDBTagRef out = NewContainer();
        EXPECT_FALSE(ReadConfigFile("", dir / c.name, out, c.format)) << c.name;
        EXPECT_FALSE(out) << c.name;
    }
}

TEST(ConfigFile, AnEmptyTreeWritesAnEmptyTextAndReadsBackEmpty) {
    testsupport::TempDir dir;
    ASSERT_TRUE(WriteConfigFile(TDBTagRef(), "", dir / "config.txt"));
    EXPECT_EQ(dir.Read("config.txt"), "");
    TDBTagRef back = NewContainer();
    EXPECT_TRUE(ReadConfigFile("", dir / "config.txt", back));
    EXPECT_FALSE(back);
}

TEST(ConfigFile, PathsWithALocationStayInsideIt) {
    testsupport::TempDir dir;
    SetFolderRoots(Kiv::File::Path(dir.path()), Kiv::File::Path(dir.path()));
    std::filesystem::create_directories(dir / "local/asset");
    EXPECT_TRUE(WriteConfigFile(Sample(), "local", "asset/config.txt"));
    EXPECT_EQ(dir.Read("local/asset/config.txt"), kSampleText);
    TDBTagRef back;
    EXPECT_TRUE(ReadConfigFile("local", "asset/config.txt", back));
    EXPECT_EQ(Describe(back), "kind=text:scenery halvex-build=int:3");

    EXPECT_FALSE(WriteConfigFile(Sample(), "local", "../escaped.txt"));
    EXPECT_FALSE(std::filesystem::exists(dir / "escaped.txt"));
    dir.Write("outside.txt", "kind scenery\n");
    EXPECT_FALSE(ReadConfigFile("local", "../outside.txt", back));
    EXPECT_FALSE(back);
    SetFolderRoots(Kiv::File::Path(), Kiv::File::Path());
}

TEST(ConfigFile, TheTwinPathReplacesTheExtension) {
    EXPECT_EQ(ConfigTwinPath("a/config.txt"), "a/config.tmp");
    EXPECT_EQ(ConfigTwinPath("a/config.chump"), "a/config.tmp");
    EXPECT_EQ(ConfigTwinPath("a.b/config"), "a.b/config.tmp");
    EXPECT_EQ(ConfigTwinPath("config."), "config.tmp");
}

// Each scenario of the twin recovery: what the two files hold before ("" absent, "DEEP" a text
// no reader accepts), the result, what the tree then holds and which files remain.
TEST(ConfigFile, TheTwinRecoveryNeverLosesTheOnlyGoodCopy) {
    struct Case {
        const char* main;
        const char* twin;
        bool ok;
        const char* tree;
        const char* mainAfter;
        const char* twinAfter;
    };
    const Case cases[] = {
        {"v 1\n", "v 2\n", true, "v=int:1", "v 1\n", ""},
        {"v 1\n", "", true, "v=int:1", "v 1\n", ""},
        {"", "v 2\n", true, "v=int:2", "v 2\n", ""},
        {"DEEP", "v 2\n", true, "v=int:2", "v 2\n", ""},
        {"DEEP", "DEEP", false, "<empty>", "DEEP", "DEEP"},
        {"DEEP", "", false, "<empty>", "DEEP", ""},
        {"", "DEEP", false, "<empty>", "", "DEEP"},
        {"", "", false, "<empty>", "", ""},
    };
    auto contents = [](const char* text) {
        return std::string(text) == "DEEP" ? TooDeepText() : std::string(text);
    };
    for (const Case& c : cases) {
        testsupport::TempDir dir;
        std::string label = std::string("main '") + c.main + "' twin '" + c.twin + "'";
        if (*c.main != '\0') dir.Write("config.txt", contents(c.main));
        if (*c.twin != '\0') dir.Write("config.tmp", contents(c.twin));
        TDBTagRef out = NewContainer();
        EXPECT_EQ(ReadConfigFileWithFallback("", dir / "config.txt", out), c.ok) << label;
        EXPECT_EQ(Describe(out), c.tree) << label;
        EXPECT_EQ(dir.Read("config.txt"), contents(c.mainAfter)) << label;
        EXPECT_EQ(std::filesystem::exists(dir / "config.txt"), *c.mainAfter != '\0') << label;
        EXPECT_EQ(dir.Read("config.tmp"), contents(c.twinAfter)) << label;
        EXPECT_EQ(std::filesystem::exists(dir / "config.tmp"), *c.twinAfter != '\0') << label;
    }
}

}  // namespace
