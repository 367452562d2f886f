// The folder listing's walk and batches, with a stand-in for the per-asset step: which folders
// are listed, and where the batches of SQL text fall.
#include "cli/listing_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "archive/listing_record.h"
#include "archive/listing_sql.h"
#include "assetdb/asset_info.h"
#include "configdata/tdb_container_tag.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

size_t Lines(const std::string& text) {
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

class ListingFolder : public testing::Test {
protected:
    void SetUp() override { SetListingOutputFolder((dir / "out").string()); }
    void TearDown() override { SetListingOutputFolder(""); }
    void Asset(const std::string& folder, const char* config = "config.txt") {
        fs::create_directories(dir / "in" / folder);
        std::ofstream(dir / "in" / folder / config) << "kuid <kuid:1:1>\n";
    }
    // Lists every folder with a record of its own, and the order they came in.
    void Walk() {
        fs::create_directories(dir / "out");
        ListFolderAssets((dir / "in").string(), run,
                         [this](const std::string& config, FolderListing& r) {
                             seen.push_back(fs::relative(config, dir / "in").string());
                             TDBTagRef entry;
                             FillListingRecord(KUID(1, static_cast<int32_t>(seen.size())),
                                               WEXAssetInfo(), ListingFacts(), entry);
                             TDBContainerTag::SetContainer(
                                 r.soup, Kiv::PString(std::to_string(r.counter)), entry);
                             ++r.counter;
                         },
                         log);
        FinishFolderListing(run, log);
    }
    size_t Rows(int batch) {
        return Lines(Read(dir / "out" / ("SQL_Asset_" + std::to_string(batch) + ".txt")));
    }

    testsupport::TempDir tempDir;
    fs::path dir = tempDir.path();
    FolderListing run;
    ResultsLog log;
    std::vector<std::string> seen;
};

TEST_F(ListingFolder, EachAssetFolderIsListedOnceFromItsBinaryConfigFirst) {
    Asset("a");
    Asset("b", "config.chump");
    Asset("b", "config.txt");
    Asset("b/inner");  // inside an asset: not walked
    Asset("c/d/e");
    Asset(".hidden");
    fs::create_directories(dir / "elsewhere/f");
    std::ofstream(dir / "elsewhere/f/config.txt") << "kuid <kuid:1:1>\n";
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (dir / "in/link").c_str()), 0);
    std::ofstream(dir / "in/file.txt") << "not a folder";
    Walk();
    EXPECT_EQ(seen,
              (std::vector<std::string>{"a/config.txt", "b/config.chump", "c/d/e/config.txt"}));
    EXPECT_EQ(run.batch, 1);
    EXPECT_FALSE(run.failed);
}

TEST_F(ListingFolder, ABatchIsWrittenOnceItHoldsMoreThanAThousandRecords) {
    struct Case {
        int assets;
        std::vector<size_t> rows;  // per batch
    };
    for (const Case& c : {Case{1000, {1000}}, Case{1001, {1001}}, Case{1002, {1001, 1}}}) {
        fs::remove_all(dir / "in");
        fs::remove_all(dir / "out");
        run = FolderListing();
        seen.clear();
        for (int i = 0; i < c.assets; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "%05d", i);
            Asset(name);
        }
        Walk();
        ASSERT_EQ(run.batch, static_cast<int>(c.rows.size())) << c.assets;
        for (size_t b = 0; b < c.rows.size(); ++b)
            EXPECT_EQ(Rows(static_cast<int>(b)), c.rows[b]) << c.assets << " batch " << b;
        EXPECT_FALSE(
            fs::exists(dir / "out" / ("SQL_Asset_" + std::to_string(c.rows.size()) + ".txt")));
        EXPECT_EQ(Lines(Read(dir / "out/kuids.txt")), static_cast<size_t>(c.assets));
    }
}

}  // namespace
