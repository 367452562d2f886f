// The daemon link against a scripted daemon on loopback: the hello's bytes, refused hellos,
// retries and daemon launches without a daemon, framing of posts and requests, and the close.
#include "assetdb/daemon_link.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "assetdb/daemon_link_test_support.h"
#include "assetdb/shared_state.h"
#include "assetdb/spec_registry.h"
#include "foundation/tbuffer.h"
#include "platform/system/named_mutex.h"
#include "platform/system/named_object.h"
#include "platform/system/shared_memory.h"
#include "tests/support/held_child.h"
#include "tests/support/loopback_listener.h"
#include "tests/support/scripted_daemon.h"

namespace {

using linktest::Sleeps;
using linktest::Words;
using testsupport::ScriptedDaemon;

class DaemonLink : public linktest::LinkTest {
protected:
    std::string Hello(uint32_t clientFlag) {
        return Words({0x57455843, 360, 49922, clientFlag, static_cast<uint32_t>(database.size())}) +
               database;
    }
    // Posts the echo message and reads its answer: once it is back, the daemon has read every
    // frame sent before it.
    bool Echo() {
        TBuffer empty;
        uint32_t answer = 0;
        return WEXClientPost(ScriptedDaemon::kEchoMessage, empty) &&
               WEXClientReceiveExact(&answer, 4, true) && answer == ScriptedDaemon::kEchoAnswer;
    }
    std::string EchoFrame() { return Words({ScriptedDaemon::kEchoMessage, 0, 0}); }
};

TEST_F(DaemonLink, HelloCarriesTheClientFlagAndThePathAndCloseSaysGoodbye) {
    for (uint8_t flag : {1, 0}) {
        ScriptedDaemon daemon(database);
        ASSERT_TRUE(WEXOpenDatabase(StartupOptions(flag))) << int(flag);
        EXPECT_TRUE(WEXClientIsOpen());
        EXPECT_TRUE(WEXClientIsLinkUp());
        EXPECT_TRUE(WEXDatabaseOpenEvent().IsSet());
        EXPECT_NE(SpecRegistry::Instance(), nullptr);
        EXPECT_TRUE(Sleeps().empty());
        uint32_t first = 0, second = 0;
        WEXClientHelloWords(first, second);
        EXPECT_EQ(first, 11u);
        EXPECT_EQ(second, 22u);
        EXPECT_EQ(WEXClientGetOptions().clientFlag, flag);

        EXPECT_TRUE(WEXOpenDatabase(StartupOptions(flag)));  // already open: no second hello
        WEXCloseDatabase();
        EXPECT_FALSE(WEXClientIsOpen());
        EXPECT_FALSE(WEXClientIsLinkUp());
        EXPECT_EQ(SpecRegistry::Instance(), nullptr);
        EXPECT_EQ(WEXClientGetOptions().clientFlag, 1);
        EXPECT_EQ(WEXClientGetOptions().mayStartDaemon, 1);
        ASSERT_TRUE(linktest::Eventually([&] { return daemon.Received()[0].size() >= 4; }));
        std::string expected = Hello(flag) + Words({1});
        EXPECT_TRUE(linktest::Eventually([&] { return daemon.Received()[0] == expected; }));
        EXPECT_EQ(daemon.Connections(), 1u);
    }
}

TEST_F(DaemonLink, WrongAnswerTagFailsEveryHello) {
    ScriptedDaemon::Script script;
    script.answerTag = 0x57455858;  // 'WEXX'
    ScriptedDaemon daemon(database, script);
    EXPECT_FALSE(WEXOpenDatabase(StartupOptions()));
    EXPECT_EQ(daemon.Connections(), static_cast<size_t>(kLinkAttempts));
    EXPECT_EQ(Sleeps(), std::vector<uint32_t>(kLinkAttempts - 1, 1000));
    EXPECT_TRUE(Logged("WEXOpenDatabase> unable to connect to WEXDaemon"));
    EXPECT_FALSE(WEXClientIsOpen());
    EXPECT_FALSE(WEXClientIsLinkUp());
    EXPECT_EQ(SpecRegistry::Instance(), nullptr);
    // The open launched the daemon itself before its second hello.
    EXPECT_TRUE(WEXClientDaemonStarted());
}

TEST_F(DaemonLink, WithoutADaemonEveryHelloLaunchesItInItsFolder) {
    // A stand-in daemon that notes each launch and the folder it was started in.
    const std::string bin = install + "/bin";
    {
        std::filesystem::create_directories(bin);
        std::ofstream script(bin + "/wexdaemon");
        script << "#!/bin/sh\necho \"$(pwd -P)\" >> launches\n";
    }
    ASSERT_EQ(::chmod((bin + "/wexdaemon").c_str(), 0755), 0);

    EXPECT_FALSE(WEXOpenDatabase(StartupOptions()));
    EXPECT_EQ(Sleeps(), std::vector<uint32_t>(kLinkAttempts - 1, 1000));
    EXPECT_TRUE(Logged("WEXOpenDatabase> unable to connect to WEXDaemon"));

    const std::string launches = bin + "/launches";
    auto lines = [&] {
        std::ifstream in(launches);
        std::vector<std::string> all;
        for (std::string line; std::getline(in, line);)
            all.push_back(line);
        return all;
    };
    ASSERT_TRUE(linktest::Eventually([&] { return lines().size() >= kLinkAttempts; }));
    EXPECT_EQ(lines(),
              std::vector<std::string>(kLinkAttempts, std::filesystem::canonical(bin).string()));
}

TEST_F(DaemonLink, PostSendsThePayloadFromItsPosition) {
    ScriptedDaemon daemon(database);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    TBuffer payload("0123456789", 10);
    payload.SetPosition(4);
    EXPECT_TRUE(WEXClientPost(77, payload));
    EXPECT_TRUE(payload.AtEnd());
    TBuffer empty;
    EXPECT_TRUE(WEXClientPost(78, empty));
    TBuffer consumed("ab", 2);
    consumed.SetPosition(2);
    EXPECT_TRUE(WEXClientPost(79, consumed));
    ASSERT_TRUE(Echo());
    EXPECT_EQ(daemon.Received()[0], Hello(1) + Words({77, 0, 6}) + "456789" + Words({78, 0, 0}) +
                                        Words({79, 0, 0}) + EchoFrame());
}

TEST_F(DaemonLink, SendWithoutALinkRetriesOnlyWhenItMayStartTheDaemon) {
    struct Case {
        bool mayStart;
        size_t sleeps;
    };
    for (const Case c : {Case{false, 0}, Case{true, kLinkAttempts - 1}}) {
        ScriptedDaemon daemon(database);
        ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
        daemon.Stop();  // its port stays in the block, but nobody answers there
        WEXClientDisconnect(true);
        WEXClientOptions::SetStartDaemon(c.mayStart);
        Sleeps().clear();
        TBuffer payload("x", 1);
        EXPECT_FALSE(WEXClientPost(77, payload)) << c.mayStart;
        EXPECT_EQ(Sleeps().size(), c.sleeps) << c.mayStart;
        WEXCloseDatabase();
    }
}

TEST_F(DaemonLink, SendAfterTheLinkWentDownReconnects) {
    ScriptedDaemon daemon(database);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    WEXClientDisconnect(true);
    EXPECT_FALSE(WEXClientIsLinkUp());
    ASSERT_TRUE(Echo());
    EXPECT_TRUE(WEXClientIsLinkUp());
    ASSERT_EQ(daemon.Connections(), 2u);
    EXPECT_EQ(daemon.Received()[1], Hello(1) + EchoFrame());
    EXPECT_TRUE(Sleeps().empty());
}

TEST_F(DaemonLink, NothingIsSentBeforeTheOpenOrWithoutARoot) {
    ScriptedDaemon daemon(database);
    TBuffer payload("x", 1);
    EXPECT_FALSE(WEXClientPost(77, payload));
    EXPECT_EQ(daemon.Connections(), 0u);

    SetFolderRoots("", "");  // no database path: every hello fails
    EXPECT_FALSE(WEXClientHandshake());
    EXPECT_EQ(daemon.Connections(), 0u);
}

TEST_F(DaemonLink, RequestsNeedTheTransactionsLayer) {
    ScriptedDaemon daemon(database);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    TBuffer payload("abc", 3);
    TBuffer reply;
    EXPECT_FALSE(WEXClientTransact(120, payload, &reply, nullptr, nullptr, false));
    EXPECT_TRUE(
        Logged("WEXClientTransact> replies cannot be waited for in this build (message 120)"));

    WEXLinkHooks hooks;
    hooks.transact = [](uint32_t id, TStream& p, TStream*, WEXClientEventHandler*, ResultsLog*,
                        bool) { return WEXClientSendFrame(id, 5, p); };
    SetWEXLinkHooks(hooks);
    EXPECT_TRUE(WEXClientTransact(120, payload, &reply, nullptr, nullptr, false));
    ASSERT_TRUE(Echo());
    EXPECT_EQ(daemon.Received()[0], Hello(1) + Words({120, 5, 3}) + "abc" + EchoFrame());
}

TEST_F(DaemonLink, CloseDaemonGivesUpWhenTheLinkStaysUp) {
    ScriptedDaemon::Script script;
    script.closeOnRequest = false;
    ScriptedDaemon daemon(database, script);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    WEXClientOptions::SetStartDaemon(true);
    EXPECT_FALSE(WEXClient::CloseDaemon());
    EXPECT_EQ(WEXClientGetOptions().mayStartDaemon, 0);
    EXPECT_EQ(Sleeps(), std::vector<uint32_t>(300, 100));
    EXPECT_TRUE(Logged("WEXClient::CloseDaemon> the daemon still holds the link after 30000 ms"));
}

}  // namespace

