#include "online/online_access_client.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "configdata/soup_writer.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/main_thread.h"
#include "online/online_client_test_support.h"
#include "platform/kiv/base/log.h"

namespace {

using namespace onlinetest;

class LogCapture {
public:
    LogCapture() {
        id_ = Kiv::Log::AddListener([this](std::string_view line) { lines.emplace_back(line); });
    }
    ~LogCapture() { Kiv::Log::RemoveListener(id_); }
    bool Has(const std::string& part) const {
        for (const auto& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
    std::vector<std::string> lines;

private:
    int id_;
};

class ClientFixture : public ::testing::Test {
protected:
    void SetUp() override {
        InitProcessGlobals("HalvexUtil");
        client.SetServer("127.0.0.1", server.port());
    }
    void Pump(double seconds, double step = 0.05) {
        double end = clock.now + seconds;
        while (clock.now + step / 2 < end) {
            clock.now += step;
            client.Update();
            server.Poll();
        }
    }
    // Connects and answers the login as a server would, up to state 7.
    void LogIn(uint32_t perMinute = 300000, uint32_t perHour = 10800000) {
        ASSERT_TRUE(client.Connect(false));
        Pump(0.2);
        ASSERT_EQ(server.Types(), std::vector<int>{31});
        ChallengeWith(server.GetLocalToken());
        Pump(0.2);
        ASSERT_EQ(server.Types(), (std::vector<int>{31, 2}));
        auto result = StubServer::Message(3);
        result->WriteString("");
        result->WriteU32(1u);
        result->WriteFloat(0.0f);
        server.Send(std::move(result));
        auto settings = StubServer::Message(4);
        settings->WriteString("");
        settings->WriteBool(true);
        settings->WriteU32(perMinute);
        settings->WriteU32(0u);
        settings->WriteU32(perHour);
        server.Send(std::move(settings));
        Pump(0.2);
        ASSERT_EQ(client.GetState(), OnlineAccessClientEndpoint::kConnected);
    }
    void ChallengeWith(const std::string& token, const std::string& error = "") {
        auto challenge = StubServer::Message(1);
        challenge->WriteString(error);
        challenge->WriteString(token);
        server.Send(std::move(challenge));
        // The challenge goes out unscrambled; the client's token keys what follows.
        const Bytes& login = server.received.at(0);
        uint32_t profileLength;
        std::memcpy(&profileLength, login.data() + 1, 4);
        size_t at = 1 + 4 + profileLength;
        uint32_t appLength;
        std::memcpy(&appLength, login.data() + at, 4);
        at += 4 + appLength + 9 + 4;
        if (token.size() >= 8)
            server.SetPeerToken(std::string(login.begin() + at, login.begin() + at + 8));
    }
    void SendToClient(uint8_t type, const std::function<void(TMEPacket&)>& fill) {
        auto m = StubServer::Message(type);
        fill(*m);
        server.Send(std::move(m));
        Pump(0.2);
    }

    FakeClock clock;
    StubServer server{clock.Clock()};
    ScriptedDaemon daemon;
    OnlineAccessClientEndpoint client{daemon, clock.Clock()};
};

TEST_F(ClientFixture, ConnectWithoutProfileOrTicket) {
    LogCapture log;
    daemon.profile = "";
    EXPECT_FALSE(client.Connect(false));
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kNoProfile);
    EXPECT_TRUE(log.Has("OnlineAccessClientEndpoint::Connect> empty profile name"));

    daemon.profile = "alice";
    daemon.ticket = "";
    EXPECT_FALSE(client.Connect(false));
    EXPECT_TRUE(
        log.Has("OnlineAccessClientEndpoint::Connect> not yet authenticated with Brimhold"));
    EXPECT_EQ(daemon.calls.back(), "230 pologin://");
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kLoginNotPossible);
    EXPECT_FALSE(client.HasLoginRequest());

