#include "online/tme_endpoint.h"

#include <gtest/gtest.h>

#include <numeric>

#include "online/online_test_support.h"

namespace {

using onlinetest::Bytes;
using onlinetest::FakeClock;
using onlinetest::Loopback;
using onlinetest::RawSocket;

class RecordingEndpoint : public TMEEndpoint {
public:
    explicit RecordingEndpoint(OnlineClock clock) : TMEEndpoint(std::move(clock)) {}
    ~RecordingEndpoint() override { Reset(); }
    std::vector<Bytes> handled;
    std::vector<uint8_t> sequences;
    int resets = 0;
    // Packets that reached the handler already read or with an error recorded.
    int dirtyArrivals = 0;
    // The handler reads on past the end, as a handler of a short message does.
    bool readPastEnd = false;

protected:
    void HandlePacket(TMEPacket& packet) override {
        if (packet.HasError() || packet.Tell() != 0) ++dirtyArrivals;
        handled.push_back(packet.Content());
        sequences.push_back(packet.sequence);
        if (readPastEnd) {
            std::vector<uint8_t> rest(packet.Size() + 1);
            packet.ReadBytes(rest.data(), packet.Size());
            packet.ReadU32Value();
        }
    }
    void OnReset() override { ++resets; }
};

std::unique_ptr<TMEPacket> PacketOf(const Bytes& content) {
    auto p = std::make_unique<TMEPacket>();
    if (!content.empty()) p->Write(content.data(), static_cast<uint32_t>(content.size()));
    p->Rewind();
    return p;
}

Bytes Pattern(size_t n, uint8_t seed = 0) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(i * 7 + seed);
    return b;
}

// An endpoint on a loopback socket whose peer is a raw socket, so the test sees every datagram.
class EndpointFixture : public ::testing::Test {
protected:
    void SetUp() override {
        socket.OpenOn(INADDR_LOOPBACK, 0);
        peer.Address() = Loopback(remote.port());
        socket.AddPeer(peer);
        endpoint.SetTransportKind(TMEEndpoint::kFragmenting);
        endpoint.Attach(peer);
        endpoint.resets = 0;  // attaching starts with a reset
    }
    void Queue(const Bytes& content) {
        auto p = PacketOf(content);
        ASSERT_TRUE(endpoint.QueuePacket(p));
    }
    void Feed(const Bytes& datagram) {
        remote.SendTo(socket.GetLocalPort(), datagram);
        socket.ReceiveAll();
    }
    // One fragment datagram: sequence, ack, index byte, bytes.
    static Bytes Fragment(uint8_t seq, uint8_t ack, uint8_t index, const Bytes& bytes) {
        Bytes d{seq, ack, index};
        d.insert(d.end(), bytes.begin(), bytes.end());
        return d;
    }
    void Step(double to, double by = 0.01) {
        while (clock.now + by / 2 < to) {
            clock.now += by;
            endpoint.Update();
            for (Bytes& d : remote.Drain())
                wire.push_back({clock.now, std::move(d)});
        }
    }

    FakeClock clock;
    UDPSocket socket;
    UDPPeer peer;
    RawSocket remote;
    RecordingEndpoint endpoint{clock.Clock()};
    struct Sent {
        double at;
        Bytes bytes;
    };
    std::vector<Sent> wire;
};

