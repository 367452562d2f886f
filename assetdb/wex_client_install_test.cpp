// An export meant for an archive goes to the archive builder with the caller's options, whose
// compression is set first; without a builder no archive is made and the log says why.
#include "assetdb/wex_client_install.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assetdb/request_hooks.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/tag_text.h"
#include "configdata/soup_test_support.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;

int gBuilds = 0;
TDBTagRef BuildFromExport(const TDBTagRef& exported, const TDBTagRef& options) {
    ++gBuilds;
    TDBTagRef archive = souptest::NewContainer();
    WEXSetTextTag(archive, "kind", WEXReadTextTag(exported, "kind").view());
    WEXSetTextTag(archive, "compression", WEXReadTextTag(options, "compression").view());
    return archive;
}

Bytes ExportedAsset() {
    TDBTagRef tree = souptest::NewContainer();
    WEXSetTextTag(tree, "kind", "mesh");
    std::string s = souptest::Write(tree);
    return Bytes(s.begin(), s.end());
}

TEST(ExportAssetToArchive, HandsTheExportAndOptionsToTheBuilder) {
    ScriptedTransport daemon;
    daemon.Answer(kWEXRequestExportAsset, ExportedAsset());
    WEXSetArchiveBuildCall(&BuildFromExport);
    TDBTagRef options = souptest::NewContainer();
    WEXSetTextTag(options, "compression", "none");
    gBuilds = 0;
    TDBTagRef archive = WEXClient::ExportAssetToArchive(KUID(1, 2), 3, options, nullptr);
    WEXSetArchiveBuildCall(nullptr);
    ASSERT_TRUE(archive);
    EXPECT_EQ(WEXReadTextTag(archive, "kind"), "mesh");
    EXPECT_EQ(WEXReadTextTag(archive, "compression"), "LZSS");
    EXPECT_EQ(options->GetChildCount(), 1u);

    // No export, no build.
    daemon.Unreachable(kWEXRequestExportAsset);
    WEXSetArchiveBuildCall(&BuildFromExport);
    EXPECT_FALSE(WEXClient::ExportAssetToArchive(KUID(1, 2), 3, options, nullptr));
    WEXSetArchiveBuildCall(nullptr);
    EXPECT_EQ(gBuilds, 1);
}

TEST(ExportAssetToArchive, WithoutABuilderNoArchiveIsMade) {
    ScriptedTransport daemon;
    daemon.Answer(kWEXRequestExportAsset, ExportedAsset());
    requesttest::LogLines lines;
    TDBTagRef archive = WEXClient::ExportAssetToArchive(KUID(1, 2), 3, {}, nullptr);
    EXPECT_FALSE(archive);
    ASSERT_EQ(lines.Get().size(), 1u);
    EXPECT_NE(lines.Get()[0].find("the archive builder is not available in this build"),
              std::string::npos);
}

}  // namespace
