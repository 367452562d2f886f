// Installing archived assets against a scripted daemon: what is asked of the daemon, what lands
// in the asset's folder, which messages the log gets, and the prompt chain.
#include "archive/cdp_install.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "archive/cdp_archive.h"
#include "archive/cdp_dsid.h"
#include "archive/cdp_write.h"
#include "assetdb/asset_handle.h"
#include "assetdb/asset_info.h"
#include "assetdb/asset_info_format.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "configdata/config_file.h"
#include "configdata/interface_text.h"
#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/data_root.h"
#include "foundation/tbuffer.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;
using requesttest::Wire;
using W = Kiv::PString;

const KUID kAsset(77, 1001);
const KUID kNeeded(77, 1002);
constexpr uint64_t kHandle = 41;

// An install of its own: the English interface texts and a data root holding the folders the
// scripted daemon hands out.
class Install {
public:
    Install() : install_(GetInstallRoot()), data_(GetDataRoot()) {
        std::filesystem::create_directories(dir_ / "Data");
        std::filesystem::copy_file(HALVEX_SOURCE_DIR "/data/Data/InterfaceText.txt",
                                   dir_ / "Data/InterfaceText.txt");
        std::filesystem::create_directories(dir_ / "UserData/editing");
        SetFolderRoots(Kiv::File::Path(dir_.path()), Kiv::File::Path(dir_ / "UserData"));
        InterfaceTextDB::MarkUnloaded();
    }
    ~Install() {
        SetFolderRoots(install_, data_);
        InterfaceTextDB::MarkUnloaded();
    }
    std::string Folder() const { return dir_ / "UserData/editing/asset"; }
    const testsupport::TempDir& Dir() const { return dir_; }

private:
    testsupport::TempDir dir_;
    Kiv::File::Path install_, data_;
};

// The archive entry of kAsset: a mesh that needs kNeeded, with a file at the top and one in a
// sub-folder, and its dsid matching or not.
TDBTagRef Entry(bool dsidMatches, const char* compression = nullptr) {
    // Raw files unless a compression is named.
    TDBTagRef entry = souptest::NewContainer();
    TDBContainerTag::SetKUID(entry, W("kuid"), kAsset);
    TDBContainerTag::SetString(entry, W("kind"), W("Mesh"));
    TDBContainerTag::SetString(entry, W("username"), W("Shed"));
    TDBContainerTag::SetKUID(entry, W("mesh-asset"), kNeeded);
    TDBContainerTag::SetString(entry, W(".cache"), W("x"));
    TDBContainerTag::SetString(entry, W("folder-icon"), W("y"));
    if (compression != nullptr) TDBContainerTag::SetString(entry, W("compression"), W(compression));
    TDBTagRef files = souptest::AddContainer(entry, "files");
    souptest::AddValue(files, "shed.im", kTagRaw, std::string(300, 'm'));
    TDBTagRef sub = souptest::AddContainer(files, "art");
    souptest::AddValue(sub, "roof.texture.txt", kTagRaw, "roof");
    if (dsidMatches)
        CdpStoreDsid(entry);
    else
        TDBContainerTag::SetString(entry, W("dsid"), W("4:1"));
    return entry;
}

Bytes InfoReply(uint32_t status) {
    WEXAssetInfo info;
    info.asset = kAsset;
    info.SetStatus(status);
    TBuffer buffer;
    WEXWriteAssetInfo(buffer, info);
    const auto* p = static_cast<const uint8_t*>(buffer.GetData());
    return Bytes(p, p + buffer.GetDataLength());
}

constexpr uint32_t kNotHeld = kWEXStatusUnknown;
constexpr uint32_t kInstalled = kWEXStatusInstalled;

// A daemon that knows the asset with the status given (kNotHeld: creates it), hands out the
// folder and answers commits and reverts with true.
void Script(ScriptedTransport& daemon, uint32_t status, const std::string& folder,
            uint64_t handle = kHandle) {
    daemon.Answer(kWEXRequestAssetInfo, InfoReply(status));
    daemon.Answer(kWEXRequestOpenAssetForEdit, Wire().U64(handle).Name("Shed").Text(folder));
    daemon.Answer(kWEXRequestCreateAsset,
                  Wire().U64(handle).Kuid(77, 1001).Name("Shed").Text(folder));
    daemon.Answer(kWEXRequestHandlePath, Wire().Name("Shed").Text(folder));
    daemon.Answer(kWEXRequestCommitAsset, Wire().Bool(true).Bool(true));
    daemon.Answer(kWEXRequestRevertAsset, Wire().Bool(true));
}