namespace {

// Writes the port into the database's shared-state block, as a daemon publishing it would.
void PublishPort(const std::string& database, uint16_t port, Sys::NamedMutex& mutex,
                 Sys::SharedMemory& memory) {
    SharedStateNames names = SharedStateNamesFor(database);
    Sys::NamedMutex::OpenResult opened = mutex.Create(names.mutex, false);
    ASSERT_NE(opened, Sys::NamedMutex::OpenResult::kFailed);
    ASSERT_TRUE(memory.Open(names.mapping, kSharedStateSize));
    std::lock_guard<Sys::NamedMutex> hold(mutex);
    WEXSharedState block(memory.Data());
    if (opened == Sys::NamedMutex::OpenResult::kCreated)
        block.Initialise(static_cast<uint32_t>(::getpid()));
    block.SetWord(WEXSharedState::kPortOffset, port);
}

}  // namespace

// The port in the block is only a word any process of the user, or a block planted by another
// user, could have written: the client first makes sure the listener there is a process of its
// own user, and says nothing at all, not even the hello with the database's path, to another.
TEST_F(DaemonLink, ANonUserListenerAtThePublishedPortIsToldNothing) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run a listener as another user";
    constexpr uid_t kNobody = 65534;
    testsupport::HeldChild child([](testsupport::HeldChild::Channel& channel) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) return channel.Report(-2);
        testsupport::LoopbackListener listener;
        channel.Report(listener.port());
        // Every byte a connection brings, until the client goes away.
        int fd = listener.Accept();
        int64_t received = 0;
        char buffer[256];
        for (ssize_t r; fd >= 0 && (r = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            received += r;
        channel.Report(fd >= 0 ? received : -3);
    });
    const int64_t port = child.Next();
    ASSERT_GT(port, 0) << "the child could not listen as user " << kNobody;
    Sys::NamedMutex mutex;
    Sys::SharedMemory memory;
    PublishPort(database, static_cast<uint16_t>(port), mutex, memory);

    EXPECT_FALSE(WEXOpenDatabase(StartupOptions()));
    // A connection of the test's own that sends nothing, so that the listener never waits in
    // vain; the client's came first, when it came at all.
    int sentinel = testsupport::ConnectLoopback(static_cast<uint16_t>(port));
    if (sentinel >= 0) ::close(sentinel);
    EXPECT_EQ(WEXClientLinkRefusal(), "the listener on 127.0.0.1:" + std::to_string(port) +
                                          " is not a process of this user (it belongs to user "
                                          "65534); nothing was sent to it");
    EXPECT_EQ(child.Next(), 0) << "bytes reached the other user's listener";
    mutex.Close();
    memory.Close();
}

// A block or lock file that is not this user's alone is never used: the link says why.
TEST_F(DaemonLink, APlantedBlockIsRefusedWithTheReason) {
    SharedStateNames names = SharedStateNamesFor(database);
    const std::string mutexFile =
        Sys::NamedObjectFolder() + "/" + Sys::NamedObjectKey(names.mutex) + ".mutex";
    int fd = ::open(mutexFile.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fchmod(fd, 0666), 0);
    ::close(fd);
    ScriptedDaemon daemon(database);  // refused its block too, it publishes nothing

    EXPECT_FALSE(WEXOpenDatabase(StartupOptions()));
    EXPECT_EQ(WEXClientLinkRefusal(), mutexFile + " is open to other users (mode 0666, not 0600)");
    EXPECT_EQ(daemon.Connections(), 0u);
    ::unlink(mutexFile.c_str());
}
