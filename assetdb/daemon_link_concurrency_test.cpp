// The link with a reader thread plugged in: teardown stops and joins a reader blocked in a
// receive (and never waits on a reader that waits on the send lock), the reader marks the link
// down when the daemon goes, and the daemon's close is seen through it.
#include <gtest/gtest.h>

#include <atomic>

#include "assetdb/daemon_link.h"
#include "assetdb/daemon_link_test_support.h"
#include "foundation/tbuffer.h"
#include "tests/support/scripted_daemon.h"

namespace {

using testsupport::ScriptedDaemon;

std::atomic<int> readerPasses{0};

// A reader as the transactions layer runs it: wait for the gate, read a record's tag, and on a
// failure leave the loop and mark the link down. It never takes the send lock.
void Reader() {
    while (!WEXClientReaderShouldStop()) {
        WEXClientReceiveGate().Wait();
        if (WEXClientReaderShouldStop()) break;
        ++readerPasses;
        uint32_t tag;
        if (!WEXClientReceiveExact(&tag, 4, true)) {
            WEXClientLinkDropped();
            break;
        }
    }
}

class ReaderLink : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        readerPasses = 0;
        WEXLinkHooks hooks;
        hooks.readerBody = Reader;
        hooks.transact = [](uint32_t id, TStream& p, TStream*, WEXClientEventHandler*, ResultsLog*,
                            bool) { return WEXClientSendFrame(id, 1, p); };
        SetWEXLinkHooks(hooks);
    }
};

TEST_F(ReaderLink, CloseJoinsAReaderBlockedInAReceive) {
    ScriptedDaemon daemon(linktest::LinkTest::database);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    ASSERT_TRUE(linktest::Eventually([] { return readerPasses > 0; }));
    WEXCloseDatabase();  // goodbye, shut the socket, join the reader
    EXPECT_FALSE(WEXClientIsLinkUp());

    // Tearing down while other threads send: each send either gets out or fails cleanly.
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    std::atomic<bool> go{true};
    std::thread sender([&] {
        TBuffer payload("ping", 4);
        while (go) {
            payload.SetPosition(0);
            WEXClientPost(77, payload);
        }
    });
    for (int i = 0; i < 20; ++i)
        WEXClientDisconnect(true);
    go = false;
    sender.join();
}

TEST_F(ReaderLink, ReaderMarksTheLinkDownWhenTheDaemonGoes) {
    ScriptedDaemon daemon(linktest::LinkTest::database);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    daemon.Stop();
    EXPECT_TRUE(linktest::Eventually([] { return !WEXClientIsLinkUp(); }));
    EXPECT_TRUE(WEXClientIsOpen());  // still open: the next send reconnects
}

TEST_F(ReaderLink, CloseDaemonReturnsOnceTheDaemonHasDroppedTheLink) {
    ScriptedDaemon daemon(linktest::LinkTest::database);
    ASSERT_TRUE(WEXOpenDatabase(StartupOptions()));
    WEXLinkTiming timing;  // real waits: the reader has to see the drop
    timing.closePollMs = 5;
    SetWEXLinkTiming(timing);
    EXPECT_TRUE(WEXClient::CloseDaemon());
    EXPECT_FALSE(WEXClientIsLinkUp());
    EXPECT_EQ(daemon.Received()[0].substr(daemon.Received()[0].size() - 12),
              linktest::Words({270, 1, 0}));
}

}  // namespace
