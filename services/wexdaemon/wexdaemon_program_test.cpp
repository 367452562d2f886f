// The real wexdaemon program in a temporary data root, driven over TCP by a scripted client.
#include <signal.h>
#include <unistd.h>

#include <filesystem>

#include "configdata/soup_file.h"
#include "platform/system/shared_memory.h"
#include "services/wexdaemon/daemon_test_support.h"
#include "services/wexdaemon/index_database.h"
#include "services/wexdaemon/store_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using wexdtest::DaemonProcess;
using wexdtest::FrameBytes;
using wexdtest::ScriptedClient;
using wexdtest::Word;

class DaemonProgramTest : public ::testing::Test {
protected:
    std::string Root() const { return dir_ / "UserData"; }
    std::string Database() const { return Root() + "/assets.wbi"; }
    std::string Log() const { return wexdtest::ReadWhole(Root() + "/wexdaemon.log"); }

    // Starts a daemon on the data root and waits for its port.
    uint16_t StartDaemon(DaemonProcess& daemon, std::vector<std::string> extra = {}) {
        extra.insert(extra.begin(), "-userdata=" + Root());
        EXPECT_TRUE(daemon.Start(extra));
        uint16_t port = wexdtest::WaitForPort(Database());
        EXPECT_NE(port, 0) << Log();
        return port;
    }

    // Asks the daemon to close and checks that it answers and ends with exit code 0.
    void Close(DaemonProcess& daemon, uint16_t port) {
        ScriptedClient client(port);
        ASSERT_TRUE(client.Hello(Database()));
        std::optional<wexdtest::Record> reply = client.Request(270, 9, "");
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->tag, wexd::kReplyTag);
        EXPECT_EQ(reply->word, 9u);
        EXPECT_TRUE(client.ClosedByDaemon());
        ASSERT_TRUE(daemon.WaitExit());
        EXPECT_EQ(daemon.ExitCode(), 0);
    }

    testsupport::TempDir dir_;
};

TEST_F(DaemonProgramTest, AnswersEveryRequestOnceAndPostsNever) {
    DaemonProcess daemon;
    uint16_t port = StartDaemon(daemon);
    ScriptedClient client(port);
    ASSERT_TRUE(client.Hello(Database()));

    // An unknown id and the keep-alive each get one empty reply under their own transaction
    // id; the posts in between (unknown and known alike) get nothing, so the next record
    // read is always the next request's reply.
    struct Step {
        uint32_t id;
        uint32_t transaction;
        std::string payload;
    };
    const Step steps[] = {
        {77, 5, "abc"}, {77, 0, "post"}, {0, 6, ""}, {0, 0, ""}, {999, 7, std::string(70000, 'x')}};
    for (const Step& s : steps)
        ASSERT_TRUE(client.Send(FrameBytes(s.id, s.transaction, s.payload)));
    for (uint32_t transaction : {5u, 6u, 7u}) {
        std::optional<wexdtest::Record> r = client.Next();
        ASSERT_TRUE(r) << transaction;
        EXPECT_EQ(r->tag, wexd::kReplyTag);
        EXPECT_EQ(r->word, transaction);
        EXPECT_EQ(r->bytes, "");
    }
    EXPECT_NE(Log().find("unknown request id 77 (3 bytes), answered empty"), std::string::npos)
        << Log();
    EXPECT_NE(Log().find("unknown post id 77 (4 bytes), ignored"), std::string::npos);
    Close(daemon, port);
}

