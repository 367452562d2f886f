#include "archive/listing_sql.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "archive/cdp_test_support.h"
#include "archive/listing_keys.h"
#include "archive/listing_record.h"
#include "assetdb/asset_info.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace {

WEXAssetInfo Info(const KUID& asset, const char* name, const char* codes, const char* region = "",
                  const char* era = "") {
    WEXAssetInfo info;
    info.asset = asset;
    info.SetStatus(kWEXStatusInstalled);
    info.name = name;
    info.categoryCodes = Kiv::PString(codes);
    info.region = region;
    info.era = era;
    info.fileSize = 2048;
    info.build = 3.6f;
    return info;
}

// A soup of the given entries, numbered in order.
TDBTagRef Soup(std::initializer_list<TDBTagRef> entries) {
    TDBTagRef soup = MakeCounted<TDBContainerTag>();
    uint32_t n = 0;
    for (const TDBTagRef& e : entries)
        soup->AddChild(ListingNumberName(n++), e);
    return soup;
}

TDBTagRef Entry(const KUID& asset, const WEXAssetInfo& info, const char* config = "",
                std::initializer_list<KUID> deps = {}, const char* description = "") {
    ListingFacts facts;
    facts.config = cdptest::Config(config);
    facts.description = description;
    for (const KUID& d : deps)
        facts.dependencies.Append(d);
    TDBTagRef entry;
    FillListingRecord(asset, info, facts, entry);
    return entry;
}

ListingSQLTexts Format(const TDBTagRef& soup) {
    ListingSQLTexts t;
    FormatListingSQL(soup, t);
    return t;
}

constexpr const char* kChildHeader = "INSERT INTO AssetChild (AssetID,ChildID) VALUES \r\n";
constexpr const char* kDepsHeader = "INSERT INTO AssetKUIDDependency (AssetID,KUID) VALUES \r\n";
constexpr const char* kCatsHeader =
    "INSERT INTO Asset_AssetCategory_Rels (AssetID,AssetCategoryID) VALUES \r\n";
constexpr const char* kElsHeader =
    "INSERT INTO Asset_CategoryElement_Rels (AssetID,CategoryElementID) VALUES \r\n";

TEST(ListingKUIDText, ColonFormShortForVersionZero) {
    EXPECT_EQ(ListingKUIDText(KUID(424242, 104)), "424242:104");
    EXPECT_EQ(ListingKUIDText(KUID(424242, 104, 3)), "424242:104:3");
    EXPECT_EQ(ListingDownloadPath(KUID(424242, 104)), "kuid_424242_104.cdp");
    EXPECT_EQ(ListingDownloadPath(KUID(424242, 104, 1)), "kuid2_424242_104_1.cdp");
}

TEST(FillListingRecord, RecordHoldsEveryFieldOfTheAsset) {
    const KUID k(424242, 104, 2);
    WEXAssetInfo info = Info(k, "Shunter", "TR;LOC;DS", "GB;XZ", "1950;1960");
    TDBTagRef e = Entry(k, info, "category-class \"TR;ZZ;US\"\n",
                        {KUID(424242, 100), KUID(424242, 101, 4)}, "A small shunter");
    const ListingKeys& keys = GetListingKeys();
    EXPECT_EQ(TDBContainerTag::GetKUID(e, keys.kuid, KUID::kNull), k);
    TDBTagRef a = TDBContainerTag::GetContainer(e, keys.asset);
    EXPECT_EQ(TDBContainerTag::GetInt(a, keys.assetTypeId, 0), 2);
    EXPECT_EQ(TDBContainerTag::GetString(a, keys.title).view(), "Shunter");
    EXPECT_EQ(TDBContainerTag::GetString(a, keys.description).view(), "A small shunter");
    EXPECT_EQ(TDBContainerTag::GetString(a, keys.downloadPath).view(), "kuid2_424242_104_2.cdp");
    EXPECT_EQ(TDBContainerTag::GetInt(a, keys.fileSize, 0), 2048);
    EXPECT_FLOAT_EQ(TDBContainerTag::GetFloat(a, keys.productVersion, 0), 3.6f);
    EXPECT_EQ(TDBContainerTag::GetString(a, keys.kuid).view(), "424242:104:2");

    auto texts = [](const TDBTagRef& c) {
        std::string out;
        for (uint32_t i = 0; i < TDBContainerTag::CountChildren(c); ++i) {
            Kiv::PString name = TDBContainerTag::GetChildName(c, i);
            out += name.str() + "=" + TDBContainerTag::GetString(c, name).str() + " ";
        }
        return out;
    };
    EXPECT_EQ(texts(TDBContainerTag::GetContainer(e, keys.deps)), "0=424242:100 1=424242:101:4 ");
    // Class tokens first (TR 921, US 714; ZZ unknown), then region (GB 572; XZ unknown), then
    // era (1950 156, 1960 157).
    EXPECT_EQ(texts(TDBContainerTag::GetContainer(e, keys.cats)), "0=921 1=714 2=572 3=156 4=157 ");
    EXPECT_EQ(texts(TDBContainerTag::GetContainer(e, keys.catEls)), "0=TR 1=LOC 2=DS ");
}

