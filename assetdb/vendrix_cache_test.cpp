// The content-service cache: records enter with the daemon's id, are refilled by info requests
// and by update notifications (an unknown id is ignored), answer "finished" without asking
// once they are, and leave with the notice that ends the request.
#include "assetdb/vendrix_cache.h"

#include <gtest/gtest.h>

#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "foundation/tbuffer.h"
#include "online/url_record.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;
using requesttest::Wire;

Bytes Info(bool finished, const char* path) {
    return Wire().Bool(finished).Kuid(5, 6).Text(path).Name("");
}

TEST(VendrixCache, NotificationsRefillOnlyCachedRecords) {
    WEXVendrixCache cache;
    cache.Insert(10);
    struct Case {
        const char* name;
        Bytes payload;
        bool stored;
    };
    const Case cases[] = {
        {"cached id", Wire().U64(10).Raw(Info(true, "/dl/a.cdp")), true},
        {"unknown id", Wire().U64(11).Raw(Info(true, "/dl/b.cdp")), false},
        {"no id", Wire().U32(10), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TBuffer payload(c.payload.data(), static_cast<uint32_t>(c.payload.size()));
        EXPECT_EQ(cache.Update(payload), c.stored);
    }
    WEXVendrixInfo info;
    ASSERT_TRUE(cache.Find(10, info));
    EXPECT_TRUE(info.finished);
    EXPECT_EQ(info.path, "/dl/a.cdp");
    EXPECT_EQ(info.asset, KUID(5, 6));
    EXPECT_FALSE(cache.Find(11, info));
    EXPECT_EQ(cache.Size(), 1u);
}

TEST(VendrixCache, AvailabilityAsksUntilFinishedThenAnswersFromTheRecord) {
    ScriptedTransport daemon;
    daemon.Answer(kWEXRequestResolveVendrixAsset, Wire().U64(0x500));
    URLRecord url;
    url.Parse("https://shop.example/a.cdp");
    uint64_t id = WEXClient::ResolveVendrixAsset(url, 0);
    ASSERT_EQ(id, 0x500u);

    daemon.Answer(kWEXRequestVendrixInfo, Info(false, ""));
    EXPECT_FALSE(WEXClient::IsVendrixAvailable(id));
    daemon.Answer(kWEXRequestVendrixInfo, Info(true, "/dl/a.cdp"));
    EXPECT_TRUE(WEXClient::IsVendrixAvailable(id));
    EXPECT_TRUE(WEXClient::IsVendrixAvailable(id));
    EXPECT_EQ(daemon.SentWithId(kWEXRequestVendrixInfo).size(), 2u);
    // The "now" form asks every time.
    daemon.Answer(kWEXRequestVendrixInfo, Info(false, ""));
    EXPECT_FALSE(WEXClient::IsVendrixAvailableNow(id));
    EXPECT_EQ(daemon.SentWithId(kWEXRequestVendrixInfo).size(), 3u);

    daemon.SetPostsSucceed(false);
    WEXClient::PostOnlineNotice(id);
    WEXVendrixInfo info;
    EXPECT_FALSE(WEXVendrixCache::Instance().Find(id, info));
    // Without its record, an ended request is asked about again (and the daemon decides).
    daemon.Unreachable(kWEXRequestVendrixInfo);
    EXPECT_FALSE(WEXClient::IsVendrixAvailable(id));
}

TEST(VendrixCache, NoRecordWhenTheDaemonStartedNothing) {
    ScriptedTransport daemon;
    daemon.Answer(kWEXRequestResolveVendrixAsset, Wire().U64(kWEXNoVendrixRecord));
    URLRecord url;
    url.Parse("https://shop.example/a.cdp");
    size_t before = WEXVendrixCache::Instance().Size();
    EXPECT_EQ(WEXClient::ResolveVendrixAsset(url, 0), kWEXNoVendrixRecord);
    EXPECT_EQ(WEXVendrixCache::Instance().Size(), before);
}

}  // namespace