TEST_F(DaemonProgramTest, RefusedLinksCloseAloneAndTheDaemonServesOn) {
    DaemonProcess daemon;
    uint16_t port = StartDaemon(daemon);
    ScriptedClient keeper(port);
    ASSERT_TRUE(keeper.Hello(Database()));

    std::string other = dir_ / "Other/UserData/assets.wbi";
    std::filesystem::create_directories(dir_ / "Other/UserData");
    struct Case {
        const char* what;
        std::string bytes;  // sent after a good hello unless it starts with its own
        bool greeted;
    };
    const Case cases[] = {
        {"another database", wexdtest::HelloBytes(other), false},
        {"not a hello", Word(0x12345678) + std::string(40, '\0'), false},
        {"frame over the cap", Word(20) + Word(3) + Word(wexd::kMaxFrameBytes + 1), true},
        {"truncated frame", Word(20) + Word(3) + Word(100) + "only a few", true},
        {"goodbye", Word(wexd::kGoodbyeWord), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ScriptedClient client(port);
        ASSERT_TRUE(client.Connected());
        if (c.greeted) {
            ASSERT_TRUE(client.Hello(Database()));
        }
        ASSERT_TRUE(client.Send(c.bytes));
        // A truncated frame is one whose sender stops in the middle of it.
        if (std::string(c.what) == "truncated frame") client.StopSending();
        EXPECT_TRUE(client.ClosedByDaemon());
        // The other link is untouched.
        std::optional<wexdtest::Record> r = keeper.Request(0, 42, "");
        ASSERT_TRUE(r);
        EXPECT_EQ(r->word, 42u);
    }
    std::string log = Log();
    for (const char* line :
         {"refused: the hello names another database",
          "refused: the hello does not start with WEXC", "closed: a frame over the length limit",
          "closed: the link ended inside a frame", "closed (goodbye)"})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
    Close(daemon, port);
}

TEST_F(DaemonProgramTest, ALinkFromAnotherUsersProcessIsRefusedBeforeItsHello) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can start a process of another user";
    DaemonProcess daemon;
    uint16_t port = StartDaemon(daemon);
    ScriptedClient keeper(port);
    ASSERT_TRUE(keeper.Hello(Database()));
    // A child that becomes "nobody" and then speaks a perfect hello.
    testsupport::ChildResult child = testsupport::RunInChild([&] {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(3);
        ScriptedClient stranger(port);
        if (!stranger.Connected()) ::_exit(4);
        stranger.Send(wexdtest::HelloBytes(Database()));
        ::_exit(stranger.ClosedByDaemon() ? 0 : 5);
    });
    EXPECT_EQ(child.ExitCode(), 0) << "the stranger's link was answered\n" << child.out;
    EXPECT_NE(Log().find("refused: the peer is not this user's process"), std::string::npos)
        << Log();
    // The owner's link serves on.
    std::optional<wexdtest::Record> r = keeper.Request(0, 42, "");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->word, 42u);
    Close(daemon, port);
}

TEST_F(DaemonProgramTest, PublishesItselfAsOwnerAndClearsThatWhenItStops) {
    DaemonProcess daemon;
    uint16_t port = StartDaemon(daemon);
    // Stay attached, as a client would, so the block outlives the daemon.
    ASSERT_TRUE(AttachSharedState(Database()));
    Sys::SharedMemory memory;
    ASSERT_TRUE(memory.Open(SharedStateNamesFor(Database()).mapping, kSharedStateSize));
    WEXSharedState block(memory.Data());
    EXPECT_EQ(block.Owner(), static_cast<uint32_t>(daemon.Pid()));
    EXPECT_EQ(block.Port(), port);
    Close(daemon, port);
    EXPECT_EQ(block.Owner(), kNoProcess);
    EXPECT_EQ(block.Port(), 0u);
    memory.Close();
    DetachSharedState();
}

TEST_F(DaemonProgramTest, ABlockBeingShutDownIsNotJoinedAndTheDaemonLeaves) {
    std::filesystem::create_directories(Root());
    ASSERT_TRUE(AttachSharedState(Database()));
    Sys::SharedMemory memory;
    ASSERT_TRUE(memory.Open(SharedStateNamesFor(Database()).mapping, kSharedStateSize));
    WEXSharedState(memory.Data()).SetWord(WEXSharedState::kClosingOffset, 1);
    DaemonProcess daemon;
    ASSERT_TRUE(daemon.Start({"-userdata=" + Root()}));
    ASSERT_TRUE(daemon.WaitExit());
    EXPECT_EQ(daemon.ExitCode(), 1);
    EXPECT_NE(Log().find("clients cannot find this daemon"), std::string::npos) << Log();
    EXPECT_EQ(WEXSharedState(memory.Data()).Port(), 0u);
    WEXSharedState(memory.Data()).SetWord(WEXSharedState::kClosingOffset, 0);
    memory.Close();
    DetachSharedState();
}