struct Message {
    uint32_t severity;
    std::string text;
};
std::vector<Message> Messages(ResultsLog& log) {
    std::vector<Message> out;
    log.ForEachEntry([&](const ResultsLogEntry& e) { out.push_back({e.severity, e.text.str()}); });
    return out;
}

std::string Text(const char* key) {
    return GetInterfaceString(key).str();
}

std::string Filled(const char* key) {
    std::string text = Text(key);
    std::string mark = "$(ASSET_KUID)";
    size_t at = text.find(mark);
    if (at != std::string::npos) text.replace(at, mark.size(), kAsset.ToString().str());
    return text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t CommitFlagsSent(const ScriptedTransport& daemon) {
    auto commits = daemon.SentWithId(kWEXRequestCommitAsset);
    if (commits.size() != 1 || commits[0].payload.size() != 12) return 0xFFFFFFFF;
    const uint8_t* p = commits[0].payload.data() + 8;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (p[3] << 24);
}

TEST(InstallArchiveAsset, ANewAssetIsCreatedExtractedWrittenAndCommitted) {
    Install install;
    ScriptedTransport daemon;
    // The daemon's new asset holds a seed config; the installed one replaces it.
    std::filesystem::create_directories(install.Folder());
    std::ofstream(install.Folder() + "/config.txt") << "kuid <kuid:77:1001>\n";
    Script(daemon, kNotHeld, install.Folder());
    ResultsLog log;
    bool second = false;
    EXPECT_EQ(InstallArchiveAsset(Entry(false), log, kCdpInstallCommit, &second, nullptr), kAsset);
    EXPECT_TRUE(second);
    EXPECT_EQ(CommitFlagsSent(daemon), 0u);
    EXPECT_EQ(daemon.SentWithId(kWEXRequestOpenAssetForEdit).size(), 0u);
    ASSERT_EQ(daemon.SentWithId(kWEXRequestCreateAsset).size(), 1u);
    ASSERT_EQ(daemon.SentWithId(kWEXPostAssetFavorite).size(), 1u);
    EXPECT_EQ(daemon.SentWithId(kWEXPostAssetFavorite)[0].payload,
              Wire().Kuid(77, 1001).Bool(true).bytes());

    EXPECT_EQ(ReadFile(install.Folder() + "/shed.im"), std::string(300, 'm'));
    EXPECT_EQ(ReadFile(install.Folder() + "/art/roof.texture.txt"), "roof");
    EXPECT_FALSE(std::filesystem::exists(install.Folder() + "/config.txt"));
    TDBTagRef config;
    ASSERT_TRUE(ReadConfigFile({}, install.Folder() + "/config.chump", config));
    EXPECT_EQ(TDBContainerTag::GetString(config, W("kind")).str(), "mesh");
    for (const char* gone : {"files", "dsid", "compression", "folder-icon", ".cache"})
        EXPECT_FALSE(TDBContainerTag::HasTag(config, W(gone))) << gone;
    EXPECT_EQ(TDBContainerTag::GetKUID(TDBContainerTag::GetContainer(config, W("kuid-table")),
                                       W("0"), KUID::kNull),
              kNeeded);

    auto messages = Messages(log);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].severity, kResultsSuccess);
    EXPECT_EQ(messages[0].text, Filled("$wex_installed"));
    EXPECT_EQ(log.GetEntry(0).parameter.GetText().str(), kAsset.ToString().str());
}

