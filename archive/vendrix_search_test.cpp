#include "archive/vendrix_search.h"

#include <gtest/gtest.h>

#include "archive/cdp_test_support.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"

namespace {

using requesttest::Wire;

// A page entry in the page's text form.
std::string PageEntry(int n, const char* requires_, const char* latest, const char* path,
                      int size = 100) {
    return std::to_string(n) + " {\n requires " + requires_ + "\n latest-version " + latest +
           "\n latest-version-size " + std::to_string(size) + "\n latest-version-path \"" + path +
           "\"\n banner-uri \"https://host.invalid/b.jpg\"\n result found\n asset-name \"Asset " +
           std::to_string(n) + "\"\n}\n";
}

class SearchReplyTest : public ::testing::Test {
protected:
    // The daemon answers these positions as needed.
    void Needed(std::initializer_list<uint32_t> positions) {
        Wire w;
        w.U32(static_cast<uint32_t>(positions.size()));
        for (uint32_t p : positions)
            w.U32(p);
        daemon.Answer(kWEXRequestSelectDownloads, w);
    }
    // The entry count of the one request 74 sent.
    uint32_t EntriesSent() {
        auto sent = daemon.SentWithId(kWEXRequestSelectDownloads);
        EXPECT_EQ(sent.size(), 1u);
        if (sent.empty() || sent[0].payload.size() < 4) return 0;
        const auto& p = sent[0].payload;
        EXPECT_EQ(p.size(), 4u + 20u * p[0]);
        return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t{p[3]} << 24);
    }
    requesttest::ScriptedTransport daemon;
    VDXAssetRecordList out;
};

TEST_F(SearchReplyTest, NeededEntriesBecomeRecordsWithEveryField) {
    TDBTagRef page = cdptest::Config(
        (PageEntry(0, "<kuid:424242:104>", "<kuid2:424242:104:2>",
                   "https://vendrix.invalid/halvex/download/424242:104:2.cdp", 4096) +
         PageEntry(1, "<kuid:424242:100>", "<kuid:424242:100>",
                   "https://vendrix.invalid/halvex/download/424242:100.cdp"))
            .c_str());
    Needed({1, 0});
    ParseVendrixSearchReply(page, out);
    EXPECT_EQ(EntriesSent(), 2u);
    // The request: each entry's "requires", "latest-version" and size, in page order.
    EXPECT_EQ(daemon.SentWithId(kWEXRequestSelectDownloads)[0].payload,
              requesttest::Bytes(Wire()
                                     .U32(2)
                                     .Kuid(424242, 104)
                                     .Kuid(424242, 104, 2)
                                     .U32(4096)
                                     .Kuid(424242, 100)
                                     .Kuid(424242, 100)
                                     .U32(100)));
    ASSERT_EQ(out.Count(), 2u);
    EXPECT_EQ(out[0].latestVersion, KUID(424242, 100));
    const VDXAssetRecord& r = out[1];
    EXPECT_EQ(r.required, KUID(424242, 104));
    EXPECT_EQ(r.latestVersion, KUID(424242, 104, 2));
    EXPECT_EQ(r.size, 4096);
    EXPECT_EQ(r.archiveURL.scheme, "https");
    EXPECT_EQ(r.archiveURL.host, "vendrix.invalid");
    EXPECT_EQ(r.archiveURL.path, "/halvex/download/424242:104:2.cdp");
    EXPECT_EQ(r.bannerURL.host, "host.invalid");
    EXPECT_EQ(r.result.view(), "found");
    EXPECT_EQ(r.assetName.view(), "Asset 0");
}

TEST_F(SearchReplyTest, NoneOrNoContainerSendsNothing) {
    Needed({0});
    std::string entry = PageEntry(0, "<kuid:1:2>", "<kuid:1:2>", "https://h.invalid/x.cdp");
    for (std::string text : {"none 1\n" + entry, entry + "none \"nothing\"\n"}) {
        // "none" with any value counts, before or after the entries.
        ParseVendrixSearchReply(cdptest::Config(text.c_str()), out);
    }
    ParseVendrixSearchReply(TDBTagRef(), out);
    EXPECT_TRUE(out.IsEmpty());
    EXPECT_TRUE(daemon.SentWithId(kWEXRequestSelectDownloads).empty());
}

