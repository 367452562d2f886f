// A library script reaching the online-access server as a user does: compiled by our compiler,
// run in a HalvexScriptContext, its OnlineAccess object got through Library.GetOnlineAccess,
// logged in with the profile stored through the real daemon, talking to a second client (a
// bare client of online/) through the stand-in server: in-process on a fake clock for the
// natives' behaviour, and the real server program on the real clock for the whole road.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "assetdb/data_folders.h"
#include "assetdb/online_daemon_link.h"
#include "assetdb/settings_requests.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/main_thread.h"
#include "online/offline_box.h"
#include "online/online_client_test_support.h"
#include "script/natives/gso_online_access.h"
#include "script/world/gso_library.h"
#include "script/world/world_test_support.h"
#include "services/onlineserver/online_server.h"
#include "tests/support/log_lines.h"
#include "tests/support/server_process.h"

namespace {

namespace fs = std::filesystem;
using HalvexWorld::GSOLibrary;
using HalvexWorld::HalvexScriptContext;
using onlinetest::FakeClock;
using onlinetest::Note;
using onlinetest::NoteOf;
using onlinetest::RecordingClient;
using onlinetest::ScriptedDaemon;

// Every function takes its arguments as strings and answers a string, so the test calls it by
// name through the library's call dispatch.
const char* const kChatLibrary = R"(include "Halvex.gs"
include "Constructors.gs"

game class ChatLib isclass Library
{
  OnlineAccess online;
  OnlineGroup group;

  Soup Note(string text) { Soup s = ConstructorsBase.NewSoup(); s.SetNamedTag("note", text); return s; }
  string Taken(int r, string from, Soup m) { return "" + r + ":" + from + ":" + m.GetNamedTag("note"); }

  public string Connect(string[] s, GSObject[] o) { online = GetOnlineAccess(); online.Connect(); return "" + online.GetStatus(); }
  public string Status(string[] s, GSObject[] o) {
    string multi = "single";
    if (online.CanAccessMultiplayer()) multi = "multi";
    return "" + online.GetStatus() + " " + multi;
  }
  public string Same(string[] s, GSObject[] o) { if (GetOnlineAccess() == online) return "same"; return "other"; }
  public string Drop(string[] s, GSObject[] o) { online = null; group = null; return ""; }
  public string Disconnect(string[] s, GSObject[] o) { online.Disconnect(); return "" + online.GetStatus(); }
  public string User(string[] s, GSObject[] o) { return online.GetUsername(); }
  public string Post(string[] s, GSObject[] o) { return "" + online.PostMessage(s[0], Note(s[1])); }
  public string PostHuge(string[] s, GSObject[] o) {
    Soup top = ConstructorsBase.NewSoup();
    Soup at = top;
    int i;
    for (i = 0; i < 40; i++) {
      Soup next = ConstructorsBase.NewSoup();
      at.SetNamedSoup("a", next);
      at.SetNamedSoup("b", next);
      at = next;
    }
    return "" + online.PostMessage("bob", top);
  }
  public string Collect(string[] s, GSObject[] o) {
    string from = s[0];
    Soup m = ConstructorsBase.NewSoup();
    return Taken(online.CollectMessage(from, m), from, m);
  }
  public string SetLocal(string[] s, GSObject[] o) { return "" + online.SetLocalData(s[0], Note(s[1])); }
  public string GetLocal(string[] s, GSObject[] o) {
    Soup m = ConstructorsBase.NewSoup();
    m.SetNamedTag("note", "stale");
    return Taken(online.GetLocalData(s[0], m), s[0], m);
  }
  public string Profile(string[] s, GSObject[] o) {
    Soup m = ConstructorsBase.NewSoup();
    return "" + online.GetProfileData("bob", m) + online.SetProfileData("bob", m);
  }
  public string PostOffline(string[] s, GSObject[] o) {
    Soup m = Note(s[1]);
    if (s[0] != "") m.SetNamedTag("username", s[0]);
    return "" + online.PostOfflineMessage(m);
  }
  public string CollectOffline(string[] s, GSObject[] o) {
    Soup m = ConstructorsBase.NewSoup();
    return Taken(online.CollectOfflineMessage(m), "", m);
  }
  public string Create(string[] s, GSObject[] o) { group = online.CreateGroup(0); return "" + group.GetStatus(); }
  public string Open(string[] s, GSObject[] o) { group = online.OpenGroup(s[0], 0); return "" + group.GetStatus(); }
  public string Group(string[] s, GSObject[] o) {
    string users = "";
    int i;
    for (i = 0; i < group.CountUsers(); i++) users = users + group.GetIndexedUser(i) + "/" + group.GetUserStatus(i) + ",";
    return "" + group.GetStatus() + ":" + group.GetOnlineGroupCookie() + ":" + users + group.FindUser("bob");
  }
  public string GroupPost(string[] s, GSObject[] o) { return "" + group.PostMessage(Note(s[0])); }
  public string GroupCollect(string[] s, GSObject[] o) {
    string from = s[0];
    Soup m = ConstructorsBase.NewSoup();
    return Taken(group.CollectMessage(from, m), from, m);
  }
  public string Leave(string[] s, GSObject[] o) { group.Disconnect(); return "" + group.GetStatus(); }
  public string Rejoin(string[] s, GSObject[] o) { group.Connect(); return "" + group.GetStatus(); }
};
)";