TEST_F(EndpointFixture, FragmentLayoutAtItsBoundaries) {
    struct Case {
        size_t payload;
        std::vector<std::pair<size_t, uint8_t>> datagrams;  // size, index byte
    };
    const Case cases[] = {
        {0, {{3, 0x80}}},
        {1197, {{1200, 0x80}}},
        {1198, {{602, 0x00}, {602, 0x81}}},
        {1199, {{602, 0x00}, {603, 0x81}}},
    };
    for (const Case& c : cases) {
        TMEPacket p;
        Bytes content = Pattern(c.payload);
        if (!content.empty()) p.Write(content.data(), static_cast<uint32_t>(content.size()));
        p.sequence = 9;
        p.ack = 4;
        ASSERT_TRUE(TMESendLayout(TMEEndpoint::kFragmenting, peer, p)) << c.payload;
        std::vector<Bytes> got = remote.Drain();
        ASSERT_EQ(got.size(), c.datagrams.size()) << c.payload;
        Bytes joined;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].size(), c.datagrams[i].first) << c.payload;
            EXPECT_EQ(got[i][0], 9);
            EXPECT_EQ(got[i][1], 4);
            EXPECT_EQ(got[i][2], c.datagrams[i].second) << c.payload;
            joined.insert(joined.end(), got[i].begin() + 3, got[i].end());
        }
        EXPECT_EQ(joined, content);
    }

    // 127 fragments carry 152019 bytes; one more byte needs 128 and nothing goes out.
    TMEPacket most;
    Bytes big = Pattern(152019);
    most.Write(big.data(), static_cast<uint32_t>(big.size()));
    most.sequence = 1;
    ASSERT_TRUE(TMESendLayout(TMEEndpoint::kFragmenting, peer, most));
    std::vector<Bytes> got = remote.Drain();
    ASSERT_EQ(got.size(), 127u);
    for (const Bytes& d : got)
        EXPECT_EQ(d.size(), 1200u);
    EXPECT_EQ(got.back()[2], 0x80 | 126);
    most.WriteU8(0);
    EXPECT_FALSE(TMESendLayout(TMEEndpoint::kFragmenting, peer, most));
    EXPECT_TRUE(remote.Drain().empty());

    // Unsequenced packets go plain on a fragmenting link; an unknown kind sends nothing.
    TMEPacket control;
    control.WriteU8(0);
    control.ack = 7;
    ASSERT_TRUE(TMESendLayout(TMEEndpoint::kFragmenting, peer, control));
    EXPECT_EQ(remote.Drain(), (std::vector<Bytes>{{0, 7, 0}}));
    control.sequence = 3;
    ASSERT_TRUE(TMESendLayout(TMEEndpoint::kPlain, peer, control));
    EXPECT_EQ(remote.Drain(), (std::vector<Bytes>{{3, 7, 0}}));
    EXPECT_FALSE(TMESendLayout(2, peer, control));
}

TEST_F(EndpointFixture, FragmentsInAnyOrderWithDuplicatesRebuildThePacketOnce) {
    Bytes content = Pattern(3000, 5);
    Bytes f0(content.begin(), content.begin() + 1000),
        f1(content.begin() + 1000, content.begin() + 2000),
        f2(content.begin() + 2000, content.end());
    Feed(Fragment(1, 0, 0x82, f2));
    Feed(Fragment(1, 0, 0x00, f0));
    Feed(Fragment(1, 0, 0x00, f0));
    EXPECT_TRUE(endpoint.handled.empty());
    EXPECT_EQ(endpoint.ReassemblyCount(), 1u);
    Feed(Fragment(1, 0, 0x01, f1));
    ASSERT_EQ(endpoint.handled.size(), 1u);
    EXPECT_EQ(endpoint.handled[0], content);
    EXPECT_EQ(endpoint.ReassemblyCount(), 0u);
    // A repeated fragment after completion is behind the window: dropped, and the ack is due
    // again.
    Step(1.5);
    wire.clear();
    Feed(Fragment(1, 0, 0x01, f1));
    EXPECT_EQ(endpoint.handled.size(), 1u);
    EXPECT_EQ(endpoint.ReassemblyCount(), 0u);
    Step(3.0);
    ASSERT_FALSE(wire.empty());
    EXPECT_EQ(wire[0].bytes, (Bytes{0, 1}));

    // Too short, and too long for a fragment: dropped without a trace.
    Feed({5});
    Feed({5, 0});
    Feed(Fragment(2, 0, 0x80, Pattern(1198)));
    EXPECT_EQ(endpoint.handled.size(), 1u);
    EXPECT_EQ(endpoint.ReassemblyCount(), 0u);
    // An index of 127 would make a 128th fragment.
    Feed(Fragment(2, 0, 0xFF, {1}));
    EXPECT_EQ(endpoint.ReassemblyCount(), 0u);
    Feed(Fragment(2, 0, 0x80, {1, 2}));
    ASSERT_EQ(endpoint.handled.size(), 2u);
    EXPECT_EQ(endpoint.handled[1], (Bytes{1, 2}));
}

