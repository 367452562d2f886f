// The stand-in content service: its search page built from what the folder lists, and the
// content-service requests (230 to 232, the update note) with the asset requests that see the
// listed assets, against the real wexdaemon through the program's client library.
#include "services/wexdaemon/vendrix_service.h"

#include <unistd.h>

#include "archive/vendrix_service.h"
#include "assetdb/asset_search.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/settings_requests.h"
#include "assetdb/vendrix_cache.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_edit.h"
#include "configdata/config_file.h"
#include "online/url_record.h"
#include "services/wexdaemon/client_test_support.h"
#include "services/wexdaemon/vendrix_test_support.h"

namespace {

using vendrixtest::Listed;
using vendrixtest::WriteArchive;

using vendrixtest::kGone;
using vendrixtest::kRoof;
using vendrixtest::kShed;
using vendrixtest::kShed2;
using vendrixtest::kTile;

// One entry of a page as "requires > latest-version (result)".
std::vector<std::string> Entries(const TDBTagRef& page) {
    std::vector<std::string> out;
    for (uint32_t i = 0;; ++i) {
        TDBTagRef e = TDBContainerTag::GetContainer(page, Kiv::PString(std::to_string(i)));
        if (TDBContainerTag::CountChildren(e) == 0) break;
        out.push_back(std::string(TDBContainerTag::GetKUID(e, Kiv::PString("requires"), KUID::kNull)
                                      .ToString()
                                      .c_str()) +
                      " > " +
                      TDBContainerTag::GetKUID(e, Kiv::PString("latest-version"), KUID::kNull)
                          .ToString()
                          .c_str() +
                      " (" + TDBContainerTag::GetString(e, Kiv::PString("result")).c_str() + ")");
    }
    return out;
}

WEXAssetInfo Info(const KUID& kuid) {
    WEXAssetInfo info;
    EXPECT_TRUE(WEXClient::GetAssetInfo(kuid, info, kWEXInfoEverything));
    return info;
}

wexd::ListedAsset Asset(const KUID& kuid, std::vector<KUID> deps) {
    wexd::ListedAsset a;
    a.kuid = kuid;
    a.facts.dependencies = std::move(deps);
    a.archiveSize = 100;
    return a;
}

TEST(VendrixSearchPage, TheAssetThenItsDependenciesBreadthFirstEachOnceToTheLevelAsked) {
    wexd::VendrixListing listing;
    for (auto a : {Asset(kShed, {kRoof}), Asset(kShed2, {kRoof, kGone}), Asset(kRoof, {kTile}),
                   Asset(kTile, {kShed})})
        listing.assets[a.kuid] = a;
    EXPECT_EQ(Entries(wexd::VendrixSearchPage(listing, kShed, 5)),
              (std::vector<std::string>{
                  "<kuid:424242:1> > <kuid2:424242:1:2> (found)",
                  "<kuid:424242:2> > <kuid:424242:2> (found)",
                  "<kuid:424242:9> > <NULL> (missing)",
                  "<kuid:424242:3> > <kuid:424242:3> (found)",
              }));
    EXPECT_EQ(Entries(wexd::VendrixSearchPage(listing, kShed, 1)).size(), 3u);
    EXPECT_EQ(Entries(wexd::VendrixSearchPage(listing, kShed, 0)).size(), 1u);
    TDBTagRef none = wexd::VendrixSearchPage(listing, kGone, 5);
    EXPECT_TRUE(TDBContainerTag::HasTag(none, Kiv::PString("none")));
    EXPECT_TRUE(Entries(none).empty());
    TDBTagRef first = TDBContainerTag::GetContainer(wexd::VendrixSearchPage(listing, kShed, 0),
                                                    Kiv::PString("0"));
    EXPECT_EQ(
        std::string(TDBContainerTag::GetString(first, Kiv::PString("latest-version-path")).c_str()),
        "https://vendrix.halvex.invalid/halvex/download/424242:1:2.cdp");
    EXPECT_EQ(TDBContainerTag::GetInt(first, Kiv::PString("latest-version-size"), 0), 100);
}

class VendrixServiceTest : public vendrixtest::ServiceTest {};

TEST_F(VendrixServiceTest, WithoutAFolderNothingStarts) {
    EXPECT_EQ(Start(VendrixSearchURL(kShed), 2), kWEXNoVendrixRecord);
    ListSome();
    SetFolder(Folder());
    EXPECT_NE(Start(VendrixSearchURL(kShed), 2), kWEXNoVendrixRecord);
}

TEST_F(VendrixServiceTest, ASearchPageListsTheAssetAndItsDependenciesAndEndingItRemovesIt) {
    ListSome();
    // Relative to the install root.
    std::filesystem::rename(Folder(), install_ + "/service");
    SetFolder("service");
    uint64_t id = Start(VendrixSearchURL(kShed), 2);
    ASSERT_NE(id, kWEXNoVendrixRecord) << DaemonLog();
    WEXVendrixInfo info = Finished(id);
    EXPECT_EQ(std::string(info.text.c_str()), "");
    std::string path(info.path.view());
    ASSERT_EQ(path.rfind(Root() + "/cache/vendrix/", 0), 0u) << path;
    TDBTagRef page;
    ASSERT_TRUE(ReadConfigFile({}, path, page, "txt"));
    EXPECT_EQ(Entries(page), (std::vector<std::string>{
                                 "<kuid:424242:1> > <kuid2:424242:1:2> (found)",
                                 "<kuid:424242:2> > <kuid:424242:2> (found)",
                                 "<kuid:424242:9> > <NULL> (missing)",
                                 "<kuid:424242:3> > <kuid:424242:3> (found)",
                             }));
    EXPECT_EQ(std::string(
                  TDBContainerTag::GetString(TDBContainerTag::GetContainer(page, Kiv::PString("0")),
                                             Kiv::PString("asset-name"))
                      .c_str()),
              "Shed v2");
    WEXClient::PostOnlineNotice(id);
    EXPECT_TRUE(wexdtest::WaitFor([&] { return !std::filesystem::exists(path); }));

    // An asset the service lacks: "none".
    id = Start(VendrixSearchURL(KUID(5, 5)), 2);
    ASSERT_TRUE(ReadConfigFile({}, std::string(Finished(id).path.view()), page, "txt"));
    EXPECT_TRUE(TDBContainerTag::HasTag(page, Kiv::PString("none")));
}

TEST_F(VendrixServiceTest, OnlyListedArchivesOfTheServicesOwnHostAreFetched) {
    ListSome();
    SetFolder(Folder());
    uint64_t id = Start(VendrixDownloadURL(kRoof), 0);
    ASSERT_NE(id, kWEXNoVendrixRecord) << DaemonLog();
    WEXVendrixInfo info = Finished(id);
    EXPECT_EQ(wexdtest::ReadWhole(std::string(info.path.view())),
              wexdtest::ReadWhole(Folder() + "/roof.cdp"));
    EXPECT_EQ(info.asset, kRoof);

    for (auto [url, kind] : std::vector<std::pair<std::string, uint32_t>>{
             {VendrixDownloadURL(kGone), 0},
             {VendrixDownloadURL(kRoof), 2},
             {VendrixSearchURL(kRoof), 0},
             {"https://example.com/halvex/download/424242:2.cdp", 0},
             {"https://vendrix.halvex.invalid/halvex/download/..%2F..%2Froof.cdp", 0}})
        EXPECT_EQ(Start(url, kind), kWEXNoVendrixRecord) << url;
    // An id that names no request is finished, with nothing fetched.
    info = Finished(id + 1000);
    EXPECT_TRUE(info.path.IsEmpty());
    EXPECT_FALSE(info.text.IsEmpty());
}

TEST_F(VendrixServiceTest, TheCatalogueFollowsTheFolderAndSkipsDamagedArchivesAndLinks) {
    ListSome();
    SetFolder(Folder());
    std::filesystem::create_directories(Source("elsewhere"));
    WriteArchive(Source("elsewhere/linked.cdp"), {{KUID(7, 7), "Linked"}});
    ASSERT_EQ(::symlink(Source("elsewhere/linked.cdp").c_str(), (Folder() + "/linked.cdp").c_str()),
              0);
    ASSERT_EQ(::symlink(Source("elsewhere").c_str(), (Folder() + "/linkedfolder").c_str()), 0);
    std::ofstream(Folder() + "/damaged.cdp") << "not an archive";
    EXPECT_EQ(WEXClient::GetUpdatedAsset(kShed), kShed2);
    EXPECT_EQ(WEXClient::GetUpdatedAsset(KUID(7, 7)), KUID(7, 7));
    EXPECT_FALSE(Info(KUID(7, 7)).IsKnown());
    EXPECT_NE(DaemonLog().find("damaged.cdp is skipped"), std::string::npos) << DaemonLog();

    WriteArchive(Folder() + "/later.cdp", {{KUID(424242, 1, 5), "v5"}});
    EXPECT_EQ(WEXClient::GetUpdatedAsset(kShed), KUID(424242, 1, 5));
    std::filesystem::remove(Folder() + "/later.cdp");
    EXPECT_EQ(WEXClient::GetUpdatedAsset(kShed), kShed2);
}

TEST_F(VendrixServiceTest, ListedAssetsAreKnownSearchedAndOpenedAsNew) {
    ListSome();
    SetFolder(Folder());
    // Installed here as well as listed: installed, offered; listed only: known, not installed.
    clienttest::Config(kRoof)
        .Text("username", "Roof here")
        .Text("kind", "scenery")
        .WriteTo(Source("roof"), {{"thumbnail.jpg", "jpeg"}, {"roof.im", "12345"}});
    ASSERT_EQ(Install(Source("roof")), kRoof);
    WEXAssetInfo roof = Info(kRoof);
    EXPECT_TRUE(roof.Has(kWEXStatusInstalled));
    EXPECT_TRUE(roof.Has(kWEXStatusOnVendrix));
    EXPECT_FALSE(roof.Has(kWEXStatusVendrixItem));
    // The folder's files: the thumbnail, the mesh and the config.
    EXPECT_EQ(roof.fileSize, 4u + 5u + std::filesystem::file_size(Local(kRoof) + "/config.txt"));
    WEXAssetInfo tile = Info(kTile);
    EXPECT_TRUE(tile.IsKnown());
    EXPECT_FALSE(tile.Has(kWEXStatusInstalled));
    EXPECT_TRUE(tile.Has(kWEXStatusOnVendrix));
    EXPECT_EQ(std::string(tile.name.c_str()), "Tile");
    EXPECT_EQ(std::string(tile.categoryCodes.c_str()), "MESH");
    EXPECT_TRUE(tile.buildKnown);
    EXPECT_EQ(tile.fileSize, 0xFFFFFFFFu);

    Kiv::String thumbnail;
    uint32_t status = 0;
    ASSERT_TRUE(WEXClient::GetThumbnailPath(kRoof, 0, thumbnail, status));
    EXPECT_EQ(std::string(thumbnail.view()), Local(kRoof) + "/thumbnail.jpg");
    EXPECT_EQ(status, 1u);
    ASSERT_TRUE(WEXClient::GetThumbnailPath(kTile, 0, thumbnail, status));
    EXPECT_TRUE(thumbnail.IsEmpty());

    auto search = [](std::vector<WEXBoolKeyword> codes) {
        WEXFilterElementGroup filter;
        for (WEXBoolKeyword c : codes)
            filter.Add(std::make_unique<WEXFilterElementBool>(c));
        KUIDBlockList found;
        EXPECT_TRUE(WEXClient::SearchAssets(filter, found));
        std::vector<KUID> out;
        for (const KUID& k : found)
            out.push_back(k);
        return out;
    };
    EXPECT_EQ(search({}), (std::vector<KUID>{kShed, kShed2, kRoof, kTile}));
    EXPECT_EQ(search({kWEXLocal}), (std::vector<KUID>{kRoof}));
    EXPECT_EQ(search({kWEXVendrix}), (std::vector<KUID>{kShed, kShed2, kRoof, kTile}));

    // Opening a listed-only asset starts a fresh editing copy, as creating it does.
    WEXAssetHandle handle = WEXClient::OpenAssetForEdit(kTile, false);
    ASSERT_TRUE(handle.IsValid()) << DaemonLog();
    Kiv::String folder;
    ASSERT_TRUE(WEXClient::GetHandlePath(handle, folder));
    EXPECT_TRUE(std::filesystem::is_directory(std::string(folder.view())));
    ResultsLog log;
    EXPECT_TRUE(WEXClient::RevertAsset(handle, &log));
}

TEST_F(VendrixServiceTest, StartUpEmptiesTheCacheFolder) {
    ListSome();
    SetFolder(Folder());
    std::string path(Finished(Start(VendrixDownloadURL(kRoof), 0)).path.view());
    ASSERT_TRUE(std::filesystem::exists(path));
    Restart();
    EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
