// The asset search through the request seam: what goes out, what comes back, and that a lost
// link or a malformed answer is a failure that appends nothing.
#include "assetdb/asset_search.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/request_test_support.h"
#include "configdata/kuid.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/log.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;

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
    ScriptedTransport daemon_;
};

TEST_F(AssetSearch, SendsTheTreeAndAppendsTheAnswer) {
    WEXFilterElementGroup root(std::make_unique<WEXFilterElementBool>(kWEXLocal));
    daemon_.Answer(kWEXRequestSearchAssets, ReplyOf(2, {KUID(7, 8), KUID(9, 10, 3)}));
    KUIDBlockList found;
    found.Append(KUID(1, 1));

    EXPECT_TRUE(WEXClient::SearchAssets(root, found));
    ASSERT_EQ(daemon_.Sent().size(), 1u);
    EXPECT_EQ(daemon_.Sent()[0].id, kWEXRequestSearchAssets);
    EXPECT_EQ(daemon_.Sent()[0].payload, (Bytes{0x70, 0x75, 0x72, 0x67, 1, 0, 1, 0, 0, 0,  //
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
        if (c.answers)
            daemon_.Answer(kWEXRequestSearchAssets, c.reply);
        else
            daemon_.Unreachable(kWEXRequestSearchAssets);
        WEXFilterElementGroup everything;
        KUIDBlockList found;
        EXPECT_FALSE(WEXClient::SearchAssets(everything, found));
        EXPECT_TRUE(found.IsEmpty());
    }
}

TEST_F(AssetSearch, EmptyListIsAnAnswer) {
    daemon_.Answer(kWEXRequestSearchAssets, ReplyOf(0, {}));
    WEXFilterElementGroup everything;
    KUIDBlockList found;
    EXPECT_TRUE(WEXClient::SearchAssets(everything, found));
    EXPECT_TRUE(found.IsEmpty());
    EXPECT_EQ(daemon_.Sent().at(0).payload.size(), 10u);
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