// The endpoint reuses the packets it is done with and the byte blocks of rejoined fragments:
// each packet reaches the handler rewound and without the error the previous handler left, and
// a larger packet after a smaller one, its fragments out of order, comes out whole.
TEST_F(EndpointFixture, ReusedPacketsAndBuffersArriveClean) {
    endpoint.readPastEnd = true;
    auto feedFragments = [&](uint8_t seq, const Bytes& content, size_t count,
                             std::vector<size_t> order) {
        const size_t size = content.size() / count;
        for (size_t i : order) {
            auto from = content.begin() + static_cast<ptrdiff_t>(i * size);
            auto to = i + 1 == count ? content.end() : from + static_cast<ptrdiff_t>(size);
            uint8_t index = static_cast<uint8_t>(i + (i + 1 == count ? 0x80 : 0));
            Feed(Fragment(seq, 0, index, Bytes(from, to)));
        }
    };
    Feed(Fragment(1, 0, 0x80, Pattern(10)));
    feedFragments(2, Pattern(5000, 1), 5, {4, 2, 0, 3, 1});
    feedFragments(3, Pattern(9000, 2), 8, {0, 1, 2, 3, 4, 5, 6, 7});
    feedFragments(4, Pattern(2000, 3), 2, {1, 0});
    Feed(Fragment(5, 0, 0x80, Pattern(3, 4)));
    // A fragment that comes again replaces its earlier copy, whatever its length.
    Feed(Fragment(6, 0, 0x00, Pattern(700, 5)));
    Feed(Fragment(6, 0, 0x00, Pattern(900, 6)));
    Feed(Fragment(6, 0, 0x81, Pattern(800, 7)));
    Bytes replaced = Pattern(900, 6);
    Bytes last = Pattern(800, 7);
    replaced.insert(replaced.end(), last.begin(), last.end());
    ASSERT_EQ(endpoint.handled.size(), 6u);
    EXPECT_EQ(endpoint.handled[5], replaced);
    EXPECT_EQ(endpoint.handled[0], Pattern(10));
    EXPECT_EQ(endpoint.handled[1], Pattern(5000, 1));
    EXPECT_EQ(endpoint.handled[2], Pattern(9000, 2));
    EXPECT_EQ(endpoint.handled[3], Pattern(2000, 3));
    EXPECT_EQ(endpoint.handled[4], Pattern(3, 4));
    EXPECT_EQ(endpoint.sequences, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(endpoint.dirtyArrivals, 0);
    EXPECT_EQ(endpoint.ReassemblyCount(), 0u);
}

TEST_F(EndpointFixture, SequencesWrapAfter255AndAnAckOf1CoversPacket255) {
    for (int i = 0; i < 254; ++i) {
        Queue({static_cast<uint8_t>(i)});
        endpoint.Update();
        endpoint.HandleAck(static_cast<uint8_t>(i + 1));
    }
    remote.Drain();
    EXPECT_EQ(endpoint.NextSendSequence(), 255);
    Queue({1});
    Queue({2});
    clock.now += 0.001;
    endpoint.Update();
    std::vector<Bytes> got = remote.Drain();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0][0], 255);
    EXPECT_EQ(got[1][0], 1);
    EXPECT_EQ(endpoint.InFlightCount(), 2u);
    endpoint.HandleAck(255);
    EXPECT_EQ(endpoint.InFlightCount(), 1u);
    endpoint.HandleAck(1);
    EXPECT_EQ(endpoint.InFlightCount(), 0u);
}

TEST_F(EndpointFixture, EarlyPacketsAreHeldAndDeliveredInOrder) {
    Feed(Fragment(3, 0, 0x80, {3}));
    Feed(Fragment(2, 0, 0x80, {2}));
    Feed(Fragment(3, 0, 0x80, {3}));  // already held
    EXPECT_EQ(endpoint.HeldCount(), 2u);
    EXPECT_TRUE(endpoint.handled.empty());
    Feed(Fragment(1, 0, 0x80, {1}));
    EXPECT_EQ(endpoint.handled, (std::vector<Bytes>{{1}, {2}, {3}}));
    EXPECT_EQ(endpoint.sequences, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(endpoint.HeldCount(), 0u);
    EXPECT_EQ(endpoint.LastDelivered(), 3);

    // The cumulative ack goes out one second after the first unacknowledged delivery.
    Step(0.95);
    EXPECT_TRUE(wire.empty());
    Step(1.2);
    ASSERT_EQ(wire.size(), 1u);
    EXPECT_EQ(wire[0].bytes, (Bytes{0, 3}));
    // A reply carries the ack itself.
    Feed(Fragment(4, 0, 0x80, {4}));
    Queue({9});
    endpoint.Update();
    std::vector<Bytes> got = remote.Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0], (Bytes{1, 4, 0x80, 9}));

    // The whole window ahead is held: 6 to 132 (127 packets), then 5 delivers all.
    for (int s = 6; s <= 132; ++s)
        Feed(Fragment(static_cast<uint8_t>(s), 0, 0x80, {1}));
    Feed(Fragment(133, 0, 0x80, {1}));  // 128 ahead reads as behind
    EXPECT_EQ(endpoint.HeldCount(), 127u);
    Feed(Fragment(5, 0, 0x80, {5}));
    EXPECT_EQ(endpoint.HeldCount(), 0u);
    EXPECT_EQ(endpoint.LastDelivered(), 132);
    EXPECT_EQ(endpoint.handled.size(), 4u + 128u);
}