    // A login request that starts keeps the client connecting until it finishes; refused (3)
    // ends in state 3, and the daemon is told to drop it.
    daemon.loginId = 17;
    EXPECT_FALSE(client.Connect(false));
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kConnecting);
    EXPECT_TRUE(client.HasLoginRequest());
    Pump(1.0);
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kConnecting);
    daemon.finished = true;
    daemon.result = 3;
    Pump(0.1);
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kRefused);
    EXPECT_FALSE(client.HasLoginRequest());
    EXPECT_NE(std::find(daemon.calls.begin(), daemon.calls.end(), "231 17"), daemon.calls.end());

    // Success while still without a ticket: the forced reconnect fails and waits 10 seconds.
    daemon.finished = false;
    daemon.result = 0;
    client.Connect(false);
    daemon.finished = true;
    Pump(0.05);
    EXPECT_DOUBLE_EQ(client.GetReconnectWait(), 10.0);
    // Success once a ticket is there: it connects.
    daemon.finished = false;
    client.Connect(true);
    daemon.ticket = "ticket-a";
    daemon.finished = true;
    Pump(0.05);
    EXPECT_GT(client.GetReconnectWait(), 9.0) << "still waiting: no reconnect yet";
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kConnectionLost)
        << "connecting with neither a request nor a link";
    daemon.finished = false;
    client.Connect(true);  // the ticket is there now: connects at once
    Pump(0.2);
    EXPECT_EQ(server.Types(), std::vector<int>{31});
}

TEST_F(ClientFixture, LoginPacketByteForByteThenChallengeResultAndSettings) {
    LogCapture log;
    ASSERT_TRUE(client.Connect(false));
    EXPECT_FALSE(client.Connect(false)) << "already connecting";
    Pump(0.2);
    ASSERT_EQ(server.received.size(), 1u);
    Bytes expected{31, 5, 0, 0, 0, 'a', 'l', 'i', 'c', 'e', 10, 0, 0, 0};
    for (char c : std::string("HalvexUtil"))
        expected.push_back(static_cast<uint8_t>(c));
    for (int i = 0; i < 9; ++i)
        expected.push_back(0);  // float 0.0, u32 0, bool false
    expected.insert(expected.end(), {8, 0, 0, 0});
    std::string token = client.GetLocalToken();
    expected.insert(expected.end(), token.begin(), token.end());
    expected.push_back(4);
    EXPECT_EQ(server.received[0], expected);

    ChallengeWith(server.GetLocalToken());
    Pump(0.2);
    ASSERT_EQ(server.received.size(), 2u);
    Bytes ticket{2, 8, 0, 0, 0, 't', 'i', 'c', 'k', 'e', 't', '-', 'a'};
    EXPECT_EQ(server.received[1], ticket) << "scrambled by the client, unscrambled by the stub";
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kConnecting);

    SendToClient(3, [](TMEPacket& p) {
        p.WriteString("");
        p.WriteU32(3u);
        p.WriteFloat(1.5f);
    });
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kConnected);

    // Settings cut short change nothing.
    SendToClient(4, [](TMEPacket& p) {
        p.WriteString("");
        p.WriteBool(true);
        p.WriteU32(0u);
    });
    EXPECT_TRUE(log.Has("OnlineAccessClientEndpoint::HandlePacket> message 4 cut short; dropped"));
    EXPECT_EQ(client.GetPerMinuteLimit(), OnlineAccessClientEndpoint::kDefaultPerMinute);
    EXPECT_EQ(client.GetPerHourLimit(), OnlineAccessClientEndpoint::kDefaultPerHour);
    EXPECT_FALSE(client.GetServerFlag());

    SendToClient(4, [](TMEPacket& p) {
        p.WriteString("");
        p.WriteBool(true);
        p.WriteU32(1000u);
        p.WriteU32(99u);
        p.WriteU32(50000u);
    });
    EXPECT_TRUE(
        log.Has("OnlineAccessClientEndpoint::HandlePacket> Flood limits set by server "
                "(50000.000000,1000.000000)"));
    EXPECT_EQ(client.GetPerMinuteLimit(), 1000.0);
    EXPECT_EQ(client.GetPerHourLimit(), 50000.0);
    EXPECT_TRUE(client.GetServerFlag());

    client.Disconnect();
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kIdle);
    EXPECT_FALSE(client.GetServerFlag());
    EXPECT_EQ(client.GetPeer(), nullptr);
}

