#include "services/onlineserver/server_wire.h"

#include <gtest/gtest.h>

#include "services/onlineserver/server_link.h"

namespace onlineserver {
namespace {

TEST(ServerWire, ScramblingKnownBytesBothWays) {
    Scrambler out{"ABCDEFGHabcdefgh"};
    Bytes b{0, 0, 0};
    out.Scramble(b.data(), b.size());
    EXPECT_EQ(b, (Bytes{0x41, 0x64, 0x6F}));
    Scrambler in{"ABCDEFGHabcdefgh"};
    in.Unscramble(b.data(), b.size());
    EXPECT_EQ(b, (Bytes{0, 0, 0}));
    EXPECT_EQ(in.state, out.state);
    Scrambler none;
    none.Scramble(b.data(), b.size());
    EXPECT_EQ(b, (Bytes{0, 0, 0})) << "no key: nothing scrambled";
}

TEST(ServerWire, FragmentsAtTheirBoundaries) {
    struct Case {
        size_t payload;
        std::vector<size_t> sizes;
    };
    const Case cases[] = {{0, {3}}, {1197, {1200}}, {1198, {602, 602}}, {1199, {602, 603}}};
    for (const Case& c : cases) {
        std::vector<Bytes> parts = SplitIntoFragments(5, 6, Bytes(c.payload, 0xAB));
        ASSERT_EQ(parts.size(), c.sizes.size()) << c.payload;
        for (size_t i = 0; i < parts.size(); ++i) {
            EXPECT_EQ(parts[i].size(), c.sizes[i]);
            EXPECT_EQ(parts[i][2], i + 1 == parts.size() ? (0x80 | i) : i);
        }
    }
    EXPECT_EQ(SplitIntoFragments(1, 0, Bytes(152019)).size(), 127u);
    EXPECT_TRUE(SplitIntoFragments(1, 0, Bytes(152020)).empty());
}

TEST(ServerWire, ReaderRefusesWhatDoesNotReadWhole) {
    Bytes m = WireWriter(9).Text("abc").Interned("xy").U32(7).Raw(EmptySoup()).Take();
    WireReader r(m.data() + 1, m.size() - 1);
    EXPECT_EQ(r.Text(), "abc");
    EXPECT_EQ(r.Interned(), "xy");
    EXPECT_EQ(r.U32(), 7u);
    EXPECT_EQ(r.Soup(), EmptySoup());
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.Left(), 0u);
    r.U8();
    EXPECT_FALSE(r.ok());

    // A length beyond the bytes, a soup without its magic or with a body past the end.
    Bytes longText = WireWriter(0).U32(1000).Raw({1, 2}).Take();
    WireReader t(longText.data() + 1, longText.size() - 1);
    EXPECT_EQ(t.Text(), "");
    EXPECT_FALSE(t.ok());
    Bytes badSoup = EmptySoup();
    badSoup[0] = 'X';
    WireReader bad(badSoup);
    bad.Soup();
    EXPECT_FALSE(bad.ok());
    Bytes longSoup = EmptySoup();
    longSoup[12] = 5;
    WireReader cut(longSoup);
    cut.Soup();
    EXPECT_FALSE(cut.ok());
}

// The server's link against itself: two links wired back to back deliver in order through
// loss; a link whose peer never answers gives up.
TEST(ServerLink, BackToBackDeliversInOrderAndGivesUpOnSilence) {
    std::vector<Bytes> aToB, bToA;
    std::vector<Bytes> gotA, gotB;
    ServerLink a(
        [&](const Bytes& d) {
            aToB.push_back(d);
            return true;
        },
        [&](const Bytes& m) { gotA.push_back(m); }, 0);
    ServerLink b(
        [&](const Bytes& d) {
            bToA.push_back(d);
            return true;
        },
        [&](const Bytes& m) { gotB.push_back(m); }, 0);
    ASSERT_TRUE(a.StartScrambling("AAAAAAAA", "BBBBBBBB"));
    ASSERT_TRUE(b.StartScrambling("BBBBBBBB", "AAAAAAAA"));
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(a.Queue(Bytes(1 + i * 37, static_cast<uint8_t>(i))));
    double now = 0;
    int n = 0;
    while (gotB.size() < 100 && now < 600) {
        now += 0.1;
        a.Tick(now);
        b.Tick(now);
        for (Bytes& d : aToB)
            if (++n % 7 != 0) b.OnDatagram(d.data(), d.size(), now);  // every 7th lost
        for (Bytes& d : bToA)
            a.OnDatagram(d.data(), d.size(), now);
        aToB.clear();
        bToA.clear();
    }
    ASSERT_EQ(gotB.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(gotB[i], Bytes(1 + i * 37, static_cast<uint8_t>(i)));
    EXPECT_FALSE(a.Queue(Bytes(65537))) << "over 65536 bytes";
    // Let the last acks arrive.
    for (int i = 0; i < 30; ++i) {
        now += 0.1;
        a.Tick(now);
        b.Tick(now);
        for (Bytes& d : aToB)
            b.OnDatagram(d.data(), d.size(), now);
        for (Bytes& d : bToA)
            a.OnDatagram(d.data(), d.size(), now);
        aToB.clear();
        bToA.clear();
    }
    ASSERT_EQ(a.InFlight(), 0u);

    a.Queue({1});
    double start = now;
    while (!a.IsClosed() && now < start + 400) {
        now += 0.1;
        a.Tick(now);
        aToB.clear();
    }
    EXPECT_TRUE(a.IsClosed());
    EXPECT_EQ(a.ClosedBecause(), "unacknowledged");
    EXPECT_NEAR(now - start, 118.0, 0.5);
}

}  // namespace
}  // namespace onlineserver