TEST_F(EndpointFixture, AtMost60InFlightAndQueueingLimits) {
    for (int i = 0; i < 70; ++i)
        Queue({static_cast<uint8_t>(i)});
    endpoint.Update();
    EXPECT_EQ(remote.Drain().size(), 60u);
    EXPECT_EQ(endpoint.InFlightCount(), 60u);
    EXPECT_EQ(endpoint.PendingCount(), 10u);
    EXPECT_TRUE(endpoint.HasPending());
    endpoint.HandleAck(30);
    endpoint.Update();
    EXPECT_EQ(remote.Drain().size(), 10u);
    EXPECT_FALSE(endpoint.HasPending());

    while (endpoint.PendingCount() <= TMEEndpoint::kMaxPending)
        Queue({1});
    auto refused = PacketOf({1});
    EXPECT_FALSE(endpoint.QueuePacket(refused));
    EXPECT_TRUE(refused) << "a refused packet stays the caller's";

    // A payload the receiver would drop unacknowledged is refused at once.
    RecordingEndpoint other(clock.Clock());
    UDPPeer otherPeer(Loopback(remote.port()));
    socket.AddPeer(otherPeer);
    other.Attach(otherPeer);
    auto large = PacketOf(Pattern(TMEEndpoint::kMaxPacketBytes + 1));
    EXPECT_FALSE(other.QueuePacket(large));
    auto fits = PacketOf(Pattern(TMEEndpoint::kMaxPacketBytes));
    EXPECT_TRUE(other.QueuePacket(fits));
    other.Reset();
    auto detached = PacketOf({1});
    EXPECT_FALSE(other.QueuePacket(detached)) << "no peer, no queueing";
}