TEST(FormatListingSQL, StatementsForVersionsZeroOneAndThree) {
    struct Case {
        KUID asset;
        const char* asset_sql;
        const char* child_sql;
    } cases[] = {
        {KUID(424242, 104),
         "UPDATE Asset SET AssetTypeID=4,ProductID=198,Title='Box',Description='',"
         "DownloadPath='kuid_424242_104.cdp',FileSize=2048,Version=0,AssetStatusID='AVL',"
         "AssetDownloadID='T10',LastUpdated=NOW(),ProductVersion=3.6 WHERE KUID='424242:104' AND "
         "AssetDownloadID='FAK'; \r\n",
         ""},
        {KUID(424242, 104, 1),
         "UPDATE Asset SET AssetTypeID=4,ProductID=198,Title='Box',Description='',"
         "DownloadPath='kuid2_424242_104_1.cdp',FileSize=2048,Version=1,AssetStatusID='AVL',"
         "AssetDownloadID='T10',LastUpdated=NOW(),ProductVersion=3.6 WHERE KUID='424242:104:1' AND "
         "AssetDownloadID='FAK'; \r\n",
         "((SELECT AssetID FROM Asset WHERE KUID = '424242:104:1' AND AssetDownloadID='T10'), "
         "(SELECT AssetID from Asset WHERE KUID = '424242:104')), \r\n"},
        {KUID(424242, 104, 3),
         "UPDATE Asset SET AssetTypeID=4,ProductID=198,Title='Box',Description='',"
         "DownloadPath='kuid2_424242_104_3.cdp',FileSize=2048,Version=3,AssetStatusID='AVL',"
         "AssetDownloadID='T10',LastUpdated=NOW(),ProductVersion=3.6 WHERE KUID='424242:104:3' AND "
         "AssetDownloadID='FAK'; \r\n",
         "((SELECT AssetID FROM Asset WHERE KUID = '424242:104:3' AND AssetDownloadID='T10'), "
         "(SELECT AssetID from Asset WHERE KUID = '424242:104:2')), \r\n"},
    };
    for (const Case& c : cases) {
        ListingSQLTexts t = Format(Soup({Entry(c.asset, Info(c.asset, "Box", "BD"))}));
        EXPECT_EQ(t.asset, c.asset_sql) << c.asset.ToColonString().str();
        EXPECT_EQ(t.child, std::string(kChildHeader) + c.child_sql);
        EXPECT_EQ(t.kuids, ListingKUIDText(c.asset) + "\r\n");
    }
}

