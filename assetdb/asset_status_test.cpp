// The asset-information record on the wire, the one-field queries over it and the status
// letters: each query asks with its own mask and answers from the record's bit or text, a lost
// daemon gives each query's fixed answer, and the letters follow the record and the two extra
// queries.
#include "assetdb/asset_status.h"

#include <gtest/gtest.h>

#include "assetdb/asset_info_format.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "foundation/tbuffer.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;
using requesttest::Wire;

const KUID kAsset(77, 88, 1);

WEXAssetInfo FullRecord() {
    WEXAssetInfo info;
    info.asset = kAsset;
    info.name = "Class 37";
    info.region = "UK";
    info.keywords = "diesel";
    info.statusA = 0xFE;
    info.statusB = 0xAB;
    info.statusC = 0x6;
    info.authorId = 77;
    info.authorName = Kiv::PString("Ann");
    info.era = "1960";
    info.fileSize = 5;
    info.categoryCodes = Kiv::PString("TR;LOC");
    info.userName = "class_37";
    info.statusD = 0x3;
    info.rating = 4;
    info.build = 3.7f;
    info.installedAt = 123456789012;
    info.modifiedAt = 223456789012;
    info.parent = KUID(77, 87);
    info.buildKnown = true;
    return info;
}

Bytes RecordBytes(const WEXAssetInfo& info) {
    TBuffer b;
    EXPECT_TRUE(WEXWriteAssetInfo(b, info));
    return Bytes(b.GetData(), b.GetData() + b.GetDataLength());
}

Bytes RecordWithStatus(uint32_t status) {
    WEXAssetInfo info;
    info.asset = kAsset;
    info.SetStatus(status);
    return RecordBytes(info);
}

TEST(AssetInfoFormat, RecordRoundTripsAndHasItsWireLength) {
    WEXAssetInfo written = FullRecord();
    Bytes bytes = RecordBytes(written);
    // 8 KUID + 3 texts + 19 bools + u32 + name + text + u32 + name + text + 3 bools + u32 +
    // float + 2 u64 + KUID + bool.
    EXPECT_EQ(bytes.size(), 8u + (4 + 8) + (4 + 2) + (4 + 6) + 19 + 4 + (4 + 4) + (4 + 4) + 4 +
                                (4 + 7) + (4 + 8) + 3 + 4 + 4 + 16 + 8 + 1);
    TBuffer stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    WEXAssetInfo read;
    WEXReadAssetInfo(stream, read);
    EXPECT_EQ(read, written);
    EXPECT_FALSE(stream.HasError());
}

TEST(AssetInfoFormat, ReplyEndingAfterTheKUIDLeavesDefaults) {
    Bytes bytes = Wire().Kuid(77, 88, 1);
    TBuffer stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    WEXAssetInfo read;
    read.name = "stale";
    WEXReadAssetInfo(stream, read);
    WEXAssetInfo expected;
    expected.asset = kAsset;
    expected.statusA = 0;  // the bools read as false replace the default bit
    expected.authorName = Kiv::PString("");
    expected.categoryCodes = Kiv::PString("");
    EXPECT_EQ(read, expected);
    EXPECT_TRUE(read.IsKnown());
    EXPECT_FALSE(WEXAssetInfo().IsKnown());
}