const KUID kChat{424242, 31};

// The script world with the real OnlineAccess and OnlineGroup classes and a library asset of
// kChatLibrary; the profile "alice" is stored as registeraccount stores it, with her ticket.
class OnlineWorld : public worldtest::ScriptWorldTest {
protected:
    void SetUp() override {
        InitProcessGlobals("HalvexUtil");
        ScriptWorldTest::SetUp();
        if (HasFatalFailure()) return;
        static const bool registered = [] {
            ScriptNatives::RegisterOnlineAccessNatives(GSRuntime::GSNativeRegistry::Get());
            ScriptNatives::RegisterOnlineGroupNatives(GSRuntime::GSNativeRegistry::Get());
            return true;
        }();
        (void)registered;
        BuildLibraries(
            {{"OnlineAccess.gs", GSRuntime::testing::ReadLibrarySource("OnlineAccess.gs")},
             {"OnlineGroup.gs", GSRuntime::testing::ReadLibrarySource("OnlineGroup.gs")},
             {"chatlib.gs", kChatLibrary}});
        if (HasFatalFailure()) return;
        ScriptNatives::SetClassSlot(ScriptNatives::kOnlineAccess,
                                    Class("onlineaccess.gsl", "OnlineAccess"));
        ScriptNatives::SetClassSlot(ScriptNatives::kOnlineGroup,
                                    Class("onlinegroup.gsl", "OnlineGroup"));
        const std::string folder = Source("chatlib");
        fs::create_directories(folder);
        std::ofstream(folder + "/config.txt", std::ios::binary)
            << "kuid " << kChat.ToString().c_str()
            << "\nkind \"library\"\nusername \"chatlib\"\nscript \"chatlib.gs\"\nclass "
               "\"ChatLib\"\n";
        std::ofstream(folder + "/chatlib.gs", std::ios::binary) << kChatLibrary;
        Install(folder);
        StoreLogin("alice", "ticket-a");
    }
    void TearDown() override {
        ScriptWorldTest::TearDown();
        ScriptNatives::SetScriptOnlineClient(nullptr);
        ScriptNatives::SetClassSlot(ScriptNatives::kOnlineAccess, nullptr);
        ScriptNatives::SetClassSlot(ScriptNatives::kOnlineGroup, nullptr);
    }

    // What registeraccount stores, and the ticket a sign-in would leave beside it.
    static void StoreLogin(const char* user, const char* ticket) {
        ASSERT_TRUE(WEXStoreOnlineLogin(user, "secret"));
        TDBTagRef internet;
        ASSERT_TRUE(WEXClient::ReadSettings(kWEXSettingsInternet, internet));
        TDBContainerTag::SetString(internet, Kiv::PString(kWEXSettingOnlineTicket),
                                   Kiv::PString(ticket));
        ASSERT_TRUE(WEXClient::WriteSettings(kWEXSettingsInternet, internet));
    }

