// Repairing the database through the client's repair task, coming to rest, and the requests
// this build does not serve, against the real daemon.
#include <filesystem>

#include "assetdb/asset_status.h"
#include "assetdb/online_requests.h"
#include "assetdb/repair_task.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_database.h"
#include "assetdb/wex_client_install.h"
#include "services/wexdaemon/client_test_support.h"
#include "services/wexdaemon/index_database.h"
#include "services/wexdaemon/store_test_support.h"

namespace {

using clienttest::Config;
using clienttest::Lines;
using clienttest::Mentions;

class HandlersRepairTest : public clienttest::DaemonClientTest {
protected:
    void SetUp() override {
        DaemonClientTest::SetUp();
        WEXRepairTiming timing;
        timing.sleep = [](uint32_t) {};
        SetWEXRepairTiming(timing);
    }
    void TearDown() override {
        SetWEXRepairTiming({});
        DaemonClientTest::TearDown();
    }
};

TEST_F(HandlersRepairTest, ARepairReportsWhatItFoundAndTheTaskEnds) {
    const KUID kept(31, 1);
    const KUID gone(31, 2);
    const KUID stray(31, 3);
    Config(kept)
        .Text("username", "Kept")
        .Table("kuid-table", {KUID(9999, 1)})
        .WriteTo(Source("kept"));
    Config(gone).Text("username", "Gone").WriteTo(Source("gone"));
    Install(Source("kept"));
    Install(Source("gone"));
    // Behind the daemon's back: a folder goes, one comes, a config changes.
    std::filesystem::remove_all(Local(gone));
    Config(stray).Text("username", "Stray").WriteTo(Local(stray));
    Config(KUID(31, 5)).Text("username", "Misplaced").WriteTo(Local(KUID(31, 4)));
    Config(kept)
        .Text("username", "Kept, renamed")
        .Table("kuid-table", {KUID(9999, 1)})
        .WriteTo(Local(kept));

    WEXTask task;
    WEXTaskRepairDatabase repair(0, nullptr);
    repair.RunInline(&task);
    std::vector<std::string> lines = Lines(task);
    EXPECT_TRUE(Mentions(task, "adopted local/kuid 31 3")) << ::testing::PrintToString(lines);
    EXPECT_TRUE(Mentions(task, "dropped: its folder is gone"));
    EXPECT_TRUE(Mentions(task, "the dependency <kuid:9999:1> is not installed"));
    EXPECT_TRUE(Mentions(task, "database repaired"));
    EXPECT_TRUE(Mentions(task, "names another kuid"));
    EXPECT_EQ(task.GetErrorCount(), 1u);
    EXPECT_FALSE(IsRepairRunning());

    float progress = 0.0f;
    Kiv::String status;
    EXPECT_FALSE(WEXClient::GetRepairProgress(progress, status));
    EXPECT_EQ(progress, 1.0f);
    EXPECT_TRUE(status.view().starts_with("repaired: 3 assets")) << status.view();
    EXPECT_EQ(WEXGetAssetName(kept).view(), "Kept, renamed");
    EXPECT_TRUE(WEXAssetIsInstalled(stray));
    EXPECT_FALSE(WEXAssetIsInstalled(gone));
    EXPECT_TRUE(WEXAssetIsFaulty(KUID(31, 4)));
}

TEST_F(HandlersRepairTest, APostedRepairAndComingToRest) {
    const KUID stray(32, 1);
    Config(stray).Text("username", "Stray").WriteTo(Local(stray));
    WEXClient::RepairDatabase();
    // The posted repair runs on its own; its adoption shows once it is done.
    ASSERT_TRUE(wexdtest::WaitFor([&] { return WEXAssetIsInstalled(stray); }));

    // A favourite waits to be written in a batch; coming to rest writes it.
    WEXClient::SetAssetFavorite(stray, true);
    WEXClient::RequestQuiesce();
    EXPECT_TRUE(WEXClient::IsQuiescent());
    wexd::IndexContents index;
    std::string why;
    ASSERT_EQ(wexd::ReadIndexFile(Database(), index, why), wexd::IndexLoad::kLoaded) << why;
    EXPECT_TRUE(index.records.at(stray).favorite);
}

TEST_F(HandlersRepairTest, RequestsServedElsewhereAnswerNoAndSaySo) {
    Config(KUID(33, 1)).Text("username", "Asset").WriteTo(Source("asset"));
    Install(Source("asset"));
    ResultsLog log;
    // A daemon on a data root other than its install's own starts no command host: the calls
    // that need one fail and say why.
    EXPECT_FALSE(WEXClient::RequestValidation(Local(KUID(33, 1)), "", &log));
    EXPECT_EQ(log.GetErrorCount(), 1u);
    EXPECT_TRUE(Mentions(log, "no command host is registered")) << DaemonLog();
    // A missing archive is no archive, said before any host is wanted.
    ResultsLog archiveLog;
    uint32_t count = 7;
    EXPECT_FALSE(
        WEXClient::InstallArchive(Source("some.cdp"), 2, false, &count, &archiveLog, nullptr));
    EXPECT_EQ(count, 0u);
    EXPECT_TRUE(Mentions(archiveLog, "not a valid CDP"));

    uint32_t level = 9;
    EXPECT_FALSE(WEXClient::QueryVendrixAccess(&level));
    EXPECT_EQ(level, 0u);
    // There is no hardware path here: texture conversion is told to leave it alone.
    EXPECT_TRUE(WEXClient::TextureRequest());
    EXPECT_EQ(WEXClient::OnlineRequest240().view(), "");
    EXPECT_EQ(WEXClient::OnlineRequest242().view(), "");
    EXPECT_FALSE(WEXAssetIsBuiltIn(KUID(33, 1)));
    // The daemon serves on.
    EXPECT_TRUE(WEXAssetIsInstalled(KUID(33, 1)));
}

}  // namespace
