// The program's own client side of the link against the real daemon: with no daemon running,
// opening the database starts bin/wexdaemon of the install, finds its port in the shared-state
// block and completes the hello; the client's goodbye closes the link quietly.
#include <signal.h>

#include <filesystem>

#include "assetdb/daemon_link.h"
#include "assetdb/data_folders.h"
#include "foundation/data_root.h"
#include "foundation/process_launch.h"
#include "platform/system/process.h"
#include "platform/system/shared_memory.h"
#include "services/wexdaemon/daemon_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

// The daemon the client launched is no child of this process: it is found through the block's
// owner field and stopped by SIGTERM, and whatever still runs from the tree's bin/ is ended
// when the test leaves.
class LaunchedDaemon {
public:
    explicit LaunchedDaemon(std::string program) : program_(std::move(program)) {}
    ~LaunchedDaemon() { WaitAndTerminateProcesses(program_, 5000); }

    uint32_t OwnerOf(const std::string& database) {
        Sys::SharedMemory memory;
        if (!AttachSharedState(database)) return 0;
        uint32_t owner = 0;
        if (memory.Open(SharedStateNamesFor(database).mapping, kSharedStateSize))
            owner = WEXSharedState(memory.Data()).Owner();
        memory.Close();
        DetachSharedState();
        return owner == kNoProcess ? 0 : owner;
    }

private:
    std::string program_;
};

TEST(ClientLinkTest, OpeningTheDatabaseStartsTheDaemonAndSaysHello) {
    testsupport::TempDir install;
    std::filesystem::create_directories(install / "bin");
    std::filesystem::create_directories(install / "UserData");
    std::filesystem::copy_file(wexdtest::DaemonProgram(), install / "bin/wexdaemon");
    SetFolderRoots(install.path(), install / "UserData");
    LaunchedDaemon launched(install / "bin/wexdaemon");
    WEXLinkTiming timing;
    timing.retryDelayMs = 100;
    SetWEXLinkTiming(timing);

    ASSERT_TRUE(WEXOpenDatabase(WEXClientOptions()));
    EXPECT_TRUE(WEXClientIsLinkUp());
    EXPECT_TRUE(WEXClientDaemonStarted());
    uint32_t first = 0;
    uint32_t second = 0;
    WEXClientHelloWords(first, second);
    EXPECT_EQ(first, 360u);
    EXPECT_EQ(second, 49922u);
    WEXCloseDatabase();

    std::string database = install / "UserData/assets.wbi";
    uint32_t pid = launched.OwnerOf(database);
    ASSERT_NE(pid, 0u);
    std::string log = install / "UserData/wexdaemon.log";
    EXPECT_TRUE(wexdtest::WaitFor([&] {
        return wexdtest::ReadWhole(log).find("closed (goodbye)") != std::string::npos;
    })) << wexdtest::ReadWhole(log);
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    EXPECT_TRUE(wexdtest::WaitFor([&] { return !Sys::IsProcessAlive(pid); }));
    EXPECT_NE(wexdtest::ReadWhole(log).find("stopped"), std::string::npos);
    SetWEXLinkTiming(WEXLinkTiming());
    SetFolderRoots({}, {});
}

}  // namespace