    GSOLibrary* OpenLibrary() {
        context = NewContext();
        GSOLibrary* lib = context->GetScriptLibrary(kChat);
        EXPECT_NE(lib, nullptr);
        return lib;
    }
    std::string Run(GSOLibrary* lib, const std::string& function,
                    const std::vector<std::string>& args = {}) {
        GSRuntime::SetCurrentContext(context);
        GSRuntime::Ref words = GSRuntime::GSArray::Make(context, 1);
        auto* a = GSRuntime::GSArray::From(words);
        a->Resize(static_cast<uint32_t>(args.size()));
        for (size_t i = 0; i < args.size(); ++i)
            a->elements[i] = GSRuntime::GSString::Make(args[i]);
        std::string result = lib->LibraryCall(function, words, 0);
        GSRuntime::ReleaseReference(words);
        return result;
    }
    static size_t BoxSize(const char* file) {
        StoredMessageList box;
        EXPECT_TRUE(ReadOfflineBox(BoxPath(file), box));
        return box.size();
    }
    static std::string BoxPath(const char* file) {
        return std::string(GetCacheFolder().str()) + "/" + file;
    }

    // Makes a client of the test's the scripts' one while it lives; the context goes before
    // the client does, also when the test stops early.
    struct ScriptClient {
        ScriptClient(OnlineWorld& world, OnlineAccessClientEndpoint& client) : world(world) {
            ScriptNatives::SetScriptOnlineClient(&client);
        }
        ~ScriptClient() {
            if (world.context != nullptr) world.DropContext(world.context);
            world.context = nullptr;
            ScriptNatives::SetScriptOnlineClient(nullptr);
        }
        OnlineWorld& world;
    };

    HalvexScriptContext* context = nullptr;
};

// The stand-in server in this process and the script's client on a fake clock; bob is a bare
// client whose script is the same library.
class OnlineWorldLoopback : public OnlineWorld {
protected:
    void SetUp() override {
        OnlineWorld::SetUp();
        if (HasFatalFailure()) return;
        server.AddAccount("alice", "ticket-a");
        server.AddAccount("bob", "ticket-b");
        ASSERT_TRUE(server.Open());
        client.SetServer("127.0.0.1", server.Port());
        ScriptNatives::SetScriptOnlineClient(&client);
        bobsDaemon.profile = "bob";
        bobsDaemon.ticket = "ticket-b";
        bob.SetServer("127.0.0.1", server.Port());
        bob.AddClient(&bobsScript);
    }
    void TearDown() override {
        bob.RemoveGroup(&bobsGroup);
        bob.RemoveClient(&bobsScript);
        OnlineWorld::TearDown();
    }
    void Step() {
        clock.now += 0.02;
        if (context != nullptr) context->Update();
        bob.Update();
        server.Poll(clock.now);
    }
    // The condition may take what it looks for (a collect), so it is asked once a step.
    template <typename Done>
    bool RunUntil(Done done, double limit = 10) {
        for (const double end = clock.now + limit; !done(); Step())
            if (clock.now >= end) return false;
        return true;
    }
    size_t Waiting() const {
        auto* object = ScriptNatives::GSOOnlineAccess::Live(context, kChat);
        return object != nullptr ? object->WaitingCount() : 0;
    }
    bool BothOnline(GSOLibrary* lib) {
        Run(lib, "Connect");
        bob.Connect(false);
        return RunUntil([&] {
            return client.GetState() == OnlineAccessClientEndpoint::kConnected &&
                   bob.GetState() == OnlineAccessClientEndpoint::kConnected;
        });
    }

    FakeClock clock;
    onlineserver::OnlineServer server{onlineserver::ServerOptions{}};
    WEXOnlineDaemon daemon;
    OnlineAccessClientEndpoint client{daemon, clock.Clock()};
    ScriptedDaemon bobsDaemon;
    OnlineAccessClientEndpoint bob{bobsDaemon, clock.Clock()};
    RecordingClient bobsScript{kChat};
    onlinetest::RecordingGroup bobsGroup;
};