TEST(InstallArchiveAsset, AReinstalledAssetIsWrittenAsTextAndNotCommitted) {
    Install install;
    ScriptedTransport daemon;
    std::filesystem::create_directories(install.Folder() + "/old");
    std::ofstream(install.Folder() + "/old/stale.im") << "stale";
    std::ofstream(install.Folder() + "/config.chump") << "stale";
    Script(daemon, kInstalled, install.Folder());
    ResultsLog log;
    EXPECT_EQ(InstallArchiveAsset(Entry(true), log, kCdpInstallCommit, nullptr, nullptr), kAsset);
    EXPECT_EQ(daemon.SentWithId(kWEXRequestCommitAsset).size(), 0u);
    EXPECT_EQ(daemon.SentWithId(kWEXRequestOpenAssetForEdit).size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(install.Folder() + "/old"));
    EXPECT_FALSE(std::filesystem::exists(install.Folder() + "/config.chump"));
    EXPECT_TRUE(std::filesystem::exists(install.Folder() + "/config.txt"));
    EXPECT_EQ(ReadFile(install.Folder() + "/shed.im"), std::string(300, 'm'));
    ASSERT_EQ(Messages(log).size(), 1u);
    EXPECT_EQ(Messages(log)[0].severity, kResultsSuccess);
}

TEST(InstallArchiveAsset, AMatchingDsidCommitsAsArchived) {
    struct Case {
        bool dsid;
        uint32_t flags;
        uint32_t commitFlags;
    };
    for (const Case& c :
         {Case{true, 2, 6}, Case{true, 10, 14}, Case{false, 10, 8}, Case{false, 2 | 4, 0}}) {
        SCOPED_TRACE(testing::Message() << c.dsid << " " << c.flags);
        Install install;
        ScriptedTransport daemon;
        Script(daemon, kNotHeld, install.Folder());
        ResultsLog log;
        EXPECT_EQ(InstallArchiveAsset(Entry(c.dsid), log, c.flags, nullptr, nullptr), kAsset);
        EXPECT_EQ(CommitFlagsSent(daemon), c.commitFlags);
    }
}