TEST_F(DaemonProgramTest, TwoDaemonsStartedAtOnceLeaveOneOwner) {
    DaemonProcess a;
    DaemonProcess b;
    std::filesystem::create_directories(Root());
    ASSERT_TRUE(a.Start({"-userdata=" + Root()}));
    ASSERT_TRUE(b.Start({"-userdata=" + Root()}));
    // One of them finds the database owned and leaves with exit code 0.
    ASSERT_TRUE(wexdtest::WaitFor([&] { return a.Exited() || b.Exited(); }));
    DaemonProcess& left = a.Exited() ? a : b;
    DaemonProcess& owner = a.Exited() ? b : a;
    EXPECT_EQ(left.ExitCode(), 0);
    EXPECT_FALSE(owner.Exited());
    EXPECT_NE(Log().find("another daemon owns"), std::string::npos) << Log();
    Close(owner, wexdtest::WaitForPort(Database()));
}

TEST_F(DaemonProgramTest, IndexSurvivesARestartAndSigtermStopsCleanly) {
    storetest::MakeAssetFolder(Root() + "/local/kuid 5 6", KUID(5, 6), "Station");
    {
        DaemonProcess daemon;
        uint16_t port = StartDaemon(daemon);
        ASSERT_NE(port, 0);
        ScriptedClient client(port);
        ASSERT_TRUE(client.Hello(Database()));
        ASSERT_TRUE(client.Request(0, 1, ""));  // answered once the store is ready
        daemon.Signal(SIGTERM);
        ASSERT_TRUE(daemon.WaitExit());
        EXPECT_EQ(daemon.ExitCode(), 0);
        EXPECT_TRUE(client.ClosedByDaemon());
    }
    EXPECT_NE(Log().find("adopted local/kuid 5 6"), std::string::npos) << Log();
    EXPECT_NE(Log().find("stopping (SIGTERM)"), std::string::npos);
    wexd::IndexContents index;
    std::string why;
    ASSERT_EQ(wexd::ReadIndexFile(Database(), index, why), wexd::IndexLoad::kLoaded) << why;
    ASSERT_EQ(index.records.count(KUID(5, 6)), 1u);
    EXPECT_EQ(index.records.at(KUID(5, 6)).config.name, "Station");

    // The second run finds everything in the index: nothing to adopt.
    std::filesystem::remove(Root() + "/wexdaemon.log");
    DaemonProcess again;
    uint16_t port = StartDaemon(again);
    ScriptedClient client(port);
    ASSERT_TRUE(client.Hello(Database()));
    ASSERT_TRUE(client.Request(0, 1, ""));
    EXPECT_NE(Log().find("store ready: 1 assets (0 adopted, 0 dropped"), std::string::npos)
        << Log();
    Close(again, port);
}

TEST_F(DaemonProgramTest, StartedFromBinFindsUserDataBesideIt) {
    // An install tree of its own: the program copied into bin/, started there with no options.
    std::filesystem::create_directories(dir_ / "bin");
    std::filesystem::copy_file(wexdtest::DaemonProgram(), dir_ / "bin/wexdaemon");
    DaemonProcess daemon;
    ASSERT_TRUE(daemon.Start({}, dir_ / "bin", dir_ / "bin/wexdaemon"));
    uint16_t port = wexdtest::WaitForPort(Database());
    ASSERT_NE(port, 0);
    EXPECT_TRUE(std::filesystem::is_directory(Root() + "/local"));
    Close(daemon, port);
}

TEST_F(DaemonProgramTest, IdleTimeOutAndBadArguments) {
    DaemonProcess idle;
    StartDaemon(idle, {"-idletimeout=1"});
    ASSERT_TRUE(idle.WaitExit());
    EXPECT_EQ(idle.ExitCode(), 0);
    EXPECT_NE(Log().find("stopping (idle time-out)"), std::string::npos);

    for (const char* bad : {"-idletimeout=soon", "-idletimeout=", "-frobnicate", "-userdata="}) {
        DaemonProcess daemon;
        ASSERT_TRUE(daemon.Start({bad}));
        ASSERT_TRUE(daemon.WaitExit());
        EXPECT_EQ(daemon.ExitCode(), 1) << bad;
    }
}

}  // namespace