TEST_F(OnlineWorldLoopback, ConnectsWithTheStoredProfileAndTalksToAnotherUser) {
    GSOLibrary* lib = OpenLibrary();
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(Run(lib, "Connect"), "1") << "connecting";
    EXPECT_EQ(Run(lib, "Status"), "1 single");
    EXPECT_EQ(Run(lib, "Same"), "same") << "one object per library while the script holds it";
    EXPECT_EQ(Run(lib, "User"), "alice");
    EXPECT_EQ(Run(lib, "Post", {"bob", "too soon"}), "1") << "not online yet";
    ASSERT_TRUE(BothOnline(lib));
    EXPECT_EQ(Run(lib, "Status"), "2 multi");

    {
        // Forty levels of soups each holding the next twice would be sent as 2^41 tags.
        GSRuntime::testing::LogCapture capture;
        EXPECT_EQ(Run(lib, "PostHuge"), "") << "the script fails";
        bool refused = false;
        for (const std::string& l : GSRuntime::testing::LogCapture::lines())
            refused |= l.find("OnlineAccess.PostMessage> soup holds more than 1000000 tags") !=
                       std::string::npos;
        EXPECT_TRUE(refused);
    }
    EXPECT_EQ(Run(lib, "Post", {"bob", "hello bob"}), "0");
    ASSERT_TRUE(RunUntil([&] { return !bobsScript.received.empty(); }));
    EXPECT_EQ(bobsScript.received[0]->text, "alice");
    EXPECT_EQ(NoteOf(*bobsScript.received[0]), "hello bob");

    for (const char* note : {"first", "second"}) {
        VersionedMessage m;
        m.kuid = kChat;
        m.text = "alice";
        m.payload = Note(note);
        ASSERT_EQ(bob.SendUserMessage(m), 0u);
    }
    ASSERT_TRUE(RunUntil([&] { return Waiting() == 2; }));
    EXPECT_EQ(Run(lib, "Collect", {"nobody"}), "2:nobody:") << "nothing from a silent user";
    EXPECT_EQ(Run(lib, "Collect", {""}), "0:bob:first") << "the sender is written in place";
    EXPECT_EQ(Run(lib, "Collect", {"bob"}), "0:bob:second");
    EXPECT_EQ(Run(lib, "Collect", {""}), "2::");

    // A message that arrives while the library holds no OnlineAccess object is stored, and
    // replayed to the next one.
    Run(lib, "Drop");
    ASSERT_EQ(ScriptNatives::GSOOnlineAccess::Live(context, kChat), nullptr);
    VersionedMessage later;
    later.kuid = kChat;
    later.text = "alice";
    later.payload = Note("while away");
    ASSERT_EQ(bob.SendUserMessage(later), 0u);
    ASSERT_TRUE(RunUntil([&] { return client.StoredMessages().size() == 1; }));
    EXPECT_EQ(Run(lib, "Connect"), "2");
    EXPECT_EQ(Run(lib, "Collect", {""}), "0:bob:while away");
    EXPECT_TRUE(client.StoredMessages().empty());

    EXPECT_EQ(Run(lib, "Disconnect"), "0");
    EXPECT_EQ(Run(lib, "Status"), "0 single");
}

