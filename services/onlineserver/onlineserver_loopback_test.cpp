// The client of online/ against the stand-in server, through a relay that can lose, duplicate
// and reorder datagrams, all on a fake clock. The two sides share no wire code, so a table
// misread on either side fails here.
#include <gtest/gtest.h>

#include "configdata/tdb_container_tag.h"
#include "foundation/main_thread.h"
#include "online/online_client_test_support.h"
#include "services/onlineserver/online_server.h"
#include "tests/support/lossy_relay.h"

namespace {

using namespace onlinetest;
using onlineserver::OnlineServer;
using testsupport::LossyRelay;

const KUID kLibrary(4242, 77, 1);

struct User {
    User(const std::string& name, const std::string& ticket, FakeClock& clock, uint16_t serverPort,
         LossyRelay::Schedule schedule)
        : relay(serverPort, schedule), client(daemon, clock.Clock()), script(kLibrary) {
        daemon.profile = name;
        daemon.ticket = ticket;
        client.SetServer("127.0.0.1", relay.ClientPort());
        client.AddClient(&script);
    }
    ~User() { client.RemoveClient(&script); }
    ScriptedDaemon daemon;
    LossyRelay relay;
    OnlineAccessClientEndpoint client;
    RecordingClient script;
};

class Loopback : public ::testing::Test {
protected:
    void SetUp() override {
        InitProcessGlobals("HalvexUtil");
        server.AddAccount("alice", "ticket-a");
        server.AddAccount("bob", "ticket-b");
        server.AddAccount("carol", "ticket-c");
        ASSERT_TRUE(server.Open());
    }
    std::unique_ptr<User> Make(const std::string& name, const std::string& ticket,
                               LossyRelay::Schedule schedule = {}) {
        auto user = std::make_unique<User>(name, ticket, clock, server.Port(), schedule);
        users.push_back(user.get());
        return user;
    }
    void Step(double dt = 0.02) {
        clock.now += dt;
        for (User* u : users)
            u->client.Update();
        for (User* u : users)
            u->relay.Pump(clock.now);
        server.Poll(clock.now);
        for (User* u : users)
            u->relay.Pump(clock.now);
    }
    void Run(double seconds, double dt = 0.02) {
        double end = clock.now + seconds;
        while (clock.now < end)
            Step(dt);
    }
    template <typename Done>
    bool RunUntil(Done done, double limit) {
        double end = clock.now + limit;
        while (!done() && clock.now < end)
            Step();
        return done();
    }
    bool LogInBoth(User& a, User& b, double limit) {
        a.client.Connect(false);
        b.client.Connect(false);
        return RunUntil(
            [&] {
                return a.client.GetState() == OnlineAccessClientEndpoint::kConnected &&
                       b.client.GetState() == OnlineAccessClientEndpoint::kConnected;
            },
            limit);
    }
    void Forget(User* u) { users.erase(std::find(users.begin(), users.end(), u)); }

