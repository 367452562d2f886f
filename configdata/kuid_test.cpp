#include "configdata/kuid.h"

#include <gtest/gtest.h>

#include "foundation/tbuffer.h"

namespace {

struct ParseCase {
    const char* text;
    bool strict;
    KUID expected;
};

TEST(KUID, ParsesEveryTextForm) {
    const KUID null = KUID::kNull;
    const ParseCase cases[] = {
        {"<KUID:12:34>", true, {12, 34, 0}},
        {"<kuid:12:34>", true, {12, 34, 0}},
        {"kuid:12:34", true, {12, 34, 0}},
        {"<kuid:-3:7>", true, {-3, 7, 127}},
        {"<kuid2:12:34:5>", true, {12, 34, 5}},
        {"<KuId2:12:34:5>", false, {12, 34, 5}},
        {"<kuid2:-3:7:1>", false, null},
        {"<kuid2:12:34:200>", false, null},
        {"<kuid2:12:34>", false, {12, 34, 127}},
        {"<kuid2:12:34>", true, null},
        {"12:34", true, null},
        {"<12:34>", true, null},
        {"1234", true, null},
        {"<kuid:1:2", true, null},
        {"<kuid2:-1:2:3>", true, null},
        {"12:34", false, {12, 34, 0}},
        {"<12:34>", false, {12, 34, 0}},
        {"<12:34", false, {12, 34, 0}},
        {"1234", false, {-1, 1234, 127}},
        {"-5:6", false, {-5, 6, 127}},
        {"<kuid:1:2", false, {1, 2, 0}},
        {"<nuLL>", false, null},
        {"<NULL>whatever", true, null},
        {"", false, null},
        {"", true, null},
        {"garbage", false, null},
        {"<kuid:12:34>trailing", true, {12, 34, 0}},
        {"kuid2:12:34:5", true, {12, 34, 5}},
        {"kuid2:-12:34:5", true, null},
        {"kuid:12", true, null},
        {"<kuid:33554431:1>", true, {33554431, 1, 0}},
        {"<kuid:33554432:1>", true, null},
        {"<kuid:-33554432:1>", true, {-33554432, 1, 127}},
        {"<kuid:-33554433:1>", true, null},
        {"<kuid2:33554432:1:1>", false, null},
        {"<kuid::>", false, null},
        {"<kuid:-1:5>", true, {-1, 5, 127}},
        // Numbers as "%d" reads them in non-strict mode: blanks and a '+' are fine.
        {"<kuid: 12:+34>", false, {12, 34, 0}},
        {"kuid: 7: 8", false, {7, 8, 0}},
        // A number that cannot be read keeps the initial -1.
        {"<kuid:5:>", false, {5, -1, 0}},
        {"<kuid2:5:6:>", false, {5, 6, 127}},
        // Out of 32-bit range is refused, never wrapped.
        {"<kuid:1:99999999999>", false, null},
        {"<kuid:1:2147483647>", true, {1, 2147483647, 0}},
        {"<kuid:1:-2147483648>", false, {1, INT32_MIN, 0}},
        {"<kuid:1:2147483648>", false, null},
        {"99999999999", false, null},
    };
    for (const ParseCase& c : cases) {
        KUID k(1, 1, 1);
        k.Parse(c.text, c.strict);
        EXPECT_EQ(k, c.expected) << '"' << c.text << "\" strict=" << c.strict << " got "
                                 << k.ToString().c_str();
    }
    KUID k(1, 2, 3);
    EXPECT_TRUE(k.Parse(nullptr, false).IsNull());
}

TEST(KUID, PrintsEveryTextForm) {
    struct Case {
        KUID k;
        const char* text;
        const char* noVersion;
        const char* display;
        const char* colon;
    } cases[] = {
        {{12, 34, 0}, "<kuid:12:34>", "<kuid:12:34>", "kuid 12 34", "12:34"},
        {{12, 34, 127}, "<kuid2:12:34:127>", "<kuid:12:34>", "kuid2 12 34 127", "12:34:127"},
        {{-3, 7, 127}, "<kuid:-3:7>", "<kuid:-3:7>", "kuid -3 7", "-3:7"},
        {{-3, 7, 0}, "<kuid2:-3:7:0>", "<kuid:-3:7>", "kuid2 -3 7 0", "-3:7:0"},
        {KUID::kNull, "<NULL>", "<NULL>", "NULLKUID", "NULLKUID"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.k.ToString(), Kiv::PString(c.text));
        EXPECT_EQ(c.k.ToStringNoVersion(), Kiv::PString(c.noVersion));
        EXPECT_EQ(c.k.ToDisplayString(), c.display);
        EXPECT_EQ(c.k.ToColonString(), c.colon);
        // Every printable KUID reads back, except a negative user id with a version other
        // than 127, which no valid KUID has.
        if (!c.k.IsNull() && (c.k.userId >= 0 || c.k.version == 127)) {
            EXPECT_EQ(KUID::FromText(c.text, true), c.k) << c.text;
        }
    }
}

TEST(KUID, BinaryFormLayoutAndRoundTrip) {
    TBuffer b;
    b.WriteKUID(KUID(5, 0x01020304, 3));
    const uint8_t expected[] = {0x04, 0x03, 0x02, 0x01, 0x05, 0x00, 0x00, 0x06};
    ASSERT_EQ(b.GetDataLength(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(b.GetData(), b.GetData() + 8),
              std::vector<uint8_t>(std::begin(expected), std::end(expected)));

    for (int32_t user : {0, 1, 12345, 16777215, -1, -2, -16777216}) {
        KUID k(user, 77, user < 0 ? 127 : 9);
        TBuffer s;
        s.WriteKUID(k);
        s.Rewind();
        KUID back;
        s.ReadKUID(back);
        EXPECT_EQ(back, k) << user;
    }
}

TEST(KUID, BinaryFormEdgeCases) {
    // A user id that passes the text check but not the packed word reads back shifted.
    TBuffer b;
    b.WriteKUID(KUID(16777216, 1, 0));
    b.WriteKUID(KUID(33554431, 1, 0));
    // Only the low seven bits of a version survive.
    b.WriteKUID(KUID(1, 2, 200));
    b.Rewind();
    KUID k;
    b.ReadKUID(k);
    EXPECT_EQ(k, KUID(16777216 - 33554432, 1, 0));
    b.ReadKUID(k);
    EXPECT_EQ(k, KUID(-1, 1, 0));
    b.ReadKUID(k);
    EXPECT_EQ(k, KUID(1, 2, 200 & 127));

    // The null KUID packs to all ones, so an empty stream reads back as null.
    TBuffer empty;
    KUID n(1, 2, 3);
    empty.ReadKUID(n);
    EXPECT_TRUE(n.IsNull());
    EXPECT_EQ(empty.GetError(), TStream::kErrorShortRead);
    TBuffer nullOut;
    nullOut.WriteKUID(KUID::kNull);
    EXPECT_EQ(std::vector<uint8_t>(nullOut.GetData(), nullOut.GetData() + 8),
              std::vector<uint8_t>(8, 0xFF));
}

TEST(KUID, TagValueFormHoldsThePackedWordFirst) {
    KUID k(-3, 7, 127);
    uint8_t block[8];
    KUID::PackWords(k, block);
    uint32_t packed, content;
    KUID::PackWords(k, packed, content);
    EXPECT_EQ(packed, (127u << 25) | (static_cast<uint32_t>(-3) & 0x1FFFFFFu));
    EXPECT_EQ(content, 7u);
    EXPECT_EQ(std::memcmp(block, &packed, 4), 0);
    EXPECT_EQ(std::memcmp(block + 4, &content, 4), 0);
    EXPECT_EQ(KUID::UnpackWords(block), k);
    EXPECT_EQ(KUID::UnpackWords(packed, content), k);
    EXPECT_TRUE(KUID::UnpackWords(0xFFFFFFFFu, 0xFFFFFFFFu).IsNull());
}

}  // namespace