TEST_F(ClientFixture, ChallengeAndLoginRefusals) {
    struct Case {
        const char* name;
        std::string token, error;
        uint8_t laterType;  // 0: none
        std::string laterError;
        uint32_t state;
        bool refusalPosted;
        size_t replies;  // messages the stub received
    };
    const Case cases[] = {
        {"seven-character token", "1234567", "", 0, "",
         OnlineAccessClientEndpoint::kLoginNotPossible, false, 1},
        {"error in the challenge", "", "busy", 0, "", OnlineAccessClientEndpoint::kRefused, false,
         1},
        {"error in the result", "", "", 3, "no", OnlineAccessClientEndpoint::kRefused, true, 2},
        {"error in the settings", "", "", 4, "no", OnlineAccessClientEndpoint::kRefused, true, 2},
    };
    for (const Case& c : cases) {
        FakeClock caseClock;
        StubServer stub(caseClock.Clock());
        ScriptedDaemon d;
        OnlineAccessClientEndpoint oa(d, caseClock.Clock());
        oa.SetServer("127.0.0.1", stub.port());
        auto pump = [&] {
            for (int i = 0; i < 4; ++i) {
                caseClock.now += 0.05;
                oa.Update();
                stub.Poll();
            }
        };
        ASSERT_TRUE(oa.Connect(false));
        pump();
        auto challenge = StubServer::Message(1);
        challenge->WriteString(c.error);
        // An empty token in the table stands for the stub's own.
        challenge->WriteString(c.token.empty() ? stub.GetLocalToken() : c.token);
        stub.Send(std::move(challenge));
        pump();
        if (c.laterType != 0) {
            const Bytes& login = stub.received.at(0);
            stub.SetPeerToken(std::string(login.end() - 9, login.end() - 1));
            auto later = StubServer::Message(c.laterType);
            later->WriteString(c.laterError);
            stub.Send(std::move(later));
            pump();
        }
        EXPECT_EQ(oa.GetState(), c.state) << c.name;
        EXPECT_EQ(std::count(d.calls.begin(), d.calls.end(), "241"), c.refusalPosted ? 1 : 0)
            << c.name;
        EXPECT_EQ(stub.received.size(), c.replies) << c.name;
    }
}

TEST_F(ClientFixture, MessagesGoToTheirClientTheActiveOneOrTheStore) {
    LogCapture log;
    LogIn();
    RecordingClient exact(KUID(10, 20, 3)), active(KUID(99, 99));
    client.AddClient(&exact);
    auto sendMessage = [&](uint8_t type, KUID kuid, const char* text) {
        SendToClient(type, [&](TMEPacket& p) {
            p.WriteKUID(kuid);
            p.WriteString(text);
            TDBTagRef none;
            WriteTagTreeBinary(none, p);
            if (type == 11) {
                p.WriteU32(5u);
                p.WriteBool(true);
            }
        });
    };
    sendMessage(10, KUID(10, 20, 3), "to exact");
    sendMessage(11, KUID(10, 20, 3), "versioned to exact");
    ASSERT_EQ(exact.received.size(), 2u);
    EXPECT_EQ(exact.received[1]->text, "versioned to exact");
    EXPECT_EQ(dynamic_cast<VersionedMessage&>(*exact.received[1]).version, 5u);

    // Another version of the same asset is another client: stored.
    sendMessage(10, KUID(10, 20, 4), "stored plain");
    sendMessage(11, KUID(10, 20, 5), "stored versioned");
    EXPECT_TRUE(log.Has(
        "OnlineAccessClientEndpoint::HandlePacket> Storing Wistrel message for <kuid2:10:20:4>"));
    EXPECT_EQ(client.StoredMessages().size(), 2u);

    // With an active client: plain messages go to it, versioned ones are dropped.
    client.SetActiveClient(&active);
    sendMessage(10, KUID(7, 7), "plain to active");
    sendMessage(11, KUID(7, 7), "versioned dropped");
    ASSERT_EQ(active.received.size(), 1u);
    EXPECT_EQ(active.received[0]->text, "plain to active");
    EXPECT_EQ(client.StoredMessages().size(), 2u);

    // A message cut short is dropped with a line.
    SendToClient(10, [](TMEPacket& p) { p.WriteKUID(KUID(10, 20, 3)); });
    EXPECT_TRUE(log.Has("message 10 cut short; dropped"));
    EXPECT_EQ(exact.received.size(), 2u);

    // A client of the same user and content id, whatever its version, gets the stored ones.
    RecordingClient later(KUID(10, 20, 9));
    client.AddClient(&later);
    ASSERT_EQ(later.received.size(), 2u);
    EXPECT_EQ(later.received[0]->text, "stored plain");
    EXPECT_EQ(later.received[1]->text, "stored versioned");
    EXPECT_TRUE(log.Has(
        "OnlineAccessClientEndpoint::AddClient> replaying stored message for <kuid2:10:20:4>"));
    EXPECT_TRUE(client.StoredMessages().empty());

    RecordingGroup group;
    client.AddGroup(&group);
    client.RemoveClient(&active);
    EXPECT_EQ(group.events, std::vector<std::string>{"client removed"});
    sendMessage(10, KUID(7, 7), "no active any more");
    EXPECT_EQ(active.received.size(), 1u);
    EXPECT_EQ(client.StoredMessages().size(), 1u);
}