TEST_F(OnlineWorldLoopback, GroupsCreateOpenTalkListAndLeave) {
    GSOLibrary* lib = OpenLibrary();
    ASSERT_NE(lib, nullptr);
    ASSERT_TRUE(BothOnline(lib));
    EXPECT_EQ(Run(lib, "Create"), "1") << "opening";
    ASSERT_TRUE(RunUntil([&] { return Run(lib, "Group").rfind("2:", 0) == 0; }));
    const std::string created = Run(lib, "Group");
    EXPECT_EQ(created.substr(created.find(":", 2)), ":alice/0,-1") << created;
    const std::string cookie = created.substr(2, created.find(":", 2) - 2);
    ASSERT_FALSE(cookie.empty());

    bobsGroup.cookie = cookie;
    bob.AddGroup(&bobsGroup);
    ASSERT_TRUE(bob.OpenGroup(cookie, 0));
    ASSERT_TRUE(RunUntil([&] { return Run(lib, "Group") == "2:" + cookie + ":alice/0,bob/0,1"; }));

    EXPECT_EQ(Run(lib, "GroupPost", {"to the group"}), "0");
    ASSERT_TRUE(RunUntil([&] { return !bobsGroup.messages.empty(); }));
    EXPECT_EQ(NoteOf(*bobsGroup.messages[0]), "to the group");
    GroupMessage reply;
    reply.kuid = kChat;
    reply.cookie = cookie;
    reply.payload = Note("back");
    ASSERT_EQ(bob.SendGroupMessage(reply), 0u);
    std::string got;
    ASSERT_TRUE(RunUntil([&] { return (got = Run(lib, "GroupCollect", {""})) != "2::"; }));
    EXPECT_EQ(got, "0:bob:back");

    EXPECT_EQ(Run(lib, "Leave"), "0");
    ASSERT_TRUE(RunUntil([&] { return server.GroupCount() == 0; }))
        << "the owner left, so the group closed";
    EXPECT_EQ(Run(lib, "GroupPost", {"after leaving"}), "1");

    // A group opened again by its cookie, when the server no longer has it, is refused.
    EXPECT_EQ(Run(lib, "Rejoin"), "1");
    ASSERT_TRUE(RunUntil([&] { return Run(lib, "Group").rfind("0:", 0) == 0; }));
}

TEST_F(OnlineWorldLoopback, LocalDataProfileDataAndTheOfflineBoxes) {
    GSOLibrary* lib = OpenLibrary();
    ASSERT_NE(lib, nullptr);
    Run(lib, "Connect");
    EXPECT_EQ(Run(lib, "GetLocal", {"best"}), "0:best:") << "nothing stored: an empty soup";
    EXPECT_EQ(Run(lib, "SetLocal", {"best", "42 points"}), "0");
    EXPECT_EQ(Run(lib, "GetLocal", {"best"}), "0:best:42 points");

    testsupport::LogLines log;
    EXPECT_EQ(Run(lib, "Profile"), "33");
    bool logged = false;
    for (const std::string& l : log.lines)
        logged |= l.find(
                      "OnlineAccess.GetProfileData> profile data is not available in this "
                      "build") != std::string::npos;
    EXPECT_TRUE(logged);

    // An outbox that is someone else's file is left alone: nothing is kept in it.
    std::ofstream(BoxPath(kOfflineOutboxFile), std::ios::binary) << "someone else's";
    EXPECT_EQ(Run(lib, "PostOffline", {"bob", "refused"}), "1");
    std::ifstream foreign(BoxPath(kOfflineOutboxFile), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(foreign), {}), "someone else's");
    fs::remove(BoxPath(kOfflineOutboxFile));

    // Posted while offline, sent once online, in order.
    EXPECT_EQ(Run(lib, "PostOffline", {"", "nobody named"}), "1");
    EXPECT_EQ(Run(lib, "PostOffline", {"bob", "kept one"}), "0");
    EXPECT_EQ(Run(lib, "PostOffline", {"bob", "kept two"}), "0");
    EXPECT_EQ(BoxSize(kOfflineOutboxFile), 2u);
    ASSERT_TRUE(BothOnline(lib));
    ASSERT_TRUE(RunUntil([&] { return bobsScript.received.size() == 2; }));
    EXPECT_EQ(NoteOf(*bobsScript.received[0]), "kept one");
    EXPECT_EQ(NoteOf(*bobsScript.received[1]), "kept two");
    EXPECT_EQ(BoxSize(kOfflineOutboxFile), 0u);

    // What the script did not collect before its object went waits in the inbox for a later
    // run of the same asset.
    EXPECT_EQ(Run(lib, "CollectOffline"), "2::");
    VersionedMessage m;
    m.kuid = kChat;
    m.text = "alice";
    m.payload = Note("uncollected");
    ASSERT_EQ(bob.SendUserMessage(m), 0u);
    ASSERT_TRUE(RunUntil([&] { return Waiting() == 1; }));
    EXPECT_FALSE(fs::exists(BoxPath(kOfflineInboxFile)));
    DropContext(context);
    ASSERT_EQ(BoxSize(kOfflineInboxFile), 1u);
    lib = OpenLibrary();
    ASSERT_NE(lib, nullptr);
    Run(lib, "Connect");
    EXPECT_EQ(Run(lib, "CollectOffline"), "0::uncollected");
    EXPECT_EQ(Run(lib, "CollectOffline"), "2::");
    EXPECT_EQ(BoxSize(kOfflineInboxFile), 0u);
}

