#include "cli/results_summary.h"

#include <gtest/gtest.h>

#include <sstream>

#include "validation/results_log.h"

namespace {

HalvexPropertyRef Asset(const KUID& kuid) {
    return HalvexPropertyRef::MakeAssetID(Kiv::PStringCache::Create("AssetID"), kuid);
}

TEST(ResultsSummary, EachMessageWithItsPrefixAndAssetThenTheCounts) {
    ResultsLog log;
    AddMessage(log, kResultsInfo, Asset(KUID(12, 34)), "information");
    AddMessage(log, kResultsWarning, Asset(KUID(12, 34, 5)), "a warning");
    AddMessage(log, kResultsError, {}, "an error without an asset");
    AddMessage(log, kResultsSuccess, Asset(KUID(-3, 7, 127)), "done");
    AddMessage(log, 9, {}, "an odd severity has no prefix");
    AddMessage(log, kResultsError, {}, "ends in its own line feed\n");
    std::ostringstream out;
    PrintResultsSummary(log, out);
    EXPECT_EQ(out.str(),
              "; <kuid:12:34> : information\n"
              "! <kuid2:12:34:5> : a warning\n"
              "- <NULL> : an error without an asset\n"
              "+ <kuid:-3:7> : done\n"
              "<NULL> : an odd severity has no prefix\n"
              "- <NULL> : ends in its own line feed\n\n"
              "OK (2 Errors, 1 Warnings)\n");
    EXPECT_TRUE(log.IsReported());
}

TEST(ResultsSummary, AnEmptyLogPrintsOnlyTheSummaryLine) {
    ResultsLog log;
    std::ostringstream out;
    PrintResultsSummary(log, out);
    EXPECT_EQ(out.str(), "OK (0 Errors, 0 Warnings)\n");
}

TEST(ResultsSummary, ConsoleTextPassesUtf8AndMarksMalformedBytes) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"", ""},
        {"plain", "plain"},
        {"Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC", "Gr\xC3\xBC\xC3\x9F\x65 \xE2\x82\xAC"},
        {std::string(5000, 'x') + "\xE2\x82\xAC", std::string(5000, 'x') + "\xE2\x82\xAC"},
        // Not UTF-8: the console shows each byte from 0x80 up as '?', never the raw bytes.
        {"caf\xE9!", "caf?!"},
        {"cut \xE2\x82", "cut ??"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Utf8ToConsoleText(c.in), c.out) << c.in;
}

}  // namespace
