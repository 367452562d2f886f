// The content-service download against a scripted daemon: which archives are fetched from a
// search page, and that every wait ends, with its failure said, when the daemon cannot be asked
// or starts nothing.
#include "archive/vendrix_download.h"

#include <gtest/gtest.h>

#include <functional>

#include "assetdb/notifications.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/vendrix_cache.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace {

using requesttest::Wire;

constexpr uint64_t kRecord = 5;

class VDXDownloadTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetWEXCacheUpdateHandler(WEXVendrixUpdateNotification);
        // The asset is neither installed nor has a newer version; the daemon starts request 5.
        daemon.Answer(kWEXRequestUpdatedAsset, Wire().Kuid(1, 2));
        daemon.Answer(kWEXRequestAssetInfo, Wire().Kuid(1, 2));
        daemon.Answer(kWEXRequestResolveVendrixAsset, Wire().U64(kRecord));
        daemon.Answer(kWEXRequestInstallArchive, Wire().U32(1).Bool(true));
    }
    void TearDown() override {
        SetWEXCacheUpdateHandler(nullptr);
        WEXVendrixCache::Instance().Remove(kRecord);
    }
    // Request 5 is finished with this file.
    void Fetched(const std::string& path) {
        daemon.Answer(kWEXRequestVendrixInfo, Wire().Bool(true).Kuid(1, 2).Text(path).U32(0));
    }
    static std::vector<std::string> Lines(ResultsLog& log) {
        std::vector<std::string> out;
        log.ForEachEntry([&out](const ResultsLogEntry& e) {
            out.push_back(std::to_string(e.severity) + " " + std::string(e.text.view()));
        });
        return out;
    }
    size_t StartedOfKind(uint32_t kind) {
        size_t n = 0;
        for (const auto& m : daemon.SentWithId(kWEXRequestResolveVendrixAsset)) {
            // bool, name (u32 length with the NUL, bytes), then the kind.
            const auto& p = m.payload;
            uint32_t length = p[1] | (p[2] << 8) | (p[3] << 16) | (uint32_t{p[4]} << 24);
            size_t at = 5 + length;
            if (at + 4 <= p.size() && p[at] == kind) ++n;
        }
        return n;
    }

    requesttest::ScriptedTransport daemon;
    testsupport::TempDir dir;
    ResultsLog log;
};

TEST_F(VDXDownloadTest, ARecordWithoutHostIsSkippedAndASharedVersionFetchedOnce) {
    std::string page =
        dir.Write("page.txt",
                  "0 {\n requires <kuid:1:2>\n latest-version <kuid:1:2>\n latest-version-path "
                  "\"https://vendrix.halvex.invalid/halvex/download/1:2.cdp\"\n}\n"
                  "1 {\n requires <kuid:1:3>\n latest-version <kuid:1:3>\n latest-version-path "
                  "\"/halvex/download/1:3.cdp\"\n}\n"
                  "2 {\n requires <kuid:1:4>\n latest-version <kuid:1:2>\n latest-version-path "
                  "\"https://vendrix.halvex.invalid/halvex/download/1:2.cdp\"\n}\n");
    Fetched(page);
    daemon.Answer(kWEXRequestSelectDownloads, Wire().U32(3).U32(0).U32(1).U32(2));
    EXPECT_TRUE(VDXDownloadAsset(KUID(1, 2), &log));
    EXPECT_EQ(StartedOfKind(2), 1u);
    EXPECT_EQ(StartedOfKind(0), 1u);
    EXPECT_EQ(daemon.SentWithId(kWEXRequestInstallArchive).size(), 1u);
    EXPECT_TRUE(Lines(log).empty());
    // Every request was ended.
    EXPECT_EQ(daemon.SentWithId(kWEXPostOnlineNotice).size(), 2u);
}

TEST_F(VDXDownloadTest, EveryWaitEndsWhenTheDaemonCannotBeAskedOrStartsNothing) {
    struct Case {
        const char* what;
        std::function<void(requesttest::ScriptedTransport&)> script;
    };
    const Case cases[] = {
        {"no record", [](auto& d) { d.Answer(kWEXRequestResolveVendrixAsset, Wire().U64(~0ull)); }},
        {"no answer", [](auto& d) { d.Unreachable(kWEXRequestVendrixInfo); }},
        {"fetched nothing",
         [](auto& d) {
             d.Answer(kWEXRequestVendrixInfo,
                      Wire().Bool(true).Kuid(1, 2).Text("").Name("not listed"));
         }},
    };
    for (const Case& c : cases) {
        ResultsLog caseLog;
        c.script(daemon);
        EXPECT_FALSE(VDXDownloadAsset(KUID(1, 2), &caseLog)) << c.what;
        EXPECT_EQ(Lines(caseLog),
                  (std::vector<std::string>{"3 Failed to query VDX for <kuid:1:2>"}))
            << c.what;
        SetUp();
    }
    // Without a log the failure is silent; without the link's handler nothing is asked.
    daemon.Unreachable(kWEXRequestVendrixInfo);
    EXPECT_FALSE(VDXDownloadAsset(KUID(1, 2), nullptr));
    daemon.ClearSent();
    SetWEXCacheUpdateHandler(nullptr);
    EXPECT_FALSE(VDXDownloadAsset(KUID(1, 2), &log));
    EXPECT_TRUE(daemon.Sent().empty());
}

}  // namespace