TEST(InstallArchiveAsset, FailuresSayWhichAndKeepTheDatabaseAsItWas) {
    struct Case {
        const char* name;
        uint32_t status;
        std::function<void(ScriptedTransport&, const Install&)> script;
        const char* key;
        bool reverted;
    };
    const Case cases[] = {
        {"no handle", kNotHeld,
         [](ScriptedTransport& d, const Install& i) {
             Script(d, kNotHeld, i.Folder(), WEXAssetHandle::kNoDaemonHandle);
         },
         "$wex_write_error", false},
        {"no handle for an installed asset", kInstalled,
         [](ScriptedTransport& d, const Install& i) {
             Script(d, kInstalled, i.Folder());
             d.Unreachable(kWEXRequestOpenAssetForEdit);
         },
         "$wex_write_error", false},
        {"no folder", kNotHeld,
         [](ScriptedTransport& d, const Install&) { Script(d, kNotHeld, ""); }, "$wex_write_error",
         false},
        {"old files outside the data root", kInstalled,
         [](ScriptedTransport& d, const Install& i) {
             Script(d, kInstalled, i.Dir() / "elsewhere");
         },
         "$wex_overwrite_error", false},
        {"files that do not unpack", kNotHeld,
         [](ScriptedTransport& d, const Install& i) { Script(d, kNotHeld, i.Folder()); },
         "$wex_failed_install", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Install install;
        std::filesystem::create_directories(install.Dir() / "elsewhere");
        std::ofstream(install.Dir() / "elsewhere/keep.im") << "keep";
        ScriptedTransport daemon;
        c.script(daemon, install);
        ResultsLog log;
        TDBTagRef entry = Entry(false, c.reverted ? "LZSS" : nullptr);
        EXPECT_EQ(InstallArchiveAsset(entry, log, kCdpInstallCommit, nullptr, nullptr),
                  KUID::kNull);
        auto messages = Messages(log);
        ASSERT_GE(messages.size(), 1u);
        EXPECT_EQ(messages.back().severity, kResultsError);
        EXPECT_EQ(messages.back().text, Filled(c.key));
        EXPECT_EQ(daemon.SentWithId(kWEXRequestRevertAsset).size(), c.reverted ? 1u : 0u);
        EXPECT_EQ(daemon.SentWithId(kWEXRequestCommitAsset).size(), 0u);
        EXPECT_EQ(daemon.SentWithId(kWEXPostAssetFavorite).size(), 0u);
        EXPECT_EQ(ReadFile(install.Dir() / "elsewhere/keep.im"), "keep");
    }
}

TEST(InstallArchiveAsset, AConfigThatCannotBeWrittenIsNoInstall) {
    Install install;
    ScriptedTransport daemon;
    Script(daemon, kNotHeld, install.Folder());
    // A folder where the config file would go.
    std::filesystem::create_directories(install.Folder() + "/config.chump/x");
    ResultsLog log;
    EXPECT_EQ(InstallArchiveAsset(Entry(false), log, kCdpInstallCommit, nullptr, nullptr),
              KUID::kNull);
    ASSERT_EQ(Messages(log).size(), 1u);
    EXPECT_EQ(Messages(log)[0].text, Filled("$wex_write_error"));
    EXPECT_EQ(daemon.SentWithId(kWEXRequestRevertAsset).size(), 1u);
    EXPECT_EQ(daemon.SentWithId(kWEXRequestCommitAsset).size(), 0u);
}

// Answers with a fixed answer and keeps what it was asked.
class FixedPrompt : public CdpInstallPrompt {
public:
    explicit FixedPrompt(uint32_t answer) : answer_(answer) {}
    uint32_t Ask(const Kiv::String& prompt, const Kiv::String& logText, const KUID& asset,
                 ResultsLog&) override {
        asked.push_back({prompt.str(), logText.str()});
        EXPECT_EQ(asset, kAsset);
        return answer_;
    }
    std::vector<std::pair<std::string, std::string>> asked;

private:
    uint32_t answer_;
};

TEST(InstallArchiveAsset, AnInstalledAssetIsOverwrittenOnlyWhenThePromptSaysSo) {
    struct KeysCase {
        uint32_t status;
        const char* prompt;
        const char* log;
    };
    const KeysCase keys[] = {
        {kWEXStatusOpenForEdit | kWEXStatusBuiltIn | kWEXStatusVendrixItem,
         "$wex_prompt_openforedit", "$wex_prompt_openforedit_log"},
        {kWEXStatusBuiltIn | kWEXStatusVendrixItem, "$wex_prompt_builtin",
         "$wex_prompt_builtin_log"},
        {kWEXStatusVendrixItem, "$wex_prompt_vdx_item", "$wex_prompt_vdx_item_log"},
        {0, "$wex_prompt_alreadyinstalled", "$wex_prompt_alreadyinstalled_log"},
    };
    for (const KeysCase& k : keys) {
        for (uint32_t answer = 0; answer <= 4; ++answer) {
            SCOPED_TRACE(testing::Message() << k.prompt << " answer " << answer);
            Install install;
            ScriptedTransport daemon;
            Script(daemon, kInstalled | k.status, install.Folder());
            FixedPrompt prompt(answer);
            ResultsLog log;
            const bool overwrite = answer == 2 || answer == 3;
            EXPECT_EQ(InstallArchiveAsset(Entry(false), log, kCdpInstallCommit, nullptr, &prompt),
                      overwrite ? kAsset : KUID::kNull);
            ASSERT_EQ(prompt.asked.size(), 1u);
            EXPECT_EQ(prompt.asked[0].first, Text(k.prompt));
            EXPECT_EQ(prompt.asked[0].second, Text(k.log));
            EXPECT_EQ(daemon.SentWithId(kWEXRequestOpenAssetForEdit).size(), overwrite ? 1u : 0u);
            EXPECT_EQ(Messages(log).size(), overwrite ? 1u : 0u);
        }
    }
    // An asset that is not installed is never asked about.
    Install install;
    ScriptedTransport daemon;
    Script(daemon, kNotHeld, install.Folder());
    FixedPrompt prompt(0);
    ResultsLog log;
    EXPECT_EQ(InstallArchiveAsset(Entry(false), log, kCdpInstallCommit, nullptr, &prompt), kAsset);
    EXPECT_TRUE(prompt.asked.empty());
}

class ScriptedAnswerer : public InstallPromptAnswerer {
public:
    explicit ScriptedAnswerer(uint32_t answer) : answer_(answer) {}
    std::string askedName;

protected:
    uint32_t Question(const KUID&, const Kiv::String& name, const Kiv::String&) override {
        askedName = name.str();
        return answer_;
    }

private:
    uint32_t answer_;
};

TEST(InstallPromptAnswerer, LogsWhatWasDoneAndRecordsTheAnswer) {
    Install install;
    struct Case {
        uint32_t answer;
        const char* key;  // null: nothing logged
    };
    const Case cases[] = {{0, "$wex_prompt_skipped"},
                          {1, "$wex_prompt_skipped"},
                          {2, "$wex_prompt_overwritten"},
                          {3, "$wex_prompt_overwritten"},
                          {4, nullptr},
                          {5, nullptr}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer);
        for (bool named : {true, false}) {
            ScriptedTransport daemon;
            WEXAssetInfo info;
            info.asset = kAsset;
            info.SetStatus(kInstalled);
            if (named) info.name = "Shed";
            TBuffer reply;
            WEXWriteAssetInfo(reply, info);
            const auto* p = static_cast<const uint8_t*>(reply.GetData());
            daemon.Answer(kWEXRequestAssetInfo, Bytes(p, p + reply.GetDataLength()));
            ScriptedAnswerer answerer(c.answer);
            ResultsLog log;
            EXPECT_EQ(answerer.Ask("prompt", "The asset is already installed.", kAsset, log),
                      c.answer);
            const std::string name = named ? "Shed" : kAsset.ToString().str();
            EXPECT_EQ(answerer.askedName, name);
            EXPECT_EQ(answerer.Answers().at(kAsset), c.answer);
            EXPECT_EQ(answerer.AnswerForAll(), c.answer == 4);
            auto messages = Messages(log);
            if (c.key == nullptr) {
                EXPECT_TRUE(messages.empty());
                continue;
            }
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0].severity, kResultsWarning);
            std::string expected = Text(c.key);
            expected.replace(expected.find("$(ASSET_NAME)"), 13, name);
            expected.replace(expected.find("$(ACTION)"), 9, "The asset is already installed.");
            EXPECT_EQ(messages[0].text, expected);
        }
    }
}