TEST_F(ClientFixture, GroupPacketsForUnclaimedCookiesAreLeftExceptAClosedOne) {
    LogIn();
    RecordingGroup mine;
    mine.cookie = "group-1";
    client.AddGroup(&mine);
    size_t before = server.received.size();
    auto cookieOnly = [&](uint8_t type, const char* cookie) {
        SendToClient(type, [&](TMEPacket& p) {
            p.WritePString(Kiv::PString(cookie));
            p.WriteU32(1u);
            p.WritePString(Kiv::PString("bob"));
            p.WriteU32(2u);
        });
    };
    cookieOnly(21, "group-1");
    cookieOnly(23, "group-1");
    cookieOnly(22, "group-1");
    EXPECT_EQ(mine.events,
              (std::vector<std::string>{"opened group-1 [bob:2]", "users [bob:2]", "closed"}));
    EXPECT_EQ(server.received.size(), before) << "claimed: no reply";

    cookieOnly(21, "other");
    cookieOnly(22, "other");
    cookieOnly(23, "other");
    SendToClient(29, [](TMEPacket& p) {
        p.WriteU32(77u);
        p.WritePString(Kiv::PString("made"));
    });
    SendToClient(24, [](TMEPacket& p) {
        p.WriteKUID(KUID(1, 1));
        p.WriteString("x");
        p.WritePString(Kiv::PString("stray"));
        WriteTagTreeBinary(TDBTagRef(), p);
    });
    std::vector<std::string> leaves;
    for (size_t i = before; i < server.received.size(); ++i) {
        TMEPacket p(server.received[i].data(), static_cast<uint32_t>(server.received[i].size()));
        uint8_t type;
        p.ReadU8(type, 0);
        EXPECT_EQ(type, 22);
        leaves.push_back(p.ReadPString().c_str());
    }
    EXPECT_EQ(leaves, (std::vector<std::string>{"other", "other", "made", "stray"}));

    // A creation answer reaches the group whose request it was.
    RecordingGroup created;
    created.request = client.CreateGroup(4);
    EXPECT_EQ(created.request, 1u);
    client.AddGroup(&created);
    SendToClient(29, [&](TMEPacket& p) {
        p.WriteU32(created.request);
        p.WritePString(Kiv::PString("group-9"));
        p.WriteU32(0u);
    });
    EXPECT_EQ(created.events, std::vector<std::string>{"opened group-9 []"});
}

TEST_F(ClientFixture, FloodBudgetsRefuseThenDrainWithTime) {
    LogCapture log;
    LogIn(600, 100000);  // 600 bytes a minute
    VersionedMessage m;
    m.kuid = KUID(3, 4);
    m.text = std::string(200, 'x');
    int sent = 0;
    uint32_t result = 0;
    while ((result = client.SendUserMessage(m)) == OnlineAccessClientEndpoint::kSent)
        ++sent;
    EXPECT_EQ(result, OnlineAccessClientEndpoint::kFlooded);
    EXPECT_EQ(sent, 3) << "sent while the minute budget was not above 600 bytes";
    EXPECT_TRUE(log.Has("flood limit reached; message for <kuid:3:4> not sent"));
    Pump(30.0, 0.5);
    EXPECT_EQ(client.SendUserMessage(m), OnlineAccessClientEndpoint::kSent);
    EXPECT_LT(client.GetMinuteBudget(), 800.0);
}

