// Author records: the fixed ids are answered without a request, and any other id is asked of
// the daemon once, whatever the answer, including none.
#include "assetdb/author_cache.h"

#include <gtest/gtest.h>

#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"

namespace {

using requesttest::ScriptedTransport;
using requesttest::Wire;

TEST(AuthorCache, FixedIdsNeedNoRequest) {
    struct Case {
        int32_t id;
        const char* name;
    };
    const Case cases[] = {{0, "-"},      {-2, "unknown"}, {-1, "Orvel"},
                          {-7, "Orvel"}, {1, "Orvel"},    {10, "Orvel"}};
    ScriptedTransport daemon;
    WEXAuthorCache cache;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        WEXAuthorRecord r = cache.Get(c.id);
        EXPECT_EQ(r.value, -1);
        EXPECT_EQ(r.name.str(), c.name);
    }
    EXPECT_TRUE(daemon.Sent().empty());
    EXPECT_EQ(cache.Size(), 0u);
}

TEST(AuthorCache, EachOtherIdIsAskedOnce) {
    ScriptedTransport daemon;
    WEXAuthorCache cache;
    daemon.Answer(kWEXRequestAuthorRecord, Wire().U32(3).Name("Ann"));
    for (int i = 0; i < 3; ++i) {
        WEXAuthorRecord r = cache.Get(500);
        EXPECT_EQ(r.value, 3);
        EXPECT_EQ(r.name.str(), "Ann");
    }
    // An unanswered id is kept as answered too.
    daemon.Unreachable(kWEXRequestAuthorRecord);
    for (int i = 0; i < 3; ++i) {
        WEXAuthorRecord r = cache.Get(501);
        EXPECT_EQ(r.value, -1);
        EXPECT_TRUE(r.name.IsNull());
    }
    EXPECT_EQ(daemon.SentWithId(kWEXRequestAuthorRecord).size(), 2u);
    EXPECT_EQ(cache.Size(), 2u);
}

}  // namespace