TEST(CdpMergeKuidTable, AddsWhatIsMissingUnderFreshNumbers) {
    auto table = [](const TDBTagRef& config) {
        std::vector<std::string> out;
        TDBTagRef t = TDBContainerTag::GetContainer(config, W("kuid-table"));
        W name;
        TDBTagRef child;
        for (uint32_t i = 0; t && t->GetChildAt(i, name, child); ++i)
            out.push_back(name.str() + "=" +
                          TDBContainerTag::GetKUID(t, name, KUID::kNull).ToString().str());
        return out;
    };
    KUIDBlockList deps;
    deps.Append(KUID(1, 1));
    deps.Append(KUID(1, 2));
    deps.Append(KUID(1, 3));

    TDBTagRef missing = souptest::NewContainer();
    CdpMergeKuidTable(missing, deps);
    EXPECT_EQ(table(missing),
              (std::vector<std::string>{"0=<kuid:1:1>", "1=<kuid:1:2>", "2=<kuid:1:3>"}));

    // Listed ones stay; names that are not whole numbers count for nothing.
    TDBTagRef listed = souptest::NewContainer();
    TDBTagRef t = souptest::AddContainer(listed, "kuid-table");
    TDBContainerTag::SetKUID(t, W("3"), KUID(1, 2));
    TDBContainerTag::SetKUID(t, W("main"), KUID(1, 9));
    TDBContainerTag::SetKUID(t, W("9x"), KUID(1, 8));
    TDBContainerTag::SetKUID(t, W("99999999999999"), KUID(1, 7));
    CdpMergeKuidTable(listed, deps);
    EXPECT_EQ(table(listed), (std::vector<std::string>{"3=<kuid:1:2>", "main=<kuid:1:9>",
                                                       "9x=<kuid:1:8>", "99999999999999=<kuid:1:7>",
                                                       "4=<kuid:1:1>", "5=<kuid:1:3>"}));

    // No dependencies and no table: none is made.
    TDBTagRef none = souptest::NewContainer();
    CdpMergeKuidTable(none, KUIDBlockList());
    EXPECT_FALSE(TDBContainerTag::HasTag(none, W("kuid-table")));
}

}  // namespace
