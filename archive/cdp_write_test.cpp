// Building archives: the tables after each addition, refusals that leave the archive as it was,
// and writing in the form the extension names without ever leaving a broken file.
#include "archive/cdp_write.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "archive/cdp_test_support.h"
#include "configdata/config_file.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "tests/support/temp_dir.h"

namespace {

using cdptest::Config;

// The KUIDs of a table in order, as text.
std::vector<std::string> Table(const CdpArchive& archive, const char* name) {
    std::vector<std::string> out;
    TDBTagRef table = TDBContainerTag::GetContainer(archive.root, Kiv::PString(name));
    for (uint32_t i = 0; i < TDBContainerTag::CountChildren(table); ++i) {
        Kiv::PString child = TDBContainerTag::GetChildName(table, i);
        EXPECT_EQ(child.str(), std::to_string(i));
        out.push_back(TDBContainerTag::GetKUID(table, child, KUID::kNull).ToString().str());
    }
    return out;
}

// An entry made as the builder makes one: "compression" first, then the configuration.
TDBTagRef Entry(const char* config) {
    TDBTagRef entry = CdpNewAssetEntry();
    TDBTagRef tags = Config(config);
    EXPECT_TRUE(tags) << config;
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; tags->GetChildAt(i, name, child); ++i)
        entry->AddChild(name, child);
    return entry;
}

TEST(CdpAddAsset, KeepsTheTablesOfWhatTheArchiveHolds) {
    CdpArchive archive;
    // Needs 1:2, which the archive will hold, and 9:9; 8:8 is what it replaces.
    ASSERT_EQ(CdpAddAsset(archive, Entry(R"(kuid <kuid:1:1>
        kuid-table { 0 <kuid:1:2>
                     1 <kuid:9:9>
                     2 <kuid:8:8> }
        obsolete-table { 0 <kuid:8:8> })"))
                  .str(),
              "");
    EXPECT_EQ(Table(archive, "contents-table"), (std::vector<std::string>{"<kuid:1:1>"}));
    EXPECT_EQ(Table(archive, "kuid-table"), (std::vector<std::string>{"<kuid:1:2>", "<kuid:9:9>"}));

    // A driven car without a cab of its own needs the default one; it names 1:1 and itself.
    ASSERT_EQ(CdpAddAsset(archive, Entry(R"(kuid <kuid2:1:2:3>
        kind "TrainCar"
        engine 1
        kuid-table { 0 <kuid:1:1>
                     1 <kuid2:1:2:3> }
        obsoletes-kuid <kuid:5:5>)"))
                  .str(),
              "");
    EXPECT_EQ(Table(archive, "contents-table"),
              (std::vector<std::string>{"<kuid:1:1>", "<kuid2:1:2:3>"}));
    // 1:2 is not held: the archive holds version 3 of it.
    EXPECT_EQ(Table(archive, "kuid-table"),
              (std::vector<std::string>{"<kuid:1:2>", "<kuid:9:9>", "<kuid:-10:172>"}));
    EXPECT_EQ(Table(archive, "obsolete-table"),
              (std::vector<std::string>{"<kuid:8:8>", "<kuid:5:5>"}));
    EXPECT_EQ(TDBContainerTag::GetString(archive.root, Kiv::PString("kind")).str(), "archive");
    EXPECT_EQ(TDBContainerTag::GetInt(archive.root, Kiv::PString("package-version"), 0), 1);
    EXPECT_EQ(souptest::Names(TDBContainerTag::GetContainer(archive.root, Kiv::PString("assets"))),
              (std::vector<std::string>{"<kuid:1:1>", "<kuid2:1:2:3>"}));
    EXPECT_EQ(CdpAssetCompression(CdpGetAsset(archive, 0)).str(), "LZSS");
    EXPECT_EQ(CdpCheckShape(archive).str(), "");
}

TEST(CdpAddAsset, RefusesAndLeavesTheArchiveAsItWas) {
    CdpArchive archive;
    ASSERT_EQ(CdpAddAsset(archive, Entry("kuid <kuid2:1:3:2>")).str(), "");
    const std::string before = souptest::Dump(archive.root);
    TDBTagRef deep = cdptest::Nested(kMaxTagTreeDepth, KUID(7, 7));
    TDBContainerTag::SetKUID(deep, Kiv::PString("kuid"), KUID(4, 4));

    const struct {
        const char* why;
        TDBTagRef entry;
        std::string message;
    } cases[] = {
        {"no kuid", Entry("name \"x\""), kCdpNoValidKuidMessage},
        {"the null kuid", Entry("kuid <NULL>"), kCdpNoValidKuidMessage},
        {"already held", Entry("kuid <kuid2:1:3:2>\nname \"again\""),
         "Unable to add content as an item with KUID <kuid2:1:3:2> is already present"},
        {"a configuration too deep to collect", deep,
         "Unable to collect the dependencies of <kuid:4:4>: its configuration nests deeper "
         "than 1000 levels"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CdpAddAsset(archive, c.entry).str(), c.message) << c.why;
        EXPECT_EQ(souptest::Dump(archive.root), before) << c.why;
    }
    // A first asset that is refused leaves no "assets" behind either.
    CdpArchive fresh;
    EXPECT_NE(CdpAddAsset(fresh, deep).str(), "");
    EXPECT_EQ(souptest::Dump(fresh.root), "");
}

TEST(CdpWrite, TheExtensionChoosesTheFormAndFailuresKeepWhatWasThere) {
    testsupport::TempDir dir;
    CdpArchive archive;
    ASSERT_EQ(CdpAddAsset(archive, Entry("kuid <kuid:1:1>")).str(), "");

    ASSERT_EQ(CdpWrite(archive, dir / "a.cdp").str(), "");
    EXPECT_EQ(dir.Read("a.cdp").substr(0, 4), "ACS$");
    CdpArchive opened;
    EXPECT_EQ(CdpOpen(opened, dir / "a.cdp").str(), "");
    EXPECT_EQ(souptest::Dump(opened.root), souptest::Dump(archive.root));

    ASSERT_EQ(CdpWrite(archive, dir / "a.txt").str(), "");
    EXPECT_NE(dir.Read("a.txt").find("package-version"), std::string::npos);

    EXPECT_EQ(CdpWrite(archive, dir / "a.zip").str(), kCdpArchiveWriteFailedMessage);
    EXPECT_FALSE(std::filesystem::exists(dir / "a.zip"));

    // A failed write gives the same message and leaves what was there: here a folder in the
    // way; the process log names the file.
    std::filesystem::create_directory(dir / "taken.cdp");
    dir.Write("taken.cdp/keep.txt", "kept");
    EXPECT_EQ(CdpWrite(archive, dir / "taken.cdp").str(), kCdpArchiveWriteFailedMessage);
    EXPECT_EQ(dir.Read("taken.cdp/keep.txt"), "kept");
    EXPECT_EQ(CdpWrite(archive, dir / "no/such/folder.cdp").str(), kCdpArchiveWriteFailedMessage);
    // Only the files written, no twins left behind.
    size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 3u);
}

}  // namespace
