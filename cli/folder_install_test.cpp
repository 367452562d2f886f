// The folder walk of installfrompath against a scripted daemon: which folders are handed over,
// how the daemon's answers count, and the stop request.
#include "cli/folder_install.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/wex_task.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;
using requesttest::Wire;

class FolderInstall : public testing::Test {
protected:
    // The folders handed to the daemon, in order.
    std::vector<std::string> Installed() const {
        std::vector<std::string> folders;
        for (const requesttest::SentMessage& m : daemon.SentWithId(kWEXRequestInstallFromPath)) {
            uint32_t length = 0;
            for (int i = 3; i >= 0; --i)
                length = (length << 8) | m.payload[static_cast<size_t>(i)];
            folders.emplace_back(m.payload.begin() + 4, m.payload.begin() + 4 + length);
        }
        return folders;
    }

    ScriptedTransport daemon;
    testsupport::TempDir dir;
    ResultsLog log;
};

TEST_F(FolderInstall, EitherConfigNameInAnyCaseMakesAnAssetFolder) {
    daemon.Answer(kWEXRequestInstallFromPath, Wire().Kuid(1, 2).Bool(true));
    dir.Write("tree/a/config.chump", "binary");
    dir.Write("tree/b/CONFIG.TXT", "kuid <kuid:1:3>");
    dir.Write("tree/c/config.txt/not-a-file", "");
    dir.Write("tree/config.txt.old", "");
    FolderInstallCount count = InstallFromFolderTree(dir / "tree", log);
    EXPECT_EQ(count.handedOver, 2u);
    EXPECT_EQ(count.failed, 0u);
    EXPECT_EQ(Installed(), (std::vector<std::string>{dir / "tree/a", dir / "tree/b"}));
    EXPECT_EQ(daemon.SentWithId(kWEXRequestInstallFromPath)[0].resultsLog, &log);
}

TEST_F(FolderInstall, AnAnswerWithoutAnAssetIsAFailureOnlyWithAnError) {
    dir.Write("tree/a/config.txt", "");
    // An asset that was there already: no asset in the answer, and nothing said.
    daemon.Answer(kWEXRequestInstallFromPath, Wire().NullKuid().Bool(false));
    FolderInstallCount count = InstallFromFolderTree(dir / "tree", log);
    EXPECT_EQ(count.handedOver, 1u);
    EXPECT_EQ(count.failed, 0u);
    // An error logged before the walk is not the daemon's answer.
    AddMessage(log, kResultsError, HalvexPropertyRef(), Kiv::String("earlier"));
    count = InstallFromFolderTree(dir / "tree", log);
    EXPECT_EQ(count.failed, 0u);
}

TEST_F(FolderInstall, AStopRequestEndsTheWalkAfterTheEntryInHand) {
    daemon.Answer(kWEXRequestInstallFromPath, Wire().Kuid(1, 2).Bool(true));
    for (const char* asset : {"tree/a/config.txt", "tree/b/config.txt", "tree/c/config.txt"})
        dir.Write(asset, "");
    WEXTask task;
    task.RequestStop();
    EXPECT_EQ(InstallFromFolderTree(dir / "tree", log, &task).handedOver, 1u);
    EXPECT_EQ(Installed(), (std::vector<std::string>{dir / "tree/a"}));
    EXPECT_EQ(InstallFromFolderTree("", log).handedOver, 0u);
}

}  // namespace
