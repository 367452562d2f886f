// The daemon's asset requests driven through the program's own client library against the real
// wexdaemon: install, status, editing, commit, revert, delete, new KUIDs, settings, keywords,
// search, repair; what survives a restart; and two clients on one asset.
#include <filesystem>

#include "assetdb/asset_search.h"
#include "assetdb/asset_status.h"
#include "assetdb/author_cache.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_string.h"
#include "assetdb/settings_requests.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_database.h"
#include "assetdb/wex_client_edit.h"
#include "assetdb/wex_client_install.h"
#include "platform/wexdaemon/client_test_support.h"
#include "platform/wexdaemon/store_test_support.h"

namespace {

using clienttest::Config;
using clienttest::Lines;
using clienttest::Mentions;
using storetest::FolderFiles;

const KUID kShed(4242, 17);

class ClientRequestsTest : public clienttest::DaemonClientTest {
protected:
    // Installs a folder through the client; the installed KUID.
    KUID Install(const std::string& folder, ResultsLog* log = nullptr) {
        ResultsLog own;
        KUID installed;
        EXPECT_TRUE(
            WEXClient::InstallFromPath(folder, 0, false, installed, log ? log : &own, nullptr))
            << folder << "\n"
            << DaemonLog();
        return installed;
    }
    std::string ShedSource(const std::string& name = "shed") {
        std::string folder = Source(name);
        Config(kShed)
            .Text("username", "Goods Shed")
            .Text("kind", "scenery")
            .Text("category-class", "BI")
            .Text("category-region", "AU;NZ")
            .Text("category-era", "1950s")
            .Float("halvex-build", 3.5f)
            .WriteTo(folder, {{"mesh/shed.im", "mesh bytes"}});
        return folder;
    }
    std::vector<KUID> Search(const WEXFilterElement& root) {
        KUIDBlockList found;
        EXPECT_TRUE(WEXClient::SearchAssets(root, found));
        std::vector<KUID> out;
        for (const KUID& k : found)
            out.push_back(k);
        found.FreeAll();
        return out;
    }
};

TEST_F(ClientRequestsTest, InstallStatusEditCommitRevertDelete) {
    std::string source = ShedSource();
    EXPECT_EQ(Install(source), kShed);
    EXPECT_EQ(FolderFiles(Local(kShed)), FolderFiles(source));

    WEXAssetInfo info;
    ASSERT_TRUE(WEXClient::GetAssetInfo(kShed, info, kWEXInfoEverything));
    EXPECT_EQ(info.asset, kShed);
    EXPECT_EQ(info.name.view(), "Goods Shed");
    EXPECT_EQ(info.userName.view(), "Goods Shed");
    EXPECT_EQ(info.region.view(), "AU;NZ");
    EXPECT_EQ(info.era.view(), "1950s");
    EXPECT_EQ(info.categoryCodes.view(), "BD;IND;NACT");
    EXPECT_EQ(info.authorId, 4242u);
    EXPECT_EQ(info.authorName.view(), "4242");
    EXPECT_TRUE(info.buildKnown);
    EXPECT_EQ(static_cast<int>(info.build * 100.0f), 350);
    EXPECT_GT(info.installedAt, 0u);
    EXPECT_EQ(WEXAssetStatusLetters(info).view(), "eIadlmf");

    // Open for edit: a copy in editing/, the asset shows E.
    Kiv::String folder;
    WEXAssetHandle handle = WEXClient::OpenAssetForEdit(kShed, false, 0, &folder);
    ASSERT_TRUE(handle.IsValid());
    EXPECT_EQ(std::string(folder.view()), Root() + "/editing/kuid 4242 17");
    EXPECT_EQ(handle.GetName().view(), "Goods Shed");
    EXPECT_EQ(FolderFiles(folder.c_str()), FolderFiles(source));
    ASSERT_TRUE(WEXClient::GetAssetInfo(kShed, info, kWEXInfoEverything));
    EXPECT_EQ(WEXAssetStatusLetters(info).view(), "EIadlmf");

    // Commit: the edited copy is installed, the asset is locally modified and closed.
    std::ofstream(std::string(folder.view()) + "/notes.txt") << "new";
    ResultsLog log;
    bool second = true;
    ASSERT_TRUE(WEXClient::CommitAsset(handle, 0, &second, &log))
        << ::testing::PrintToString(Lines(log));
    EXPECT_FALSE(second);
    EXPECT_EQ(log.GetCount(), 0u);
    EXPECT_TRUE(std::filesystem::exists(Local(kShed) + "/notes.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder.c_str()));
    ASSERT_TRUE(WEXClient::GetAssetInfo(kShed, info, kWEXInfoEverything));
    EXPECT_EQ(WEXAssetStatusLetters(info).view(), "eIadLmf");
    handle.Release();

    // Revert throws a copy away.
    WEXAssetHandle again = WEXClient::OpenAssetForEdit(kShed, false, 0, &folder);
    ASSERT_TRUE(again.IsValid());
    std::ofstream(std::string(folder.view()) + "/notes.txt") << "thrown away";
    EXPECT_TRUE(WEXClient::RevertAsset(again, &log));
    EXPECT_FALSE(again.IsValid());
    EXPECT_EQ(wexdtest::ReadWhole(Local(kShed) + "/notes.txt"), "new");
    EXPECT_TRUE(WEXAssetIsLocallyModified(kShed));

    // Delete; then the asset is unknown and a second delete says why it fails.
    EXPECT_TRUE(WEXClient::DeleteAsset(kShed, false, &log));
    EXPECT_FALSE(std::filesystem::exists(Local(kShed)));
    ASSERT_TRUE(WEXClient::GetAssetInfo(kShed, info, kWEXInfoEverything));
    EXPECT_FALSE(info.IsKnown());
    EXPECT_TRUE(info.asset.IsNull());
    EXPECT_FALSE(WEXAssetIsInstalled(kShed));
    EXPECT_FALSE(WEXClient::DeleteAsset(kShed, false, &log));
    EXPECT_TRUE(Mentions(log, "not installed")) << ::testing::PrintToString(Lines(log));
    EXPECT_EQ(log.GetErrorCount(), 1u);
}

TEST_F(ClientRequestsTest, RefusalsComeBackAsErrorsInTheRequestsLog) {
    Install(ShedSource());
    std::filesystem::create_directories(Source("no-config"));
    Config(KUID::kNull).Text("username", "Nameless").WriteTo(Source("no-kuid"));
    struct Case {
        std::string folder;
        const char* says;
    };
    const Case cases[] = {
        {Source("no-config"), "no config.txt or config.chump"},
        {Source("no-kuid"), "names no usable kuid"},
        {Source("missing"), "there is no folder"},
        {"relative/folder", "is not a full path"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.folder);
        ResultsLog log;
        KUID installed(1, 1);
        EXPECT_FALSE(WEXClient::InstallFromPath(c.folder, 0, false, installed, &log, nullptr));
        EXPECT_TRUE(installed.IsNull());
        EXPECT_EQ(log.GetErrorCount(), 1u);
        EXPECT_TRUE(Mentions(log, c.says)) << ::testing::PrintToString(Lines(log));
    }

    // Open for edit: delete is refused; a commit whose config names another asset too.
    Kiv::String folder;
    WEXAssetHandle handle = WEXClient::OpenAssetForEdit(kShed, false, 0, &folder);
    ASSERT_TRUE(handle.IsValid());
    ResultsLog log;
    EXPECT_FALSE(WEXClient::DeleteAsset(kShed, false, &log));
    EXPECT_TRUE(Mentions(log, "open for edit")) << ::testing::PrintToString(Lines(log));
    Config(KUID(4242, 18)).Text("username", "Impostor").WriteTo(folder.c_str());
    ResultsLog commitLog;
    EXPECT_FALSE(WEXClient::CommitAsset(handle, 0, nullptr, &commitLog));
    EXPECT_TRUE(Mentions(commitLog, "<kuid:4242:18>"))
        << ::testing::PrintToString(Lines(commitLog));
    EXPECT_EQ(WEXGetAssetName(kShed).view(), "Goods Shed");

    // An unknown asset cannot be opened.
    EXPECT_FALSE(WEXClient::OpenAssetForEdit(KUID(1, 2), false).IsValid());
}

}  // namespace