TEST_F(ClientFixture, SilentServerAndDisconnectNoticeLoseTheConnection) {
    LogIn();
    server.acceptNewPeers = false;
    // The server stops answering: the next packet is resent and given up at 118 s.
    server.socket.Close();
    client.OpenGroup("group-1", 0);
    double start = clock.now;
    while (client.GetState() == OnlineAccessClientEndpoint::kConnected && clock.now < start + 200)
        Pump(0.05);
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kConnectionLost);
    EXPECT_NEAR(clock.now - start, 118.0, 0.5);
}

TEST_F(ClientFixture, ServersDisconnectNoticeGivesState5AndBadHostFailsAtOnce) {
    LogIn();
    server.Reset();  // sends the disconnect notice
    Pump(0.2);
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kConnectionLost);

    LogCapture log;
    client.SetServer("", 5251);
    EXPECT_FALSE(client.Connect(false));
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kConnectionLost);
    EXPECT_TRUE(log.Has("OnlineAccessClientEndpoint::Connect> unable to resolve"));
}

TEST_F(ClientFixture, StoredMessagesAreReadOnFirstUseAndWrittenOnlyWhenChanged) {
    std::string folder = ::testing::TempDir() + "oa_store_" + std::to_string(::getpid());
    std::filesystem::create_directories(folder);
    std::string path = folder + "/oa_messages.dat";
    std::filesystem::remove(path);
    {
        ScriptedDaemon d;
        OnlineAccessClientEndpoint untouched(d, clock.Clock());
        untouched.SetStoredMessagesPath(path);
    }
    EXPECT_FALSE(std::filesystem::exists(path)) << "never used: nothing written";
    {
        ScriptedDaemon d;
        OnlineAccessClientEndpoint readOnly(d, clock.Clock());
        readOnly.SetStoredMessagesPath(path);
        RecordingClient other(KUID(8, 8));
        readOnly.AddClient(&other);  // reads the (missing) file, replays nothing
    }
    EXPECT_FALSE(std::filesystem::exists(path)) << "read but unchanged: nothing written";
    // Stored through the client's own path.
    {
        FakeClock c2;
        StubServer stub(c2.Clock());
        ScriptedDaemon d;
        OnlineAccessClientEndpoint oa(d, c2.Clock());
        oa.SetStoredMessagesPath(path);
        oa.SetServer("127.0.0.1", stub.port());
        ASSERT_TRUE(oa.Connect(false));
        for (int i = 0; i < 4; ++i) {
            c2.now += 0.05;
            oa.Update();
            stub.Poll();
        }
        auto message = StubServer::Message(10);
        message->WriteKUID(KUID(5, 6, 1));
        message->WriteString("for later");
        WriteTagTreeBinary(TDBTagRef(), *message);
        stub.Send(std::move(message));
        for (int i = 0; i < 4; ++i) {
            c2.now += 0.05;
            oa.Update();
            stub.Poll();
        }
        EXPECT_EQ(oa.StoredMessages().size(), 1u);
    }
    ASSERT_TRUE(std::filesystem::exists(path));
    {
        ScriptedDaemon d;
        OnlineAccessClientEndpoint next(d, clock.Clock());
        next.SetStoredMessagesPath(path);
        RecordingClient same(KUID(5, 6, 3));
        next.AddClient(&same);
        ASSERT_EQ(same.received.size(), 1u);
        EXPECT_EQ(same.received[0]->text, "for later");
        EXPECT_NE(dynamic_cast<VersionedMessage*>(same.received[0].get()), nullptr);
    }
    {
        ScriptedDaemon d;
        OnlineAccessClientEndpoint after(d, clock.Clock());
        after.SetStoredMessagesPath(path);
        EXPECT_TRUE(after.StoredMessages().empty()) << "the replay was saved";
    }
    std::filesystem::remove_all(folder);
}

}  // namespace