    FakeClock clock;
    OnlineServer server{onlineserver::ServerOptions{}};
    std::vector<User*> users;
};

VersionedMessage To(const std::string& user, const std::string& note, uint32_t version = 0) {
    VersionedMessage m;
    m.kuid = kLibrary;
    m.text = user;
    m.payload = Note(note);
    m.version = version;
    m.flag = true;
    return m;
}

TEST_F(Loopback, LoginAndAMessageEachWay) {
    auto alice = Make("alice", "ticket-a");
    auto bob = Make("bob", "ticket-b");
    ASSERT_TRUE(LogInBoth(*alice, *bob, 5));
    EXPECT_TRUE(alice->client.GetServerFlag());
    EXPECT_EQ(server.UsersOnline().size(), 2u);

    EXPECT_EQ(alice->client.SendUserMessage(To("bob", "hello bob", 3)), 0u);
    EXPECT_EQ(bob->client.SendUserMessage(To("alice", "hello alice")), 0u);
    ASSERT_TRUE(RunUntil(
        [&] { return !alice->script.received.empty() && !bob->script.received.empty(); }, 5));
    auto& toBob = dynamic_cast<VersionedMessage&>(*bob->script.received[0]);
    EXPECT_EQ(toBob.text, "alice") << "the text names the sender on the way in";
    EXPECT_EQ(NoteOf(toBob), "hello bob");
    EXPECT_EQ(toBob.version, 3u);
    EXPECT_TRUE(toBob.flag);
    EXPECT_EQ(toBob.kuid, kLibrary);
    EXPECT_EQ(NoteOf(*alice->script.received[0]), "hello alice");
}

TEST_F(Loopback, RefusedProfileAndTicketAndAMessageKeptForAnOfflineUser) {
    auto stranger = Make("mallory", "x");
    auto wrong = Make("bob", "not-bobs");
    stranger->client.Connect(false);
    wrong->client.Connect(false);
    Run(2);
    EXPECT_EQ(stranger->client.GetState(), OnlineAccessClientEndpoint::kRefused);
    EXPECT_EQ(wrong->client.GetState(), OnlineAccessClientEndpoint::kRefused);
    EXPECT_EQ(std::count(wrong->daemon.calls.begin(), wrong->daemon.calls.end(), "241"), 1);

    auto alice = Make("alice", "ticket-a");
    alice->client.Connect(false);
    ASSERT_TRUE(RunUntil(
        [&] { return alice->client.GetState() == OnlineAccessClientEndpoint::kConnected; }, 5));
    alice->client.SendUserMessage(To("carol", "while you were out"));
    ASSERT_TRUE(RunUntil([&] { return server.StoredCount("carol") == 1; }, 5));

    // Carol's script is not running: the message is stored at her client, then replayed.
    auto carol = Make("carol", "ticket-c");
    carol->client.RemoveClient(&carol->script);
    carol->client.Connect(false);
    ASSERT_TRUE(RunUntil([&] { return carol->client.StoredMessages().size() == 1; }, 5));
    RecordingClient later(KUID(4242, 77, 5));
    carol->client.AddClient(&later);
    ASSERT_EQ(later.received.size(), 1u);
    EXPECT_EQ(later.received[0]->text, "alice");
    EXPECT_EQ(NoteOf(*later.received[0]), "while you were out");
    EXPECT_EQ(dynamic_cast<VersionedMessage*>(later.received[0].get()), nullptr)
        << "kept by the server, it comes as a plain message";
    carol->client.RemoveClient(&later);
}

TEST_F(Loopback, GroupCreateOpenMessageUsersAndLeave) {
    auto alice = Make("alice", "ticket-a");
    auto bob = Make("bob", "ticket-b");
    ASSERT_TRUE(LogInBoth(*alice, *bob, 5));

    RecordingGroup mine, theirs;
    alice->client.AddGroup(&mine);
    bob->client.AddGroup(&theirs);
    mine.request = alice->client.CreateGroup(0);
    ASSERT_NE(mine.request, 0u);
    ASSERT_TRUE(RunUntil([&] { return !mine.cookie.empty(); }, 5));
    EXPECT_EQ(mine.events, std::vector<std::string>{"opened group-1 [alice]"});

    theirs.cookie = mine.cookie;  // told out of band
    bob->client.OpenGroup(theirs.cookie, 2);
    ASSERT_TRUE(RunUntil([&] { return theirs.events.size() == 1 && mine.events.size() == 2; }, 5));
    EXPECT_EQ(theirs.events[0], "opened group-1 [alice,bob:2]");
    EXPECT_EQ(mine.events[1], "users [alice,bob:2]");

    GroupMessage m;
    m.kuid = kLibrary;
    m.text = "ignored";
    m.cookie = mine.cookie;
    m.payload = Note("to the group");
    EXPECT_EQ(alice->client.SendGroupMessage(m), 0u);
    ASSERT_TRUE(RunUntil([&] { return theirs.messages.size() == 1; }, 5));
    EXPECT_EQ(theirs.messages[0]->text, "alice");
    EXPECT_EQ(theirs.messages[0]->cookie, "group-1");
    EXPECT_EQ(NoteOf(*theirs.messages[0]), "to the group");

    alice->client.SetGroupUserMode(mine.cookie, "bob", 3, 1);
    ASSERT_TRUE(RunUntil([&] { return theirs.events.size() == 3; }, 5));
    EXPECT_EQ(theirs.events[2], "users [alice,bob:1]");

    bob->client.LeaveGroup(theirs.cookie);
    ASSERT_TRUE(RunUntil([&] { return mine.events.size() == 4; }, 5));
    EXPECT_EQ(mine.events[3], "users [alice]");

    // The owner leaving closes the group.
    alice->client.LeaveGroup(mine.cookie);
    ASSERT_TRUE(RunUntil([&] { return server.GroupCount() == 0; }, 5));
    bob->client.RemoveGroup(&theirs);
    alice->client.RemoveGroup(&mine);
}

TEST_F(Loopback, EveryMessageArrivesOnceAndInOrderThroughLossDuplicatesAndReordering) {
    LossyRelay::Schedule rough{7, 0.10, 0.10, 0.3};
    auto alice = Make("alice", "ticket-a", rough);
    auto bob = Make("bob", "ticket-b", LossyRelay::Schedule{11, 0.10, 0.10, 0.3});
    ASSERT_TRUE(LogInBoth(*alice, *bob, 60));
    const int kCount = 300;  // past 255: the sequence numbers wrap
    for (int i = 0; i < kCount; ++i) {
        // Some large enough to travel in several fragments.
        std::string note = std::to_string(i) + std::string(i % 10 == 0 ? 3000 : 10, '.');
        ASSERT_EQ(alice->client.SendUserMessage(To("bob", note)), 0u);
        ASSERT_EQ(bob->client.SendUserMessage(To("alice", note)), 0u);
        Step();
    }
    ASSERT_TRUE(RunUntil(
        [&] {
            return bob->script.received.size() >= kCount && alice->script.received.size() >= kCount;
        },
        300));
    Run(10);
    ASSERT_EQ(bob->script.received.size(), static_cast<size_t>(kCount));
    ASSERT_EQ(alice->script.received.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        std::string note = std::to_string(i) + std::string(i % 10 == 0 ? 3000 : 10, '.');
        EXPECT_EQ(NoteOf(*bob->script.received[i]), note) << i;
        EXPECT_EQ(NoteOf(*alice->script.received[i]), note) << i;
    }
    EXPECT_GT(alice->relay.ToServer().dropped, 0u);
    EXPECT_GT(alice->relay.ToServer().duplicated, 0u);
    EXPECT_GT(bob->relay.ToClient().dropped, 0u);
    EXPECT_EQ(alice->client.GetState(), OnlineAccessClientEndpoint::kConnected);
}

TEST_F(Loopback, ASilentServerResetsTheClientAtTheRightTimes) {
    auto alice = Make("alice", "ticket-a");
    auto bob = Make("bob", "ticket-b");
    ASSERT_TRUE(LogInBoth(*alice, *bob, 5));
    Run(2);  // every ack through
    alice->relay.SetOpen(false);
    bob->relay.SetOpen(false);
    double start = clock.now;
    // Alice has a message in flight: given up after its fifth send, 118 s after the first.
    alice->client.SendUserMessage(To("bob", "into the void"));
    ASSERT_TRUE(RunUntil(
        [&] { return alice->client.GetState() == OnlineAccessClientEndpoint::kConnectionLost; },
        200));
    EXPECT_NEAR(clock.now - start, 118.0, 0.2);
    // Bob only sends keep-alives: given up 300 s after he last heard anything.
    ASSERT_TRUE(RunUntil(
        [&] { return bob->client.GetState() == OnlineAccessClientEndpoint::kConnectionLost; },
        400));
    EXPECT_NEAR(clock.now - start, 300.0, 2.5);
}

TEST_F(Loopback, TheServersDisconnectNoticeLosesTheConnection) {
    auto alice = Make("alice", "ticket-a");
    alice->client.Connect(false);
    ASSERT_TRUE(RunUntil(
        [&] { return alice->client.GetState() == OnlineAccessClientEndpoint::kConnected; }, 5));
    ASSERT_TRUE(server.Disconnect("alice", clock.now));
    ASSERT_TRUE(RunUntil(
        [&] { return alice->client.GetState() == OnlineAccessClientEndpoint::kConnectionLost; },
        1));
    Run(1);
    EXPECT_EQ(server.SessionCount(), 0u);

    // Disconnecting from the client's side ends the server's session too.
    alice->client.Connect(false);
    ASSERT_TRUE(RunUntil(
        [&] { return alice->client.GetState() == OnlineAccessClientEndpoint::kConnected; }, 5));
    alice->client.Disconnect();
    EXPECT_EQ(alice->client.GetState(), OnlineAccessClientEndpoint::kIdle);
    ASSERT_TRUE(RunUntil([&] { return server.SessionCount() == 0; }, 1));
}

}  // namespace
