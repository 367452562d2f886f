#include "validation/results_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configdata/interface_text.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/data_root.h"
#include "foundation/statics.h"
#include "validation/global_results_map.h"
#include "validation/results_test_support.h"

namespace {

using resultstest::Kuid;
using resultstest::Recorder;

std::string ParameterText(const ResultsLogEntry& e) {
    return e.parameter.IsEmpty() ? "(none)" : e.parameter.GetText().str();
}

// A named-values soup of text children, in the order given.
TDBTagRef Values(std::initializer_list<std::pair<const char*, std::string>> children) {
    TDBTagRef soup;
    for (const auto& [name, text] : children)
        TDBContainerTag::SetString(soup, Kiv::PString(name), Kiv::PString(text));
    return soup;
}

TEST(ResultsLog, AMessageTakesItsOwnParameterElseTheContextTop) {
    ResultsLog log;
    AddMessage(log, kResultsInfo, {}, "no context");
    log.PushContext(Kuid(1, 2));
    AddMessage(log, kResultsInfo, {}, "inside");
    AddMessage(log, kResultsInfo, Kuid(3, 4), "own parameter");
    log.PushContext(Kuid(5, 6));
    AddMessage(log, kResultsInfo, {}, "inner context");
    log.PopContext();
    AddMessage(log, kResultsInfo, {}, "outer again");
    log.PopContext();
    AddMessage(log, kResultsInfo, {}, "after");
    log.PopContext();  // on an empty stack: nothing
    EXPECT_EQ(log.GetContextDepth(), 0u);
    log.PushContext({});  // an empty context gives an empty parameter
    AddMessage(log, kResultsInfo, {}, "empty context");

    const std::vector<std::pair<std::string, std::string>> expected = {
        {"no context", "(none)"},        {"inside", "<kuid:1:2>"},
        {"own parameter", "<kuid:3:4>"}, {"inner context", "<kuid:5:6>"},
        {"outer again", "<kuid:1:2>"},   {"after", "(none)"},
        {"empty context", "(none)"},
    };
    ASSERT_EQ(log.GetCount(), expected.size());
    for (uint32_t i = 0; i < expected.size(); ++i) {
        ResultsLogEntry e = log.GetEntry(i);
        EXPECT_EQ(e.text.str(), expected[i].first);
        EXPECT_EQ(ParameterText(e), expected[i].second) << expected[i].first;
    }
    EXPECT_EQ(log.GetEntry(99).severity, 0u);
}

TEST(ResultsLog, AMessageSharesItsParameter) {
    ResultsLog log;
    HalvexPropertyRef kuid = Kuid(1, 2);
    auto* property = static_cast<HalvexPropertyRefCounted*>(kuid.Get());
    AddMessage(log, kResultsError, kuid, "a");
    log.PushContext(kuid);
    AddMessage(log, kResultsError, {}, "b");
    EXPECT_EQ(property->GetReferenceCount(), 4u);  // ours, two entries, the context
    log.PopContext();
    EXPECT_EQ(property->GetReferenceCount(), 3u);
}

TEST(ResultsLog, PlaceholdersTakeNamedValuesInAnyLetterCase) {
    struct Case {
        const char* what;
        std::string text;
        TDBTagRef values;
        std::string expected;
    };
    const Case cases[] = {
        {"mixed case name", "Asset $(KuId) is bad, $(kuid) too", Values({{"kuid", "<kuid:1:2>"}}),
         "Asset <kuid:1:2> is bad, <kuid:1:2> too"},
        {"upper-case child name", "see $(file)", Values({{"FILE", "a.txt"}}), "see a.txt"},
        {"a name no child has stays", "$(missing) and $(kuid)", Values({{"kuid", "k"}}),
         "$(missing) and k"},
        {"a value holding the placeholder is not expanded", "[$(a)]", Values({{"a", "$(a)$(A)"}}),
         "[$(a)$(A)]"},
        {"later children see what earlier ones left", "$(first)",
         Values({{"first", "$(second)"}, {"second", "done"}}), "done"},
        {"an empty value", "<$(a)>", Values({{"a", ""}}), "<>"},
        {"no values", "$(kuid)", TDBTagRef(), "$(kuid)"},
        {"values that are no container", "$(kuid)",
         souptest::NewContainer()->CreateTag(kTagText, MakeRawData("x", 2)), "$(kuid)"},
        {"a placeholder without its closing bracket", "$(kuid", Values({{"kuid", "k"}}), "$(kuid"},
    };
    for (const Case& c : cases) {
        ResultsLog log;
        AddMessage(log, kResultsInfo, {}, c.text, c.values);
        EXPECT_EQ(log.GetEntry(0).text.str(), c.expected) << c.what;
    }
}

// Callers pass keys; the log stores the chosen language's text with its placeholders filled.
TEST(ResultsLog, AKeyBecomesItsInterfaceTextBeforeThePlaceholdersAreFilled) {
    const Kiv::File::Path savedInstall = GetInstallRoot(), savedData = GetDataRoot();
    SetFolderRoots(Kiv::File::Path(HALVEX_STAGE_DIR),
                   Kiv::File::Path(HALVEX_STAGE_DIR "/UserData"));
    InterfaceTextDB::MarkUnloaded();

    ResultsLog log;
    AddMessage(log, kResultsError, Kuid(1, 2), "$wex_installed",
               Values({{"asset_kuid", "<kuid:1:2>"}}));
    AddMessage(log, kResultsError, {}, "$duv_obsolete_asset",
               Values({{"lowest_halvexbuild", "2.7"}}));
    AddMessage(log, kResultsInfo, {}, "$duv_eh_error");
    AddMessage(log, kResultsInfo, {}, "$no_such_key_here");
    AddMessage(log, kResultsInfo, {}, "$(asset_kuid) stays a placeholder");
    AddMessage(log, kResultsInfo, {}, "$5 and more");
    EXPECT_EQ(log.GetEntry(0).text.str(), "Asset <kuid:1:2> was installed.");
    EXPECT_EQ(log.GetEntry(1).text.str(),
              "This asset was made for a build older than 2.7 and is obsolete.");
    EXPECT_EQ(log.GetEntry(2).text.str(), "Error: ");
    EXPECT_EQ(log.GetEntry(3).text.str(), "$no_such_key_here");
    EXPECT_EQ(log.GetEntry(4).text.str(), "$(asset_kuid) stays a placeholder");
    EXPECT_EQ(log.GetEntry(5).text.str(), "$5 and more");

    SetFolderRoots(savedInstall, savedData);
    InterfaceTextDB::MarkUnloaded();
}

TEST(ResultsLog, CountsWarningsErrorsAndSuccessesOnly) {
    ResultsLog log;
    for (uint32_t severity : {1u, 2u, 3u, 3u, 4u, 5u, 0u, 2u, 3u})
        AddMessage(log, severity, {}, "m");
    EXPECT_EQ(log.GetCount(), 9u);
    EXPECT_EQ(log.GetWarningCount(), 2u);
    EXPECT_EQ(log.GetErrorCount(), 3u);
    EXPECT_EQ(log.GetSuccessCount(), 1u);
    EXPECT_EQ(log.GetEntry(5).severity, 5u);  // stored though counted nowhere
}

TEST(ResultsLog, TheReportedFlagFollowsAddingWritingAndCopying) {
    ResultsLog log;
    EXPECT_TRUE(log.IsReported());
    AddMessage(log, kResultsInfo, {}, "m");
    EXPECT_FALSE(log.IsReported());
    resultstest::Wire(log);
    EXPECT_TRUE(log.IsReported());
    ResultsLog copy;
    copy = log;
    EXPECT_FALSE(copy.IsReported());
    resultstest::Read(copy, std::string(8, '\0'));
    copy.SetReported(true);
    resultstest::Read(copy, std::string(8, '\0'));
    EXPECT_FALSE(copy.IsReported());
}

TEST(ResultsLog, EntriesKeepTheirOrderAcrossBlocks) {
    ResultsLog log;
    for (int i = 0; i < 40; ++i)
        AddMessage(log, kResultsInfo, {}, std::to_string(i));
    std::vector<std::string> seen;
    log.ForEachEntry([&](const ResultsLogEntry& e) { seen.push_back(e.text.str()); });
    ASSERT_EQ(seen.size(), 40u);
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(seen[i], std::to_string(i));
    EXPECT_EQ(log.GetEntry(13).text.str(), "13");
    EXPECT_EQ(log.GetEntry(39).text.str(), "39");
}

TEST(ResultsEntryRing, ABlockHoldsThirteenEntries) {
    ResultsEntryRing ring;
    EXPECT_EQ(ring.CountBlocks(), 0u);
    for (uint32_t i = 0; i < 27; ++i) {
        ring.Append({kResultsInfo, std::to_string(i), {}});
        uint32_t expectedBlocks = i / 13 + 1;
        EXPECT_EQ(ring.CountBlocks(), expectedBlocks) << "after entry " << i + 1;
    }
    std::string walked;
    ring.ForEachFrom(12, [&](const ResultsLogEntry& e) { walked += e.text.str() + ","; });
    EXPECT_EQ(walked, "12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,");
    walked.clear();
    ring.ForEachFrom(27, [&](const ResultsLogEntry& e) { walked += e.text.str(); });
    EXPECT_EQ(walked, "");
    ring.Clear();
    EXPECT_EQ(ring.Count(), 0u);
    EXPECT_EQ(ring.CountBlocks(), 0u);
}

TEST(ResultsLog, AddingTellsThePipesWithTheLogsWord) {
    ResultsLog log;
    Recorder viewer;
    NuMessageRecipient::ConnectPipe(log, 1, viewer, 2);
    AddMessage(log, kResultsWarning, {}, "m");
    ASSERT_EQ(viewer.heard.size(), 1u);
    EXPECT_EQ(viewer.heard[0].name, "list-updated");
    EXPECT_EQ(viewer.heard[0].value, NuMessageData::WordOf(&log));
    EXPECT_EQ(viewer.heard[0].sender, &log);
}

TEST(ResultsLog, CopyingReplacesEntriesAndCountsButNotContextOrPipes) {
    ResultsLog source, target;
    AddMessage(source, kResultsError, Kuid(1, 2), "e");
    AddMessage(source, kResultsSuccess, {}, "s");
    AddMessage(target, kResultsWarning, {}, "old");
    AddMessage(target, kResultsWarning, {}, "old");
    target.PushContext(Kuid(9, 9));
    Recorder viewer;
    NuMessageRecipient::ConnectPipe(target, 1, viewer, 2);

    target = source;
    EXPECT_EQ(target.GetCount(), 2u);
    EXPECT_EQ(target.GetEntry(0).text.str(), "e");
    EXPECT_EQ(ParameterText(target.GetEntry(0)), "<kuid:1:2>");
    EXPECT_EQ(target.GetWarningCount(), 0u);
    EXPECT_EQ(target.GetErrorCount(), 1u);
    EXPECT_EQ(target.GetSuccessCount(), 1u);
    EXPECT_EQ(target.GetContextDepth(), 1u);
    EXPECT_TRUE(viewer.heard.empty());
    EXPECT_EQ(source.GetCount(), 2u);

    target = target;  // NOLINT: copying a log onto itself changes nothing
    EXPECT_EQ(target.GetCount(), 2u);
}

TEST(ResultsLog, DestroyingLeavesTheMapAndTellsThePipes) {
    Recorder viewer;
    uint32_t word;
    {
        ResultsLog log;
        word = NuMessageData::WordOf(&log);
        ResultsLog other;
        GlobalResultsMap::Set(7001, &log);
        GlobalResultsMap::Set(7002, &log);
        GlobalResultsMap::Set(7003, &other);
        NuMessageRecipient::ConnectPipe(log, 1, viewer, 2);
        AddMessage(log, kResultsInfo, {}, "m");
        EXPECT_EQ(GlobalResultsMap::Find(7001), &log);
        EXPECT_EQ(GlobalResultsMap::Find(7003), &other);
        GlobalResultsMap::Erase(7003);
        GlobalResultsMap::Erase(7003);  // a key no longer there
        EXPECT_EQ(GlobalResultsMap::Find(7003), nullptr);
        GlobalResultsMap::Set(7003, &other);
    }
    EXPECT_EQ(GlobalResultsMap::Find(7001), nullptr);
    EXPECT_EQ(GlobalResultsMap::Find(7002), nullptr);
    EXPECT_EQ(GlobalResultsMap::Find(7003), nullptr);
    const std::vector<std::string> expected = {"list-updated", "list-destroyed", "pipe-closed"};
    EXPECT_EQ(viewer.Names(), expected);
    EXPECT_EQ(viewer.heard[1].value, word);
    EXPECT_EQ(viewer.heard[2].value, 2u);
}

TEST(GlobalResultsMap, SetReplacesTheLogUnderAKey) {
    ResultsLog a, b;
    GlobalResultsMap::Set(8001, &a);
    GlobalResultsMap::Set(8001, &b);
    EXPECT_EQ(GlobalResultsMap::Find(8001), &b);
    GlobalResultsMap::EraseLog(&a);
    EXPECT_EQ(GlobalResultsMap::Find(8001), &b);
    GlobalResultsMap::Erase(8001);
    EXPECT_EQ(GlobalResultsMap::Find(8001), nullptr);
}

}  // namespace