TEST_F(OnlineWorld, WithoutAProfileOrATicketTheScriptSeesWhyItCannotLogIn) {
    WEXOnlineDaemon daemon;
    FakeClock clock;
    OnlineAccessClientEndpoint client(daemon, clock.Clock());
    ScriptClient use(*this, client);
    GSOLibrary* lib = OpenLibrary();
    ASSERT_NE(lib, nullptr);
    // The order of the user's roads: no profile, then a profile but no ticket, which asks the
    // daemon for a login it cannot start.
    StoreLogin("", "");
    EXPECT_EQ(Run(lib, "Connect"), "4");
    EXPECT_EQ(Run(lib, "User"), "");
    StoreLogin("alice", "");
    EXPECT_EQ(Run(lib, "Connect"), "5");
    EXPECT_EQ(Run(lib, "Status"), "5 single");
    EXPECT_EQ(Run(lib, "Post", {"bob", "nowhere"}), "1");
    EXPECT_EQ(Run(lib, "Create"), "0") << "a group that could not be asked for is closed";
}

// The whole road: the staged server program on the real clock, the script's client the
// program's own, asked through the real daemon for the profile and ticket.
double RealSeconds() {
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(OnlineWorld, ALibraryScriptLogsInThroughTheServerProgramAndExchangesAMessage) {
    testsupport::ServerProcess program(
        HALVEX_STAGE_DIR "/bin/onlineserver",
        {"--port", "0", "--account", "alice:ticket-a", "--account", "bob:ticket-b"});
    const std::string line = program.FirstLine();
    unsigned port = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "onlineserver listening on 127.0.0.1 port %u", &port), 1)
        << line;
    WEXOnlineDaemon daemon;
    OnlineAccessClientEndpoint client(daemon, RealSeconds);
    client.SetServer("127.0.0.1", static_cast<uint16_t>(port));
    ScriptedDaemon bobsDaemon;
    bobsDaemon.profile = "bob";
    bobsDaemon.ticket = "ticket-b";
    OnlineAccessClientEndpoint bob(bobsDaemon, RealSeconds);
    bob.SetServer("localhost", static_cast<uint16_t>(port));
    RecordingClient bobsScript(kChat);
    bob.AddClient(&bobsScript);
    ScriptClient use(*this, client);

    GSOLibrary* lib = OpenLibrary();
    ASSERT_NE(lib, nullptr);
    auto runUntil = [&](auto done) {
        for (int i = 0; !done(); ++i) {
            if (i == 1000) return false;
            context->Update();
            bob.Update();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    };
    EXPECT_EQ(Run(lib, "Connect"), "1");
    ASSERT_TRUE(bob.Connect(false));
    ASSERT_TRUE(runUntil([&] {
        return Run(lib, "Status") == "2 multi" &&
               bob.GetState() == OnlineAccessClientEndpoint::kConnected;
    })) << Run(lib, "Status");

    EXPECT_EQ(Run(lib, "Post", {"bob", "from the script"}), "0");
    ASSERT_TRUE(runUntil([&] { return !bobsScript.received.empty(); }));
    EXPECT_EQ(bobsScript.received[0]->text, "alice");
    EXPECT_EQ(NoteOf(*bobsScript.received[0]), "from the script");

    VersionedMessage answer;
    answer.kuid = kChat;
    answer.text = "alice";
    answer.payload = Note("from bob");
    ASSERT_EQ(bob.SendUserMessage(answer), 0u);
    std::string got;
    ASSERT_TRUE(runUntil([&] { return (got = Run(lib, "Collect", {""})) != "2::"; }));
    EXPECT_EQ(got, "0:bob:from bob");
    EXPECT_EQ(Run(lib, "Status"), "2 multi");
    bob.RemoveClient(&bobsScript);
}

}  // namespace
