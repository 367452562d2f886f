// The staged program bin/onlineserver with the real clock and no loss: two clients of online/
// log in through it and exchange a message; bad arguments are refused.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "configdata/tdb_container_tag.h"
#include "foundation/main_thread.h"
#include "online/online_client_test_support.h"
#include "tests/support/server_process.h"

namespace {

using namespace onlinetest;
using testsupport::ServerProcess;

const char* const kProgram = HALVEX_STAGE_DIR "/bin/onlineserver";

double RealSeconds() {
    static const auto start = std::chrono::steady_clock::now();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST(OnlineServerProgram, TwoClientsLogInAndExchangeAMessage) {
    InitProcessGlobals("HalvexUtil");
    ServerProcess server(kProgram, {"--port", "0", "--account", "alice:ta", "--account", "bob:tb"});
    std::string line = server.FirstLine();
    unsigned port = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "onlineserver listening on 127.0.0.1 port %u", &port), 1)
        << line;

    ScriptedDaemon alicesDaemon, bobsDaemon;
    alicesDaemon.profile = "alice";
    alicesDaemon.ticket = "ta";
    bobsDaemon.profile = "bob";
    bobsDaemon.ticket = "tb";
    OnlineAccessClientEndpoint alice(alicesDaemon, RealSeconds), bob(bobsDaemon, RealSeconds);
    alice.SetServer("127.0.0.1", static_cast<uint16_t>(port));
    bob.SetServer("localhost", static_cast<uint16_t>(port));
    RecordingClient bobsScript(KUID(1, 2));
    bob.AddClient(&bobsScript);
    ASSERT_TRUE(alice.Connect(false));
    ASSERT_TRUE(bob.Connect(false));

    auto runUntil = [&](auto done) {
        for (int i = 0; i < 1000 && !done(); ++i) {
            alice.Update();
            bob.Update();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return done();
    };
    ASSERT_TRUE(runUntil([&] {
        return alice.GetState() == OnlineAccessClientEndpoint::kConnected &&
               bob.GetState() == OnlineAccessClientEndpoint::kConnected;
    }));
    VersionedMessage m;
    m.kuid = KUID(1, 2);
    m.text = "bob";
    m.payload.EnsureContainer();
    TDBContainerTag::SetString(m.payload, Kiv::PString("note"), Kiv::PString("over the wire"));
    ASSERT_EQ(alice.SendUserMessage(m), 0u);
    ASSERT_TRUE(runUntil([&] { return !bobsScript.received.empty(); }));
    EXPECT_EQ(bobsScript.received[0]->text, "alice");
    EXPECT_EQ(std::string(
                  TDBContainerTag::GetString(bobsScript.received[0]->payload, Kiv::PString("note"))
                      .c_str()),
              "over the wire");
    bob.RemoveClient(&bobsScript);
}

TEST(OnlineServerProgram, BadArgumentsAreRefused) {
    for (std::vector<std::string> args : {std::vector<std::string>{"--port", "70000"},
                                          {"--account", "nocolon"},
                                          {"--bogus"},
                                          {"--port"}}) {
        ServerProcess server(kProgram, args);
        EXPECT_EQ(server.Wait(), 2) << args[0];
    }
}

}  // namespace