TEST_F(EndpointFixture, UnacknowledgedPacketIsResentOnScheduleThenTheLinkIsGivenUp) {
    Queue({42});
    endpoint.Update();
    wire.push_back({0.0, remote.Drain().at(0)});
    Step(125.0);
    std::vector<double> sends;
    double noticeAt = -1;
    for (const Sent& s : wire) {
        if (s.bytes.size() == 4 && s.bytes[0] == 1) sends.push_back(s.at);
        if (s.bytes == Bytes{0, 0, 0}) noticeAt = s.at;
    }
    const double expected[] = {0, 2, 6, 22, 54};
    ASSERT_EQ(sends.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_NEAR(sends[i], expected[i], 0.06) << i;
    EXPECT_NEAR(noticeAt, 118.0, 0.06) << "the disconnect notice marks the reset";
    EXPECT_EQ(endpoint.resets, 1);
    EXPECT_EQ(endpoint.GetPeer(), nullptr);
    EXPECT_EQ(endpoint.InFlightCount(), 0u);
    auto late = PacketOf({1});
    EXPECT_FALSE(endpoint.QueuePacket(late)) << "not queued while detached";
}

TEST_F(EndpointFixture, KeepAlivesEvery30SecondsAndASilentPeerIsGivenUpAfter300) {
    Step(305.0, 0.05);
    std::vector<double> keepAlives;
    double noticeAt = -1;
    for (const Sent& s : wire) {
        if (s.bytes == Bytes{0, 0}) keepAlives.push_back(s.at);
        if (s.bytes == Bytes{0, 0, 0}) noticeAt = s.at;
    }
    ASSERT_GE(keepAlives.size(), 9u);
    EXPECT_NEAR(keepAlives[0], 30.0, 0.1);
    EXPECT_NEAR(keepAlives[1], 60.0, 0.2);
    EXPECT_NEAR(noticeAt, 300.0, 0.2);
    EXPECT_EQ(endpoint.resets, 1);
}

TEST_F(EndpointFixture, HeardKeepAlivesKeepTheLinkAndOneByteControlResets) {
    for (int i = 0; i < 12; ++i) {
        Step(clock.now + 29.0, 0.5);
        Feed({0, 0});
    }
    EXPECT_EQ(endpoint.resets, 0);
    EXPECT_NE(endpoint.GetPeer(), nullptr);
    Feed({0, 0, 7, 7});  // control of two bytes: ignored
    EXPECT_NE(endpoint.GetPeer(), nullptr);
    Feed({0, 0, 0});
    EXPECT_EQ(endpoint.resets, 1);
    EXPECT_EQ(endpoint.GetPeer(), nullptr);
}

TEST_F(EndpointFixture, KeyIsTheSendersTokenFirstAndEmptyTokenScramblesNothing) {
    const std::string peerToken = "PEERTOKN";
    ASSERT_TRUE(endpoint.SetPeerToken(peerToken));
    Bytes plain = Pattern(20);
    Queue(plain);
    endpoint.Update();
    std::vector<Bytes> got = remote.Drain();
    ASSERT_EQ(got.size(), 1u);
    Bytes expected = plain;
    uint32_t state = 0;
    TMEScramble(expected.data(), expected.size(), state, endpoint.GetLocalToken() + peerToken);
    EXPECT_NE(expected, plain);
    EXPECT_EQ(Bytes(got[0].begin() + 3, got[0].end()), expected);

    Bytes incoming = Pattern(9, 3);
    Bytes wireBytes = incoming;
    uint32_t peerState = 0;
    TMEScramble(wireBytes.data(), wireBytes.size(), peerState,
                peerToken + endpoint.GetLocalToken());
    Feed(Fragment(1, 0, 0x80, wireBytes));
    ASSERT_EQ(endpoint.handled.size(), 1u);
    EXPECT_EQ(endpoint.handled[0], incoming);

    // A refused token turns scrambling off again.
    EXPECT_FALSE(endpoint.SetPeerToken("short"));
    Queue(plain);
    clock.now += 0.01;
    endpoint.Update();
    got = remote.Drain();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(Bytes(got[0].begin() + 3, got[0].end()), plain);
}

TEST(TMEScrambling, KnownBytesAndRoundTrip) {
    std::string key = "ABCDEFGHabcdefgh";
    Bytes bytes{0, 0, 0};
    uint32_t state = 0;
    TMEScramble(bytes.data(), bytes.size(), state, key);
    EXPECT_EQ(bytes, (Bytes{0x41, 0x64, 0x6F}));
    EXPECT_EQ(state, 276u);
    uint32_t back = 0;
    TMEUnscramble(bytes.data(), bytes.size(), back, key);
    EXPECT_EQ(bytes, (Bytes{0, 0, 0}));
    EXPECT_EQ(back, 276u);
}

// The scrambler works from tables of the mask's period (short runs from the rotated key bytes,
// long runs from whole masks); byte for byte it must equal the mask worked out from the state:
// for keys of every shape (short keys, whose period is shorter than a block can advance; long
// keys of awkward lengths, with no table of whole masks or no table at all), for runs on both
// sides of the block and table boundaries, across calls, and where the state wraps at 2^32.
TEST(TMEScrambling, EqualsTheMaskWorkedOutByteByByte) {
    auto reference = [](Bytes bytes, uint32_t& s, const std::string& key, bool scrambling) {
        for (uint8_t& b : bytes) {
            const uint8_t k = static_cast<uint8_t>(key[(s / 13) % key.size()]);
            const unsigned r = (s / 7) % 8;
            const uint8_t rotated = static_cast<uint8_t>(r == 0 ? k : (k >> r) | (k << (8 - r)));
            const uint8_t in = b;
            b = in ^ static_cast<uint8_t>((s & 0xFF) + rotated);
            s += scrambling ? b : in;
        }
        return bytes;
    };
    // The bytes on the wire; stretches of 0xFF (in short runs and in long ones) make every step
    // of the state its largest.
    Bytes wire(24000);
    for (size_t i = 0; i < wire.size(); ++i) {
        const bool largest = i < 1100 || (i >= 6000 && i < 14000);
        wire[i] = largest ? 0xFF : static_cast<uint8_t>(i * 37 + (i >> 3));
    }
    const size_t runs[] = {1, 3, 4, 5, 15, 16, 17, 1023, 4095, 4096, 4097, 8000};
    for (size_t length : {1, 8, 16, 17, 24, 93, 200}) {
        std::string key;
        for (size_t i = 0; i < length; ++i)
            key.push_back(static_cast<char>(1 + (i * 53) % 255));
        for (uint32_t start : {0u, 0xFFFFF000u}) {
            uint32_t s = start;
            const Bytes plain = reference(wire, s, key, false);
            // Both directions in runs of every length, the unscrambling cut differently.
            for (bool scrambling : {true, false}) {
                const Bytes& input = scrambling ? plain : wire;
                const Bytes& output = scrambling ? wire : plain;
                uint32_t state = start;
                size_t at = 0;
                for (size_t r = scrambling ? 0 : 5; at < input.size(); ++r) {
                    const size_t n = std::min(runs[r % std::size(runs)], input.size() - at);
                    Bytes piece(input.begin() + at, input.begin() + at + n);
                    if (scrambling) {
                        TMEScramble(piece.data(), piece.size(), state, key);
                    } else {
                        TMEUnscramble(piece.data(), piece.size(), state, key);
                    }
                    ASSERT_EQ(piece, Bytes(output.begin() + at, output.begin() + at + n))
                        << length << " " << start << " " << at << " " << scrambling;
                    at += n;
                }
                EXPECT_EQ(state, s);
            }
        }
    }
}

// Two endpoints over loopback: tokens exchanged, packets in both directions arrive as sent
// while their bytes on the wire differ.
TEST(TMEEndpointPair, ScrambledBothWaysWithTokensAndPlainWithout) {
    FakeClock clock;
    UDPSocket socketA, socketB;
    socketA.OpenOn(INADDR_LOOPBACK, 0);
    socketB.OpenOn(INADDR_LOOPBACK, 0);
    UDPPeer toB(Loopback(socketB.GetLocalPort())), toA(Loopback(socketA.GetLocalPort()));
    socketA.AddPeer(toB);
    socketB.AddPeer(toA);
    RecordingEndpoint a(clock.Clock()), b(clock.Clock());
    a.SetTransportKind(TMEEndpoint::kFragmenting);
    b.SetTransportKind(TMEEndpoint::kFragmenting);
    a.Attach(toB);
    b.Attach(toA);

    EXPECT_FALSE(a.SetPeerToken("1234567"));
    EXPECT_TRUE(a.GetPeerToken().empty());
    std::string tokenA = a.GetLocalToken();
    ASSERT_EQ(tokenA.size(), 8u);
    EXPECT_EQ(a.GetLocalToken(), tokenA) << "made once";
    for (int i = 0; i < 200; ++i) {
        RecordingEndpoint fresh(clock.Clock());
        for (char c : fresh.GetLocalToken())
            ASSERT_NE(c, '\0') << "a NUL would cut the token";
    }

    auto exchange = [&] {
        for (int i = 0; i < 5; ++i) {
            clock.now += 0.1;
            a.Update();
            b.Update();
            socketA.ReceiveAll();
            socketB.ReceiveAll();
        }
    };
    Bytes first = Pattern(40, 1);
    auto p = PacketOf(first);
    ASSERT_TRUE(a.QueuePacket(p));
    exchange();
    ASSERT_EQ(b.handled.size(), 1u);
    EXPECT_EQ(b.handled[0], first) << "no tokens: nothing scrambled";

    ASSERT_TRUE(a.SetPeerToken(b.GetLocalToken()));
    ASSERT_TRUE(b.SetPeerToken(a.GetLocalToken()));
    for (int round = 0; round < 3; ++round) {
        Bytes ab = Pattern(2500 + round, static_cast<uint8_t>(round));
        Bytes ba = Pattern(10 + round, static_cast<uint8_t>(100 + round));
        auto pa = PacketOf(ab);
        auto pb = PacketOf(ba);
        ASSERT_TRUE(a.QueuePacket(pa));
        ASSERT_TRUE(b.QueuePacket(pb));
        exchange();
        ASSERT_EQ(b.handled.size(), 2u + round);
        ASSERT_EQ(a.handled.size(), 1u + round);
        EXPECT_EQ(b.handled.back(), ab);
        EXPECT_EQ(a.handled.back(), ba);
    }
}

}  // namespace
