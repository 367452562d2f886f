// The asset search through the request seam: what goes out, what comes back, and that a lost
// link or a malformed answer is a failure that appends nothing.
#include "assetdb/asset_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/request_sender.h"
#include "configdata/kuid.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/log.h"

namespace {

using Bytes = std::vector<uint8_t>;

// What the stand-in daemon saw and will answer.
struct FakeDaemon {
    uint32_t messageId = 0;
    Bytes payload;
    Bytes reply;
    bool answers = true;
};
FakeDaemon gDaemon;

bool FakeSend(uint32_t messageId, TStream& payload, TStream& reply) {
    gDaemon.messageId = messageId;
    gDaemon.payload.clear();
    uint8_t byte;
    while (payload.ReadBytes(&byte, 1) == 1)
        gDaemon.payload.push_back(byte);
    if (!gDaemon.answers) return false;
    reply.Write(gDaemon.reply.data(), static_cast<uint32_t>(gDaemon.reply.size()));
    return true;
}

Bytes ReplyOf(uint32_t count, std::initializer_list<KUID> kuids) {
    TBuffer b;
    b.WriteU32(count);
    for (const KUID& k : kuids)
        k.Write(b);
    return Bytes(b.GetData(), b.GetData() + b.GetDataLength());
}

std::vector<KUID> Listed(const KUIDBlockList& list) {
    std::vector<KUID> v;
    for (const KUID& k : list)
        v.push_back(k);
    return v;
}

class AssetSearch : public ::testing::Test {
protected:
    void SetUp() override {
        gDaemon = FakeDaemon();
        WEXSetRequestSender(&FakeSend);
    }
    void TearDown() override { WEXSetRequestSender(nullptr); }
};

TEST_F(AssetSearch, SendsTheTreeAndAppendsTheAnswer) {
    WEXFilterElementGroup root(std::make_unique<WEXFilterElementBool>(kWEXLocal));
    gDaemon.reply = ReplyOf(2, {KUID(7, 8), KUID(9, 10, 3)});
    KUIDBlockList found;
    found.Append(KUID(1, 1));

    EXPECT_TRUE(WEXClient::SearchAssets(root, found));
    EXPECT_EQ(gDaemon.messageId, kWEXRequestSearchAssets);
    EXPECT_EQ(gDaemon.payload, (Bytes{0x70, 0x75, 0x72, 0x67, 1, 0, 1, 0, 0, 0,  //
                                      0x6C, 0x6F, 0x6F, 0x62, 0, 0, 0, 0}));
    EXPECT_EQ(Listed(found), (std::vector<KUID>{KUID(1, 1), KUID(7, 8), KUID(9, 10, 3)}));
}

TEST_F(AssetSearch, FailsWithoutAppendingOnABadAnswer) {
    struct Case {
        const char* name;
        bool answers;
        Bytes reply;
    };
    const Case cases[] = {
        {"no answer", false, {}},
        {"empty answer", true, {}},
        {"count past the end", true, ReplyOf(3, {KUID(1, 2), KUID(3, 4)})},
        {"huge count", true, ReplyOf(0xFFFFFFFF, {KUID(1, 2)})},
        {"cut inside a KUID", true, Bytes{1, 0, 0, 0, 5, 0, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        gDaemon.answers = c.answers;
        gDaemon.reply = c.reply;
        WEXFilterElementGroup everything;
        KUIDBlockList found;
        EXPECT_FALSE(WEXClient::SearchAssets(everything, found));
        EXPECT_TRUE(found.IsEmpty());
    }
}

TEST_F(AssetSearch, EmptyListIsAnAnswer) {
    gDaemon.reply = ReplyOf(0, {});
    WEXFilterElementGroup everything;
    KUIDBlockList found;
    EXPECT_TRUE(WEXClient::SearchAssets(everything, found));
    EXPECT_TRUE(found.IsEmpty());
    EXPECT_EQ(gDaemon.payload.size(), 10u);
}

TEST(AssetSearchWithoutLink, FailsAndSaysSo) {
    std::vector<std::string> lines;
    int id = Kiv::Log::AddListener([&](std::string_view line) { lines.emplace_back(line); });
    WEXFilterElementGroup everything;
    KUIDBlockList found;
    EXPECT_FALSE(WEXClient::SearchAssets(everything, found));
    Kiv::Log::RemoveListener(id);
    EXPECT_TRUE(found.IsEmpty());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("request 2 failed: the daemon link is not available in this build"),
              std::string::npos);
}

}  // namespace
