#include "online/udp_socket.h"

#include <gtest/gtest.h>

#include "online/online_test_support.h"

namespace {

using onlinetest::Bytes;
using onlinetest::Loopback;
using onlinetest::RawSocket;

struct Heard {
    std::vector<Bytes> datagrams;
    static void Hook(void* context, const uint8_t* bytes, uint32_t length) {
        static_cast<Heard*>(context)->datagrams.emplace_back(bytes, bytes + length);
    }
};

TEST(UDPSocket, ClosedSocketReadsNothingAndSendsNothing) {
    UDPSocket socket;
    EXPECT_FALSE(socket.IsOpen());
    EXPECT_FALSE(socket.ReceiveOne());
    UDPPeer peer(Loopback(9));
    uint8_t byte = 1;
    EXPECT_FALSE(socket.SendTo(peer, &byte, 1)) << "a peer on no socket cannot be sent to";
    socket.Open();
    ASSERT_TRUE(socket.IsOpen());
    EXPECT_NE(socket.GetLocalPort(), 0);
    EXPECT_FALSE(socket.ReceiveOne()) << "non-blocking: nothing waiting returns at once";
    socket.Close();
    EXPECT_EQ(socket.GetHandle(), -1);
}

TEST(UDPSocket, DatagramsGoToTheFirstPeerOfTheirSenderElseToTheUnmatchedHook) {
    UDPSocket socket;
    socket.OpenOn(INADDR_LOOPBACK, 0);
    RawSocket a, b, c;
    UDPPeer peerA(Loopback(a.port())), peerA2(Loopback(a.port())), peerB(Loopback(b.port()));
    Heard heardA, heardA2, heardB, heardUnmatched;
    peerA.SetReceiveHook(&Heard::Hook, &heardA);
    peerA2.SetReceiveHook(&Heard::Hook, &heardA2);
    peerB.SetReceiveHook(&Heard::Hook, &heardB);
    UDPPeer fallback;
    fallback.SetReceiveHook(&Heard::Hook, &heardUnmatched);
    socket.AddPeer(peerA);
    socket.AddPeer(peerA2);
    socket.AddPeer(peerB);

    a.SendTo(socket.GetLocalPort(), {1, 2, 3});
    b.SendTo(socket.GetLocalPort(), {4});
    c.SendTo(socket.GetLocalPort(), {5});  // no hook yet: dropped, but read
    EXPECT_TRUE(socket.ReceiveOne());
    EXPECT_TRUE(socket.ReceiveOne());
    EXPECT_TRUE(socket.ReceiveOne());
    EXPECT_FALSE(socket.ReceiveOne());
    EXPECT_EQ(heardA.datagrams, (std::vector<Bytes>{{1, 2, 3}}));
    EXPECT_TRUE(heardA2.datagrams.empty());
    EXPECT_EQ(heardB.datagrams, (std::vector<Bytes>{{4}}));

    struct Ask {
        UDPPeer* answer;
        int asked = 0;
    } ask{&fallback};
    socket.SetUnmatchedSenderHook(
        [](void* context, const sockaddr_in&) {
            auto* s = static_cast<Ask*>(context);
            ++s->asked;
            return s->answer;
        },
        &ask);
    c.SendTo(socket.GetLocalPort(), {6});
    socket.ReceiveAll();
    EXPECT_EQ(ask.asked, 1);
    EXPECT_EQ(heardUnmatched.datagrams, (std::vector<Bytes>{{6}}));
    ask.answer = nullptr;
    c.SendTo(socket.GetLocalPort(), {7});
    EXPECT_TRUE(socket.ReceiveOne()) << "a dropped datagram still counts as read";
    EXPECT_EQ(heardUnmatched.datagrams.size(), 1u);

    // Sends reach the peer's address whole.
    ASSERT_TRUE(socket.SendTo(peerB, "xyz", 3));
    EXPECT_EQ(b.Drain(), (std::vector<Bytes>{{'x', 'y', 'z'}}));
    socket.RemovePeer(peerB);
    EXPECT_EQ(peerB.GetSocket(), nullptr);
    EXPECT_FALSE(socket.SendTo(peerB, "x", 1));
}

TEST(UDPSocket, ReceiveAllReadsAtMost32DatagramsACall) {
    UDPSocket socket;
    socket.OpenOn(INADDR_LOOPBACK, 0);
    RawSocket sender;
    UDPPeer peer(Loopback(sender.port()));
    Heard heard;
    peer.SetReceiveHook(&Heard::Hook, &heard);
    socket.AddPeer(peer);
    for (int i = 0; i < 40; ++i)
        sender.SendTo(socket.GetLocalPort(), {static_cast<uint8_t>(i)});
    socket.ReceiveAll();
    EXPECT_EQ(heard.datagrams.size(), 32u);
    socket.ReceiveAll();
    EXPECT_EQ(heard.datagrams.size(), 40u);
    EXPECT_EQ(heard.datagrams.back(), Bytes{39});
}

}  // namespace