TEST(FormatListingSQL, RowsOfEveryTableEachEndingWithCommaBlankLineEnd) {
    const KUID k(424242, 200);
    TDBTagRef soup = Soup({Entry(k, Info(k, "Signal box", "BD;SIG", "GB", "1950"),
                                 "category-class \"BD\"\n", {KUID(424242, 100, 2)})});
    ListingSQLTexts t = Format(soup);
    const std::string row =
        "((SELECT AssetID FROM Asset WHERE KUID = '424242:200' AND "
        "AssetDownloadID='T10'), ";
    EXPECT_EQ(t.dependencies, std::string(kDepsHeader) + row + "'424242:100:2'), \r\n");
    // The class token "BD" (the country code 519), region GB 572, era 1950 156.
    EXPECT_EQ(t.categories, std::string(kCatsHeader) + row + "'519'), \r\n" + row + "'572'), \r\n" +
                                row + "'156'), \r\n");
    EXPECT_EQ(t.categoryElements,
              std::string(kElsHeader) + row + "'BD'), \r\n" + row + "'SIG'), \r\n");
}

TEST(FormatListingSQL, EveryConfigTextIsEscaped) {
    const KUID k(424242, 201);
    WEXAssetInfo info = Info(k, "Fred's \"best\" shed", "BD;X'Y\\");
    ListingSQLTexts t = Format(Soup({Entry(k, info, "", {}, "back\\slash")}));
    EXPECT_NE(t.asset.find("Title='Fred\\'s \\\"best\\\" shed',"), std::string::npos) << t.asset;
    EXPECT_NE(t.asset.find("Description='back\\\\slash',"), std::string::npos) << t.asset;
    // Category codes come from configurations too.
    EXPECT_NE(t.categoryElements.find("'X\\'Y\\\\'), \r\n"), std::string::npos)
        << t.categoryElements;
}

TEST(FormatListingSQL, HeadersOnceAlsoWithoutRowsAndEntriesEndAtTheFirstGap) {
    ListingSQLTexts empty = Format(Soup({}));
    EXPECT_EQ(empty.asset, "");
    EXPECT_EQ(empty.kuids, "");
    EXPECT_EQ(empty.child, kChildHeader);
    EXPECT_EQ(empty.dependencies, kDepsHeader);
    EXPECT_EQ(empty.categories, kCatsHeader);
    EXPECT_EQ(empty.categoryElements, kElsHeader);

    TDBTagRef soup = MakeCounted<TDBContainerTag>();
    const KUID a(1, 1), b(1, 2), c(1, 3);
    soup->AddChild(Kiv::PString("1"), Entry(b, Info(b, "B", "BD")));
    soup->AddChild(Kiv::PString("0"), Entry(a, Info(a, "A", "BD")));
    soup->AddChild(Kiv::PString("3"), Entry(c, Info(c, "C", "BD")));
    // Found by name whatever their order; "3" stands after the gap.
    EXPECT_EQ(Format(soup).kuids, "1:1\r\n1:2\r\n");
}

TEST(FormatListingSQL, MissingKeysGiveDefaults) {
    TDBTagRef entry = MakeCounted<TDBContainerTag>();
    ListingSQLTexts t = Format(Soup({entry}));
    EXPECT_EQ(t.asset,
              "UPDATE Asset SET AssetTypeID=0,ProductID=198,Title='',Description='',"
              "DownloadPath='',FileSize=0,Version=127,AssetStatusID='AVL',AssetDownloadID='T10',"
              "LastUpdated=NOW(),ProductVersion=0.0 WHERE KUID='' AND AssetDownloadID='FAK'; \r\n");
}

class WriteListingSQLTest : public ::testing::Test {
protected:
    void SetUp() override { SetListingOutputFolder(dir.path()); }
    void TearDown() override { SetListingOutputFolder(""); }
    testsupport::TempDir dir;
};

