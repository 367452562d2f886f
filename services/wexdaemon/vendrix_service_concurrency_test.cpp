// The stand-in content service's delayed fetches: each finishes on a thread of its own while the
// daemon answers other requests, and tells the client's reader thread so in an update note.
// Ending a record while its fetch waits, and stopping the daemon with fetches pending, are clean.
#include <filesystem>

#include "archive/vendrix_service.h"
#include "services/wexdaemon/vendrix_test_support.h"

namespace {

using vendrixtest::kRoof;
using vendrixtest::kShed;

class VendrixDelayTest : public vendrixtest::ServiceTest {
protected:
    // Stops the daemon as a user would: it must end cleanly (under the thread sanitiser a race
    // seen in the daemon makes its exit code non-zero).
    void StopCleanly() {
        ASSERT_TRUE(WEXClient::CloseDaemon());
        WEXCloseDatabase();
        ASSERT_TRUE(daemon_->WaitExit());
        EXPECT_EQ(daemon_->ExitCode(), 0) << DaemonLog();
    }
};

TEST_F(VendrixDelayTest, ADelayedFetchFinishesLaterAndSaysSoInAnUpdateNote) {
    ListSome();
    SetFolder(Folder());
    Restart({"-vendrixdelay=300"});
    uint64_t id = Start(VendrixDownloadURL(kRoof), 0);
    ASSERT_NE(id, kWEXNoVendrixRecord) << DaemonLog();
    WEXVendrixInfo info;
    ASSERT_TRUE(WEXClient::GetVendrixInfo(id, info));
    EXPECT_FALSE(info.finished);
    EXPECT_TRUE(info.path.IsEmpty());
    // The note refills the cached record: no request is made to see it.
    ASSERT_TRUE(wexdtest::WaitFor([&] {
        WEXVendrixInfo cached;
        return WEXVendrixCache::Instance().Find(id, cached) && cached.finished;
    }));
    WEXVendrixCache::Instance().Find(id, info);
    EXPECT_TRUE(std::filesystem::exists(std::string(info.path.view())));
    WEXClient::PostOnlineNotice(id);
}

TEST_F(VendrixDelayTest, FetchesOverlapEndWhileWaitingAndStopWithFetchesPending) {
    ListSome();
    SetFolder(Folder());
    Restart({"-vendrixdelay=200"});
    const uint64_t kept = Start(VendrixDownloadURL(kRoof), 0);
    const uint64_t ended = Start(VendrixSearchURL(kShed), 2);
    ASSERT_NE(kept, kWEXNoVendrixRecord) << DaemonLog();
    ASSERT_NE(ended, kWEXNoVendrixRecord) << DaemonLog();
    // Ended before its fetch ran: the fetch finds no record and leaves no file.
    WEXClient::PostOnlineNotice(ended);
    ASSERT_TRUE(wexdtest::WaitFor([&] {
        WEXVendrixInfo cached;
        return WEXVendrixCache::Instance().Find(kept, cached) && cached.finished;
    }));
    // An ended request is answered as finished without a path.
    WEXVendrixInfo gone;
    ASSERT_TRUE(WEXClient::GetVendrixInfo(ended, gone));
    EXPECT_TRUE(gone.finished);
    EXPECT_TRUE(gone.path.IsEmpty());
    // A fetch still waiting when the daemon is asked to stop.
    ASSERT_NE(Start(VendrixDownloadURL(kRoof), 0), kWEXNoVendrixRecord);
    StopCleanly();
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Root() + "/cache/vendrix"))
        files += entry.path().filename().string().rfind("search-", 0) == 0;
    EXPECT_EQ(files, 0u);
}

}  // namespace
