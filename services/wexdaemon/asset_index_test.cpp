#include "services/wexdaemon/asset_index.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "configdata/soup_file.h"
#include "configdata/soup_test_support.h"
#include "services/wexdaemon/index_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

using indextest::Sample;

TEST(AssetIndexTest, SurvivesTheFileRoundTrip) {
    testsupport::TempDir dir;
    std::string path = dir / "assets.wbi";
    wexd::IndexContents index = Sample();
    ASSERT_TRUE(WriteTagTreeBinaryFile(wexd::IndexToSoup(index), path));
    wexd::IndexContents back;
    std::string why;
    ASSERT_EQ(wexd::LoadSoupIndexFile(path, back, why), wexd::IndexLoad::kLoaded) << why;
    EXPECT_EQ(back.counters, index.counters);
    EXPECT_EQ(back.records, index.records);
}

TEST(AssetIndexTest, MissingCorruptAndForeignFilesAreTold) {
    testsupport::TempDir dir;
    wexd::IndexContents out;
    std::string why;
    EXPECT_EQ(wexd::LoadSoupIndexFile(dir / "none.wbi", out, why), wexd::IndexLoad::kMissing);

    TDBTagRef foreign = souptest::NewContainer();
    souptest::AddValue(foreign, "format", kTagInt, std::string("\x02\0\0\0", 4));
    TDBTagRef noAssets = souptest::NewContainer();
    souptest::AddValue(noAssets, "format", kTagInt, std::string("\x01\0\0\0", 4));
    struct Case {
        const char* name;
        std::string bytes;
        const char* why;
    };
    const Case cases[] = {
        {"empty", "", "not a readable soup"},
        {"text", "hello", "not a readable soup"},
        {"empty soup", souptest::SoupFile(""), "no format tag"},
        {"bad body", souptest::SoupFile("\x40\0\0\0zz"), "no format tag"},
        {"other format", souptest::Write(foreign), "format 2 is not 1"},
        {"no assets", souptest::Write(noAssets), "no assets container"},
    };
    for (const Case& c : cases) {
        std::ofstream(dir / c.name, std::ios::binary) << c.bytes;
        EXPECT_EQ(wexd::LoadSoupIndexFile(dir / c.name, out, why), wexd::IndexLoad::kCorrupt)
            << c.name;
        EXPECT_EQ(why, c.why) << c.name;
    }
    std::filesystem::create_directories(dir / "folder.wbi");
    EXPECT_EQ(wexd::LoadSoupIndexFile(dir / "folder.wbi", out, why), wexd::IndexLoad::kCorrupt);
}

TEST(AssetIndexTest, UnusableEntriesAreSkippedAndCounted) {
    TDBTagRef root = wexd::IndexToSoup(Sample());
    TDBTagRef assets = root->FindChild(Kiv::PString("assets"));
    // No kuid; a kuid of the wrong size; a duplicate; a stranger's name; a value.
    souptest::AddContainer(assets, "asset");
    souptest::AddValue(souptest::AddContainer(assets, "asset"), "kuid", kTagKUID, "1234");
    TDBTagRef dup = souptest::AddContainer(assets, "asset");
    uint8_t packed[8];
    KUID::PackWords(KUID(5, 6, 3), packed);
    souptest::AddValue(dup, "kuid", kTagKUID, std::string(reinterpret_cast<char*>(packed), 8));
    souptest::AddContainer(assets, "other");
    souptest::AddValue(assets, "asset", kTagInt, "abcd");
    // Mistyped optional tags take their defaults.
    TDBTagRef odd = souptest::AddContainer(assets, "asset");
    KUID::PackWords(KUID(8, 8), packed);
    souptest::AddValue(odd, "kuid", kTagKUID, std::string(reinterpret_cast<char*>(packed), 8));
    souptest::AddValue(odd, "status", kTagInt, "12");
    souptest::AddValue(odd, "name", kTagInt, "abcd");

    wexd::IndexContents out;
    std::string why;
    size_t skipped = 0;
    ASSERT_TRUE(wexd::IndexFromSoup(souptest::Read(souptest::Write(root)), out, why, &skipped));
    EXPECT_EQ(skipped, 5u);
    ASSERT_EQ(out.records.size(), 3u);
    wexd::AssetRecord defaults;
    defaults.kuid = KUID(8, 8);
    EXPECT_EQ(out.records.at(KUID(8, 8)), defaults);
}

}  // namespace
