// The shared-state block between real processes (forked children): creating and joining,
// claiming the holder's place from a killed holder, refusing a closing block, clearing the ids
// of dead processes, and a block left behind by dead processes counting as new.
#include "assetdb/shared_state.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/kiv/base/log.h"
#include "platform/system/shared_memory.h"
#include "tests/support/held_child.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::HeldChild;

// The id of a process that has ended and been collected.
uint32_t DeadProcessId() {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(0);
    int status;
    ::waitpid(pid, &status, 0);
    return static_cast<uint32_t>(pid);
}

// A raw view of the block, as another program (the daemon) maps it.
class RawBlock {
public:
    explicit RawBlock(const std::string& databasePath) {
        SharedStateNames names = SharedStateNamesFor(databasePath);
        EXPECT_TRUE(memory_.Open(names.mapping, kSharedStateSize));
    }
    WEXSharedState View() { return WEXSharedState(memory_.Data()); }

private:
    Sys::SharedMemory memory_;
};

class SharedState : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir / "UserData");
        logId = Kiv::Log::AddListener([this](std::string_view line) { log.emplace_back(line); });
    }
    void TearDown() override {
        DetachSharedState();
        Kiv::Log::RemoveListener(logId);
    }

    testsupport::TempDir dir;
    const std::string database = dir / "UserData/assets.wbi";
    std::vector<std::string> log;
    int logId = 0;
};

TEST_F(SharedState, NamesNeedTheDatabaseFileInAnExistingFolder) {
    struct Case {
        std::string path;
        bool named;
    };
    const Case cases[] = {
        {database, true},
        {dir / "UserData/ASSETS.WBI", true},
        {dir / "UserData/assets.wbi.bak", false},
        {dir / "UserData/assets.wbi/assets.wbi", false},
        {dir / "UserData/other.wbi", false},
        {dir / "Missing/assets.wbi", false},
        {"assets.wbi", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(!SharedStateNamesFor(c.path).mutex.empty(), c.named) << c.path;
        EXPECT_EQ(AttachSharedState(c.path), c.named) << c.path;
        DetachSharedState();
    }
    // Any spelling of the same folder meets the same block.
    EXPECT_EQ(SharedStateNamesFor(database).mapping,
              SharedStateNamesFor(dir / "UserData/Assets.WBI").mapping);
    EXPECT_NE(SharedStateNamesFor(database).mutex, SharedStateNamesFor(database).mapping);
}

TEST_F(SharedState, FirstProcessCreatesSecondJoinsAndClaimsFromAKilledHolder) {
    HeldChild first([&](HeldChild::Channel& ch) {
        ch.Report(AttachSharedState(database) ? 1 : 0);
        ch.AwaitRelease();
    });
    ASSERT_EQ(first.Next(), 1);

    ASSERT_TRUE(AttachSharedState(database));
    RawBlock raw(database);
    WEXSharedState block = raw.View();
    EXPECT_EQ(block.Holder(), static_cast<uint32_t>(first.pid()));
    EXPECT_FALSE(IsSharedStateHolder());
    EXPECT_EQ(block.Version(), kSharedStateVersion);
    EXPECT_EQ(block.Count(), 2);
    EXPECT_EQ(block.Owner(), kNoProcess);
    EXPECT_EQ(block.Requester(), kNoProcess);
    EXPECT_EQ(block.Port(), 0u);

    first.Kill();
    IPCIdle();
    EXPECT_TRUE(IsSharedStateHolder());
    EXPECT_EQ(block.Holder(), static_cast<uint32_t>(::getpid()));

    DetachSharedState();
    EXPECT_EQ(block.Holder(), kNoProcess);
    EXPECT_EQ(block.Count(), 1);
}

TEST_F(SharedState, BlockLeftOnlyByDeadProcessesCountsAsNew) {
    HeldChild first([&](HeldChild::Channel& ch) {
        bool ok = AttachSharedState(database);
        RawBlock(database).View().SetWord(WEXSharedState::kPortOffset, 4242);
        ch.Report(ok ? 1 : 0);
        ch.AwaitRelease();
    });
    ASSERT_EQ(first.Next(), 1);
    first.Kill();

    ASSERT_TRUE(AttachSharedState(database));
    EXPECT_TRUE(IsSharedStateHolder());
    RawBlock raw(database);
    EXPECT_EQ(raw.View().Port(), 0u);
    EXPECT_EQ(raw.View().Count(), 1);
    EXPECT_EQ(raw.View().Holder(), static_cast<uint32_t>(::getpid()));
}

TEST_F(SharedState, ClosingBlockRefusesToBeJoined) {
    HeldChild first([&](HeldChild::Channel& ch) {
        bool ok = AttachSharedState(database);
        RawBlock(database).View().SetWord(WEXSharedState::kClosingOffset, 1);
        ch.Report(ok ? 1 : 0);
        ch.AwaitRelease();
        DetachSharedState();
    });
    ASSERT_EQ(first.Next(), 1);
    EXPECT_FALSE(AttachSharedState(database));
    EXPECT_FALSE(IsSharedStateAttached());
    EXPECT_EQ(GetDaemonPort(), 0u);
}

TEST_F(SharedState, HolderClearsDeadOwnerAndRequesterAndReadsThePort) {
    ASSERT_TRUE(AttachSharedState(database));
    ASSERT_TRUE(IsSharedStateHolder());
    RawBlock raw(database);
    WEXSharedState block = raw.View();
    const uint32_t deadOwner = DeadProcessId();
    const uint32_t deadRequester = DeadProcessId();
    block.SetWord(WEXSharedState::kOwnerOffset, deadOwner);
    block.SetWord(WEXSharedState::kRequesterOffset, deadRequester);
    block.SetWord(WEXSharedState::kPortOffset, 5150);
    EXPECT_EQ(GetDaemonPort(), 5150u);
    EXPECT_FALSE(IsDatabaseOwner());

    IPCIdle();
    EXPECT_EQ(block.Owner(), kNoProcess);
    EXPECT_EQ(block.Requester(), kNoProcess);
    EXPECT_EQ(log, (std::vector<std::string>{
                       "IPCIdle> clearing dead database owner (owner processID was " +
                           std::to_string(deadOwner) + ")",
                       "IPCIdle> clearing dead database requester (requester processID was " +
                           std::to_string(deadRequester) + ")"}));

    // Owner and requester both this process: the requester goes. As the owner, no port.
    const uint32_t self = static_cast<uint32_t>(::getpid());
    block.SetWord(WEXSharedState::kOwnerOffset, self);
    block.SetWord(WEXSharedState::kRequesterOffset, self);
    IPCIdle();
    EXPECT_EQ(block.Requester(), kNoProcess);
    EXPECT_TRUE(IsDatabaseOwner());
    EXPECT_EQ(GetDaemonPort(), 0u);
    GiveUpDatabaseOwnership();
    EXPECT_EQ(block.Owner(), kNoProcess);
    EXPECT_EQ(GetDaemonPort(), 5150u);
}

TEST_F(SharedState, LastProcessToLeaveRemovesTheBlock) {
    ASSERT_TRUE(AttachSharedState(database));
    RawBlock(database).View().SetWord(WEXSharedState::kPortOffset, 77);
    DetachSharedState();
    // A fresh mapping of the name reads zeros: the old block is gone.
    EXPECT_EQ(RawBlock(database).View().Port(), 0u);
    Sys::SharedMemory::Remove(SharedStateNamesFor(database).mapping);
}

}  // namespace