TEST(AssetStatusQueries, EachAsksWithItsMaskAndReadsItsBit) {
    struct Case {
        const char* name;
        bool (*query)(const KUID&);
        uint32_t mask;
        uint32_t bit;
        bool unreachable;
    };
    const Case cases[] = {
        {"built in", &WEXAssetIsBuiltIn, 0, kWEXStatusBuiltIn, false},
        {"locally modified", &WEXAssetIsLocallyModified, 8, kWEXStatusLocallyModified, true},
        {"installed", &WEXAssetIsInstalled, 8, kWEXStatusInstalled, true},
        {"faulty", &WEXAssetIsFaulty, 8, kWEXStatusFaulty, true},
        {"missing dependencies",
         [](const KUID& k) { return WEXAssetHasMissingDependencies(k, false); }, 8,
         kWEXStatusMissingDependencies, true},
        {"script cache blocked", &WEXAssetIsScriptCacheBlocked, 8, kWEXStatusScriptCacheBlocked,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransport daemon;
        daemon.Answer(kWEXRequestAssetInfo, RecordWithStatus(c.bit));
        EXPECT_TRUE(c.query(kAsset));
        ASSERT_EQ(daemon.Sent().size(), 1u);
        EXPECT_EQ(daemon.Sent()[0].payload, Bytes(Wire().Kuid(77, 88, 1).U32(c.mask)));

        // Every other bit set: this query's bit alone decides.
        daemon.Answer(kWEXRequestAssetInfo, RecordWithStatus(0xFFFF & ~c.bit));
        EXPECT_FALSE(c.query(kAsset));

        daemon.Unreachable(kWEXRequestAssetInfo);
        EXPECT_EQ(c.query(kAsset), c.unreachable);
    }
}

TEST(AssetStatusQueries, MissingDependenciesCountsAnUninstalledAssetWhenAsked) {
    ScriptedTransport daemon;
    daemon.Answer(kWEXRequestAssetInfo, RecordWithStatus(0));
    EXPECT_TRUE(WEXAssetHasMissingDependencies(kAsset, true));
    EXPECT_FALSE(WEXAssetHasMissingDependencies(kAsset, false));
    daemon.Answer(kWEXRequestAssetInfo, RecordWithStatus(kWEXStatusInstalled));
    EXPECT_FALSE(WEXAssetHasMissingDependencies(kAsset, true));
}

TEST(AssetStatusQueries, TextQueriesReadTheirField) {
    struct Case {
        const char* name;
        Kiv::String (*query)(const KUID&);
        uint32_t mask;
        const char* expected;
    };
    const Case cases[] = {
        {"name", &WEXGetAssetName, 1, "Class 37"},
        {"region", &WEXGetAssetRegion, 4, "UK"},
        {"keywords", &WEXGetAssetKeywords, 4, "diesel"},
        {"era", &WEXGetAssetEra, 4, "1960"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransport daemon;
        daemon.Answer(kWEXRequestAssetInfo, RecordBytes(FullRecord()));
        EXPECT_EQ(c.query(kAsset), c.expected);
        ASSERT_EQ(daemon.Sent().size(), 1u);
        EXPECT_EQ(daemon.Sent()[0].payload, Bytes(Wire().Kuid(77, 88, 1).U32(c.mask)));
        daemon.Unreachable(kWEXRequestAssetInfo);
        EXPECT_EQ(c.query(kAsset), "");
    }
}

TEST(AssetStatusLetters, FollowTheRecordAndTheTwoQueries) {
    struct Case {
        uint32_t recordStatus;  // of the record the status command read
        uint32_t askedStatus;   // of the record the daemon answers the M and F queries with
        const char* letters;
    };
    const Case cases[] = {
        {0, 0, "eiadlmf"},
        {kWEXStatusInstalled, 0, "eIadlmf"},
        {0xFFFF & ~(kWEXStatusFaulty | kWEXStatusMissingDependencies),
         kWEXStatusFaulty | kWEXStatusMissingDependencies, "EIADLMF"},
        {kWEXStatusFaulty | kWEXStatusMissingDependencies, 0, "eiadlmf"},
        {kWEXStatusOpenForEdit | kWEXStatusOnVendrix, kWEXStatusFaulty, "EiaDlmF"},
        {kWEXStatusArchived | kWEXStatusLocallyModified, kWEXStatusMissingDependencies, "eiAdLMf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.letters);
        ScriptedTransport daemon;
        daemon.Answer(kWEXRequestAssetInfo, RecordWithStatus(c.askedStatus));
        WEXAssetInfo info;
        info.asset = kAsset;
        info.SetStatus(c.recordStatus);
        EXPECT_EQ(WEXAssetStatusLetters(info).str(), c.letters);
        EXPECT_EQ(daemon.SentWithId(kWEXRequestAssetInfo).size(), 2u);
    }
}

}  // namespace