TEST_F(SearchReplyTest, NumberingStopsAtTheFirstGapOrEmptyEntry) {
    TDBTagRef page = cdptest::Config((PageEntry(0, "<kuid:1:0>", "<kuid:1:0>", "https://h/0") +
                                      PageEntry(1, "<kuid:1:1>", "<kuid:1:1>", "https://h/1") +
                                      PageEntry(3, "<kuid:1:3>", "<kuid:1:3>", "https://h/3"))
                                         .c_str());
    // Position 3 names no entry sent: the selection drops it.
    Needed({0, 3});
    ParseVendrixSearchReply(page, out);
    EXPECT_EQ(EntriesSent(), 2u);
    ASSERT_EQ(out.Count(), 1u);
    EXPECT_EQ(out[0].latestVersion, KUID(1, 0));

    daemon.ClearSent();
    TDBTagRef withEmpty =
        cdptest::Config((PageEntry(0, "<kuid:1:0>", "<kuid:1:0>", "https://h/0") + "1 {\n}\n" +
                         PageEntry(2, "<kuid:1:2>", "<kuid:1:2>", "https://h/2"))
                            .c_str());
    ParseVendrixSearchReply(withEmpty, out);
    EXPECT_EQ(EntriesSent(), 1u);
}

TEST_F(SearchReplyTest, ASharedLatestVersionGivesOneRecordTheFirst) {
    TDBTagRef page =
        cdptest::Config((PageEntry(0, "<kuid:1:10>", "<kuid2:1:10:2>", "https://h/first") +
                         PageEntry(1, "<kuid:1:11>", "<kuid2:1:10:2>", "https://h/second") +
                         PageEntry(2, "<kuid:1:12>", "<kuid2:1:10:3>", "https://h/third"))
                            .c_str());
    Needed({0, 1, 2});
    ParseVendrixSearchReply(page, out);
    ASSERT_EQ(out.Count(), 2u);
    EXPECT_EQ(out[0].archiveURL.path, "/first");
    // Another version of the same asset is another archive.
    EXPECT_EQ(out[1].latestVersion, KUID(1, 10, 3));
}

TEST_F(SearchReplyTest, ACountOfZeroAFailedRequestOrAShortReplyGiveWhatCameWhole) {
    TDBTagRef page = cdptest::Config((PageEntry(0, "<kuid:1:0>", "<kuid:1:0>", "https://h/0") +
                                      PageEntry(1, "<kuid:1:1>", "<kuid:1:1>", "https://h/1"))
                                         .c_str());
    Needed({});
    ParseVendrixSearchReply(page, out);
    EXPECT_TRUE(out.IsEmpty());

    daemon.Unreachable(kWEXRequestSelectDownloads);
    ParseVendrixSearchReply(page, out);
    EXPECT_TRUE(out.IsEmpty());

    // Three announced, one whole: one record, not three copies of entry 0.
    daemon.Answer(kWEXRequestSelectDownloads, Wire().U32(3).U32(1).U8(0));
    ParseVendrixSearchReply(page, out);
    ASSERT_EQ(out.Count(), 1u);
    EXPECT_EQ(out[0].latestVersion, KUID(1, 1));
}

TEST_F(SearchReplyTest, ARecordWithoutHostIsKeptWithAnEmptyHost) {
    TDBTagRef page = cdptest::Config(
        PageEntry(0, "<kuid:1:0>", "<kuid:1:0>", "/halvex/download/1:0.cdp").c_str());
    Needed({0});
    ParseVendrixSearchReply(page, out);
    ASSERT_EQ(out.Count(), 1u);
    EXPECT_TRUE(out[0].archiveURL.host.empty());
    out.FreeAll();
    EXPECT_TRUE(out.IsEmpty());
}

}  // namespace