TEST_F(WriteListingSQLTest, SQLFilesAreRewrittenAndKuidsGrows) {
    const KUID a(424242, 300), b(424242, 301, 2);
    ResultsLog log;
    ASSERT_TRUE(WriteListingSQL(Soup({Entry(a, Info(a, "A", "BD"))}), 0, &log));
    ASSERT_TRUE(WriteListingSQL(Soup({Entry(b, Info(b, "B", "BD"))}), 0, &log));
    EXPECT_EQ(log.GetErrorCount(), 0u);
    EXPECT_EQ(dir.Read("kuids.txt"), "424242:300\r\n424242:301:2\r\n");
    ListingSQLTexts second = Format(Soup({Entry(b, Info(b, "B", "BD"))}));
    EXPECT_EQ(dir.Read("SQL_Asset_0.txt"), second.asset);
    EXPECT_EQ(dir.Read("SQL_AssetChild_0.txt"), second.child);
    EXPECT_EQ(dir.Read("SQL_AssetDependencies_0.txt"), second.dependencies);
    EXPECT_EQ(dir.Read("SQL_AssetCategories_0.txt"), second.categories);
    EXPECT_EQ(dir.Read("SQL_AssetCategoryElements_0.txt"), second.categoryElements);

    ASSERT_TRUE(WriteListingSQL(Soup({}), 1, &log));
    EXPECT_EQ(dir.Read("SQL_AssetChild_1.txt"), kChildHeader);
    EXPECT_EQ(dir.Read("SQL_Asset_1.txt"), "");
    // Only the six files: no twin is left behind.
    size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
        (void)e;
        ++files;
    }
    EXPECT_EQ(files, 11u);
}

TEST_F(WriteListingSQLTest, AFolderThatCannotBeWrittenIsAnErrorAndChangesNothing) {
    const KUID a(424242, 300);
    dir.Write("SQL_Asset_0.txt", "earlier");
    SetListingOutputFolder(dir / "missing");
    ResultsLog log;
    requesttest::LogLines lines;
    EXPECT_FALSE(WriteListingSQL(Soup({Entry(a, Info(a, "A", "BD"))}), 0, &log));
    EXPECT_EQ(log.GetErrorCount(), 1u);
    std::vector<std::string> expected = {"------------------------------------------------",
                                         " ERROR : Failed to open on or more output files ",
                                         "------------------------------------------------"};
    EXPECT_EQ(lines.Get(), expected);

    // A file the batch cannot replace (a folder stands in its place) keeps every other file
    // as it was, "kuids.txt" included.
    SetListingOutputFolder(dir.path());
    std::filesystem::create_directory(dir / "SQL_AssetCategories_0.txt");
    dir.Write("kuids.txt", "1:1\r\n");
    EXPECT_FALSE(WriteListingSQL(Soup({Entry(a, Info(a, "A", "BD"))}), 0, &log));
    EXPECT_EQ(dir.Read("kuids.txt"), "1:1\r\n");
    EXPECT_EQ(log.GetErrorCount(), 2u);
}

TEST(BuildListingRecord, AsksTheDaemonForConfigDescriptionAndDependencies) {
    using requesttest::Wire;
    requesttest::ScriptedTransport daemon;
    TBuffer config;
    ASSERT_TRUE(WriteTagTreeBinary(cdptest::Config("category-class \"US\"\n"), config));
    daemon.Answer(kWEXRequestAssetConfig,
                  requesttest::Bytes(config.GetData(), config.GetData() + config.GetDataLength()));
    daemon.Answer(kWEXRequestAssetDescription, Wire().Text("Desc"));
    daemon.Answer(kWEXRequestDependencyList, Wire().U32(1).Kuid(7, 8));
    const KUID k(424242, 400);
    TDBTagRef entry;
    BuildListingRecord(k, Info(k, "N", "BD"), entry);
    ListingSQLTexts t = Format(Soup({entry}));
    EXPECT_NE(t.asset.find("Description='Desc'"), std::string::npos);
    EXPECT_NE(t.dependencies.find("'7:8'), \r\n"), std::string::npos);
    EXPECT_NE(t.categories.find("'714'), \r\n"), std::string::npos);
    ASSERT_EQ(daemon.SentWithId(kWEXRequestDependencyList).size(), 1u);
    // Its own dependencies (option 0), of this asset.
    EXPECT_EQ(daemon.SentWithId(kWEXRequestDependencyList)[0].payload,
              requesttest::Bytes(Wire().U32(0).Kuid(424242, 400)));
}

}  // namespace
