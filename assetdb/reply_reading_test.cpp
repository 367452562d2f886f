// Hostile counts in daemon replies: a list is read up to its first short element and sized by
// the bytes that remain, so an absurd count appends only what is really there; positions that
// name no entry sent are dropped.
#include "assetdb/reply_reading.h"

#include <gtest/gtest.h>

#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/vendrix_selection.h"
#include "assetdb/wex_client_assets.h"
#include "foundation/tbuffer.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;
using requesttest::Wire;

TEST(ReplyReading, KUIDListsKeepWhatCameWhole) {
    struct Case {
        const char* name;
        Bytes reply;
        size_t appended;
        bool whole;
    };
    const Case cases[] = {
        {"count of all ones, one KUID", Wire().U32(0xFFFFFFFF).Kuid(1, 2), 1, false},
        {"count past the end", Wire().U32(3).Kuid(1, 2).Kuid(3, 4).U32(7), 2, false},
        {"cut inside the count", Wire().U16(2), 0, true},
        {"exact", Wire().U32(2).Kuid(1, 2).Kuid(3, 4), 2, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransport daemon;
        daemon.Answer(kWEXRequestObsoletes, c.reply);
        KUIDBlockList list;
        EXPECT_EQ(WEXClient::GetObsoletes(KUID(9, 9), list), c.whole);
        EXPECT_EQ(list.Count(), c.appended);
        if (c.appended > 0) {
            EXPECT_EQ(*list.Begin(), KUID(1, 2));
        }
    }
}

TEST(ReplyReading, BoundedCountNeverExceedsTheBytesLeft) {
    Bytes bytes(100, 0);
    TBuffer reply(bytes.data(), 100);
    EXPECT_EQ(WEXBoundedCount(reply, 0xFFFFFFFF, 8), 12u);
    EXPECT_EQ(WEXBoundedCount(reply, 5, 8), 5u);
    reply.SetPosition(96);
    EXPECT_EQ(WEXBoundedCount(reply, 0xFFFFFFFF, 8), 0u);
    EXPECT_EQ(WEXBoundedCount(reply, 0xFFFFFFFF, 4), 1u);
}

TEST(ReplyReading, SelectedPositionsAreCheckedAgainstTheEntriesSent) {
    const std::vector<WEXVendrixEntry> entries(3);
    struct Case {
        const char* name;
        Bytes reply;
        std::vector<uint32_t> positions;
        bool whole;
    };
    const Case cases[] = {
        {"count of all ones", Wire().U32(0xFFFFFFFF).U32(2).U32(0), {2, 0}, false},
        {"a position past the entries", Wire().U32(3).U32(1).U32(3).U32(0xFFFFFFFF), {1}, false},
        {"none", Wire().U32(0), {}, true},
        {"exact", Wire().U32(2).U32(0).U32(2), {0, 2}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransport daemon;
        daemon.Answer(kWEXRequestSelectDownloads, c.reply);
        std::vector<uint32_t> positions;
        EXPECT_EQ(WEXClient::SelectNeededDownloads(entries, positions), c.whole);
        EXPECT_EQ(positions, c.positions);
    }
}

TEST(ReplyReading, SoupRepliesTellEmptyFromDamaged) {
    struct Case {
        const char* name;
        Bytes reply;
        bool accepted;
    };
    const Case cases[] = {
        {"empty reply", {}, true},
        {"empty soup", Wire().U32(0x24534341).U32(1).U32(0).U32(0), true},
        {"header cut short", Wire().U32(0x24534341).U32(1), false},
        {"body past the end", Wire().U32(0x24534341).U32(1).U32(0).U32(40).U32(1), false},
        {"body refused", Wire().U32(0x24534341).U32(1).U32(0).U32(6).U32(99).U16(0), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBuffer reply(c.reply.data(), static_cast<uint32_t>(c.reply.size()));
        TDBTagRef tree;
        EXPECT_EQ(WEXReadSoupReply(reply, tree), c.accepted);
        EXPECT_FALSE(tree);
    }
}

}  // namespace
