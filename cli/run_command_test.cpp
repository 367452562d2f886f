// The dispatcher and the commands, against a scripted daemon behind the request seam: what each
// command asks the daemon, what it prints, the messages it leaves in its log and its exit code.
#include "cli/run_command.h"

#include <gtest/gtest.h>

#include <memory>
#include <sstream>

#include "archive/cdp_archive.h"
#include "archive/cdp_dsid.h"
#include "archive/cdp_export.h"
#include "archive/cdp_file_data.h"
#include "archive/cdp_write.h"
#include "assetdb/asset_info_format.h"
#include "assetdb/repair_task.h"
#include "assetdb/request_hooks.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/tag_text.h"
#include "cli/compiler_entry.h"
#include "cli/engine_objects.h"
#include "cli/results_summary.h"
#include "configdata/config_text.h"
#include "configdata/soup_test_support.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;
using requesttest::Wire;

constexpr const char* kProgram = "/opt/halvex/bin/HalvexUtil";
constexpr const char* kNoSuchWord =
    "- <NULL> : Invalid argument, please check the help for the list of valid argument\n\n";

Bytes Soup(const TDBTagRef& tree) {
    std::string s = souptest::Write(tree);
    return Bytes(s.begin(), s.end());
}

class Commands : public testing::Test {
protected:
    // Runs the command line `args` (after the program's name); returns the exit code and keeps
    // what the command printed and its printed log.
    int Run(std::vector<std::string> args) {
        args.insert(args.begin(), kProgram);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        log = std::make_unique<ResultsLog>();
        out.str("");
        err.str("");
        int code = RunCommand(*log, engine, static_cast<int>(args.size()), argv.data(), out, err);
        std::ostringstream printed;
        PrintResultsSummary(*log, printed);
        summary = printed.str();
        return code;
    }
    // The summary of a log holding only the one error message.
    static std::string OneError(const std::string& line) {
        return "- " + line + "\nOK (1 Errors, 0 Warnings)\n";
    }
    static constexpr const char* kClean = "OK (0 Errors, 0 Warnings)\n";

    ScriptedTransport daemon;
    EngineRecord engine;
    std::unique_ptr<ResultsLog> log;
    std::ostringstream out;
    std::ostringstream err;
    std::string summary;
};

TEST_F(Commands, EveryWordHasItsHandling) {
    for (const CommandWord& w : GetCommandWords())
        EXPECT_NE(FindCommandHandler(w.id), nullptr) << w.word;
}

TEST_F(Commands, TheProgramsOwnWords) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
    };
    const Case cases[] = {
        {{"VERSION"}, 0, "Build 49922\n"},
        {{"installedversionlo"}, 104, ""},
        {{"installedversionhi"}, 1, ""},
        {{"installedbuildnumberlo"}, 2, ""},
        {{"InstalledBuildNumberHi"}, 195, ""},
        {{"installedversion"}, 360, ""},
        {{"installedbuildnumber"}, 49922, ""},
        // echo keeps the letter case and ends in a blank before the line end.
        {{"echo", "Hello", "World", ""}, 0, "Hello World  \n"},
        {{"Echo"}, 0, "\n"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.args), c.exitCode) << c.args[0];
        EXPECT_EQ(out.str(), c.out) << c.args[0];
        EXPECT_EQ(summary, kClean) << c.args[0];
    }
    EXPECT_TRUE(daemon.Sent().empty());
}

TEST_F(Commands, AWordThatMatchesNothingIsAnError) {
    const std::vector<std::string> cases[] = {
        {"versions"}, {""}, {"help"}, {"norender"}, {"registeraccount", "ann"},
    };
    for (const auto& args : cases) {
        EXPECT_EQ(Run(args), -1) << args[0];
        EXPECT_EQ(summary, std::string(kNoSuchWord) + "OK (1 Errors, 0 Warnings)\n") << args[0];
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_TRUE(daemon.Sent().empty());
}

TEST_F(Commands, AMissingArgumentIsReportedBeforeTheDaemonIsAsked) {
    struct Case {
        const char* word;
        const char* message;
    };
    const Case cases[] = {
        {"edit", "Missing AssetID parameter."},
        {"printconfig", "Missing AssetID parameter."},
        {"commit", "Missing AssetID parameter."},
        {"revert", "Missing AssetID parameter."},
        {"delete", "Missing AssetID parameter."},
        {"installcdp", "Missing input filepath parameter."},
        {"listbuilds", "Missing path parameter."},
        {"compile", "Invalid file path."},
        {"compresstexture", "Missing AssetID parameter."},
        {"installfromvdx", "Missing AssetID parameter."},
        {"vdxparse", "Missing CDP filepath."},
        {"vdxparsefolder", "No folder path set"},
    };
    for (const Case& c : cases) {
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{c.word}, std::vector<std::string>{c.word, ""}}) {
            EXPECT_EQ(Run(args), -1) << c.word;
            EXPECT_EQ(summary, OneError(std::string("<NULL> : ") + c.message)) << c.word;
        }
    }
    EXPECT_TRUE(daemon.Sent().empty());
}

TEST_F(Commands, InstallFromVdxWantsARealKUIDAndFailsWhenTheAssetIsNotThereAfterwards) {
    EXPECT_EQ(Run({"installfromvdx", "notakuid"}), -1);
    EXPECT_EQ(summary, OneError("<NULL> : Missing AssetID parameter."));
    EXPECT_TRUE(daemon.Sent().empty());
    // A daemon that cannot be asked installs nothing and makes nothing look installed.
    daemon.Unreachable(kWEXRequestUpdatedAsset);
    daemon.Unreachable(kWEXRequestAssetInfo);
    // The lost reply is named as well, so the user knows why.
    EXPECT_EQ(Run({"installfromvdx", "<kuid:12:34>"}), -1);
    EXPECT_EQ(summary,
              "- <kuid:12:34> : Asset <kuid:12:34> was not installed.\n"
              "- <kuid:12:34> : The request got no reply: the asset-database daemon did not "
              "answer.\nOK (2 Errors, 0 Warnings)\n");
}

TEST_F(Commands, EditPrintsTheEditFolderAndReleasesTheHandle) {
    daemon.Answer(kWEXRequestOpenAssetForEdit, Wire().U64(7).Name("Box").Text("/u/editing/box"));
    EXPECT_EQ(Run({"edit", "<KUID:12:34>"}), 0);
    EXPECT_EQ(out.str(), "+ <kuid:12:34> : /u/editing/box\n");
    EXPECT_EQ(summary, kClean);
    ASSERT_EQ(daemon.SentWithId(kWEXRequestOpenAssetForEdit).size(), 1u);
    EXPECT_EQ(daemon.SentWithId(kWEXRequestOpenAssetForEdit)[0].payload,
              Bytes(Wire().Kuid(12, 34).Bool(false)));
    EXPECT_EQ(daemon.SentWithId(kWEXRequestCloseHandle).size(), 1u);
}

TEST_F(Commands, AnAssetTheDaemonDoesNotOpenIsUnknown) {
    // Commit and revert go no further with no handle to work on.
    for (const char* word : {"edit", "commit", "revert"}) {
        // No answer at all is not "unknown": the daemon never said.
        daemon.Unreachable(kWEXRequestOpenAssetForEdit);
        daemon.Unreachable(kWEXRequestAssetInfo);
        EXPECT_EQ(Run({word, "<kuid2:12:34:5>"}), -1) << word;
        EXPECT_EQ(summary, OneError("<kuid2:12:34:5> : The request got no reply: the "
                                    "asset-database daemon did not answer."))
            << word;
        EXPECT_EQ(out.str(), "");
        daemon.Answer(kWEXRequestOpenAssetForEdit, Wire().U64(0xFFFFFFFFFFFFFFFFull));
        EXPECT_EQ(Run({word, "<kuid2:12:34:5>"}), -1) << word;
        EXPECT_EQ(summary, OneError("<kuid2:12:34:5> : Unknown AssetID.")) << word;
    }
    EXPECT_TRUE(daemon.SentWithId(kWEXRequestCommitAsset).empty());
    EXPECT_TRUE(daemon.SentWithId(kWEXRequestRevertAsset).empty());
}

TEST_F(Commands, CommitRevertAndDeleteEndWithTheDaemonsAnswer) {
    daemon.Answer(kWEXRequestOpenAssetForEdit, Wire().U64(7).Name("Box").Text("/u/editing/box"));
    // Nor can the daemon be asked afterwards what became of the asset.
    daemon.Unreachable(kWEXRequestAssetInfo);
    struct Case {
        const char* word;
        uint32_t request;
        Bytes yes;
        Bytes no;
    };
    const Case cases[] = {
        {"commit", kWEXRequestCommitAsset, Wire().Bool(true).Bool(false), Wire().Bool(false)},
        {"revert", kWEXRequestRevertAsset, Wire().Bool(true), Wire().Bool(false)},
        {"delete", kWEXRequestDeleteAsset, Wire().Bool(true), Wire().Bool(false)},
    };
    for (const Case& c : cases) {
        daemon.Answer(c.request, c.yes);
        EXPECT_EQ(Run({c.word, "<kuid:12:34>"}), 0) << c.word;
        EXPECT_EQ(daemon.SentWithId(c.request).back().resultsLog, log.get()) << c.word;
        daemon.Answer(c.request, c.no);
        EXPECT_EQ(Run({c.word, "<kuid:12:34>"}), -1) << c.word;
        daemon.Unreachable(c.request);
        EXPECT_EQ(Run({c.word, "<kuid:12:34>"}), -1) << c.word;
        EXPECT_EQ(summary, OneError("<kuid:12:34> : The request got no reply: the asset-database "
                                    "daemon did not answer."))
            << c.word;
    }
    EXPECT_EQ(daemon.SentWithId(kWEXRequestDeleteAsset).back().payload,
              Bytes(Wire().Kuid(12, 34).Bool(false)));
}

TEST_F(Commands, PrintConfigDumpsTheTreeAsText) {
    TDBTagRef config = souptest::NewContainer();
    WEXSetTextTag(config, "username", "Box");
    WEXSetTextTag(config, "kind", "scenery");
    daemon.Answer(kWEXRequestAssetConfig, Soup(config));
    EXPECT_EQ(Run({"printconfig", "<kuid:12:34>"}), 0);
    std::string text;
    ASSERT_TRUE(AppendTagTreeText(config, text));
    EXPECT_NE(text.find("\"Box\""), std::string::npos);
    EXPECT_EQ(out.str(), "+ Start of <kuid:12:34> dump\n" + text + "+ End of <kuid:12:34> dump\n");
    EXPECT_EQ(summary, kClean);

    daemon.Answer(kWEXRequestAssetConfig, {});
    EXPECT_EQ(Run({"printconfig", "<kuid:12:34>"}), -1);
    EXPECT_EQ(summary, OneError("<kuid:12:34> : Asset is not local."));
    EXPECT_EQ(out.str(), "");

    daemon.Unreachable(kWEXRequestAssetConfig);
    EXPECT_EQ(Run({"printconfig", "<kuid:12:34>"}), -1);
    EXPECT_EQ(summary, OneError("<kuid:12:34> : The request got no reply: the asset-database "
                                "daemon did not answer."));
    EXPECT_EQ(out.str(), "");
}

TEST_F(Commands, InstallCdpHandsTheDaemonThePathAsTyped) {
    daemon.Answer(kWEXRequestInstallArchive, Wire().U32(1).Bool(true));
    EXPECT_EQ(Run({"installcdp", "/Media/My Assets.CDP"}), 0);
    std::vector<requesttest::SentMessage> sent = daemon.SentWithId(kWEXRequestInstallArchive);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].payload, Bytes(Wire().Text("/Media/My Assets.CDP").U32(2).Bool(false)));
    EXPECT_EQ(sent[0].resultsLog, log.get());

    daemon.Answer(kWEXRequestInstallArchive, Wire().U32(0).Bool(false));
    EXPECT_EQ(Run({"installcdp", "/media/a.cdp"}), -1);
}

TEST_F(Commands, GenerateKuidPrintsTheNewKuid) {
    daemon.Answer(kWEXRequestGenerateKUID, Wire().Kuid(123, 456, 3));
    EXPECT_EQ(Run({"generatekuid"}), 0);
    EXPECT_EQ(out.str(), "<KUID2:123:456:3>\n");
    // No answer is the null KUID: printed as the numbers are, and a failure.
    daemon.Unreachable(kWEXRequestGenerateKUID);
    EXPECT_EQ(Run({"generateKUID"}), -1);
    EXPECT_EQ(out.str(), "<KUID2:-1:4294967295:127>\n");
}

TEST_F(Commands, ListBuildsWritesTheDaemonsTextToTheFile) {
    testsupport::TempDir dir;
    daemon.Answer(kWEXRequestInstalledBuilds, Wire().Name("49922,50001"));
    const std::string file = dir / "Builds.TXT";
    dir.Write("Builds.TXT", "old contents that are replaced");
    EXPECT_EQ(Run({"listbuilds", file}), 0);
    EXPECT_EQ(dir.Read("Builds.TXT"), "49922,50001\r\n");
    EXPECT_EQ(summary, kClean);

    daemon.ClearSent();
    EXPECT_EQ(Run({"listbuilds", dir / "missing/builds.txt"}), -1);
    EXPECT_EQ(summary, OneError("<NULL> : Failed to open output file."));
    EXPECT_TRUE(daemon.Sent().empty());
}

TEST_F(Commands, RegisterAccountStoresTheLoginInTheInternetGroup) {
    TDBTagRef group = souptest::NewContainer();
    WEXSetTextTag(group, "language", "de");
    WEXSetTextTag(group, "username", "old");
    daemon.Answer(kWEXRequestReadSettings, Soup(group));
    EXPECT_EQ(Run({"registeraccount", "Ann", "Secret"}), 0);
    EXPECT_EQ(summary, kClean);
    std::vector<requesttest::SentMessage> writes = daemon.SentWithId(kWEXRequestWriteSettings);
    ASSERT_EQ(writes.size(), 1u);
    Bytes name = Wire().Name("internet");
    std::string soup(writes[0].payload.begin() + static_cast<long>(name.size()),
                     writes[0].payload.end());
    TDBTagRef stored = souptest::Read(soup);
    EXPECT_EQ(WEXReadTextTag(stored, "username").view(), "Ann");
    EXPECT_EQ(WEXReadTextTag(stored, "password").view(), "Secret");
    EXPECT_EQ(WEXReadTextTag(stored, "language").view(), "de");

    // A daemon that does not answer is named as the cause.
    const std::string noReply =
        "- <NULL> : The request for Ann got no reply: the asset-database daemon did not answer.\n";
    daemon.Unreachable(kWEXRequestWriteSettings);
    EXPECT_EQ(Run({"registeraccount", "Ann", "Secret"}), -1);
    EXPECT_EQ(summary, "- <NULL> : Unable to write internet settings.\n" + noReply +
                           "OK (2 Errors, 0 Warnings)\n");

    daemon.ClearSent();
    daemon.Unreachable(kWEXRequestReadSettings);
    EXPECT_EQ(Run({"registeraccount", "Ann", "Secret"}), -1);
    EXPECT_EQ(summary, "- <NULL> : Unable to read internet settings.\n" + noReply +
                           "OK (2 Errors, 0 Warnings)\n");
    EXPECT_TRUE(daemon.SentWithId(kWEXRequestWriteSettings).empty());
}

TEST_F(Commands, ASearchTheDaemonDoesNotAnswerIsAnError) {
    // An empty list would read as "no assets": no listing, no backup, no new consists.
    testsupport::TempDir dir;
    dir.Write("list.txt", "train-0 { name \"Goods\" list { } }\n");
    daemon.Unreachable(kWEXRequestSearchAssets);
    const struct {
        std::vector<std::string> args;
        std::string request;  // how the unanswered request is named
    } cases[] = {
        {{"authors"}, "The request"},
        {{"searchbycategory", "TV"}, "The request for tv"},
        {{"backupkeywords"}, "The request"},
        {{"importconsists", dir / "list.txt"}, "The request for " + dir / "list.txt"},
    };
    for (const auto& [args, request] : cases) {
        EXPECT_EQ(Run(args), -1) << args[0];
        EXPECT_EQ(summary, "- <NULL> : The asset search failed.\n- <NULL> : " + request +
                               " got no reply: the asset-database daemon did not answer.\nOK "
                               "(2 Errors, 0 Warnings)\n")
            << args[0];
        EXPECT_EQ(out.str(), "") << args[0];
    }
    EXPECT_TRUE(daemon.SentWithId(kWEXRequestCreateAsset).empty());
}

TEST_F(Commands, StatusOfAnAssetTheDaemonCannotBeAskedAboutIsNotCalledUnknown) {
    daemon.Unreachable(kWEXRequestAssetInfo);
    EXPECT_EQ(Run({"status", "<kuid:12:34>"}), -1);
    EXPECT_EQ(summary, OneError("<kuid:12:34> : The request got no reply: the asset-database "
                                "daemon did not answer."));
    EXPECT_EQ(out.str(), "");
}

TEST_F(Commands, ImportConsistsStopsWhenTheDaemonMakesNoAsset) {
    testsupport::TempDir dir;
    dir.Write("list.txt",
              "train-0 { name \"Goods\" list { } }\ntrain-1 { name \"Mail\" list { } }\n");
    daemon.Answer(kWEXRequestSearchAssets, Wire().U32(0));
    daemon.Answer(kWEXRequestCreateAsset, Wire().U64(0xFFFFFFFFFFFFFFFFull));
    EXPECT_EQ(Run({"importconsists", dir / "list.txt"}), -1);
    EXPECT_EQ(summary, OneError("<NULL> : Unknown AssetID."));
    EXPECT_EQ(daemon.SentWithId(kWEXRequestCreateAsset).size(), 1u);
    EXPECT_TRUE(daemon.SentWithId(kWEXRequestCommitAsset).empty());
}

TEST_F(Commands, ImportConsistsSaysWhyAListThatIsThereCannotBeRead) {
    testsupport::TempDir dir;
    std::string nested;
    for (int i = 0; i < 100000; ++i)
        nested += "a {\n";
    dir.Write("deep.txt", nested);
    EXPECT_EQ(Run({"importconsists", dir / "deep.txt"}), -1);
    EXPECT_EQ(summary, OneError("<NULL> : The file " + dir / "deep.txt" +
                                " could not be read: containers nest deeper than 1000 levels at "
                                "line 1000."));
    EXPECT_EQ(Run({"importconsists", dir / "missing.txt"}), -1);
    EXPECT_EQ(summary, OneError("<NULL> : Invalid input path."));
    EXPECT_TRUE(daemon.Sent().empty());
}

class RepairCommand : public Commands {
protected:
    void SetUp() override {
        WEXRepairTiming timing;
        timing.sleep = [](uint32_t) {};
        SetWEXRepairTiming(timing);
    }
    void TearDown() override { SetWEXRepairTiming({}); }
};

TEST_F(RepairCommand, TheModeWordChoosesTheRepair) {
    struct Case {
        std::vector<std::string> args;
        uint32_t mode;
        bool announced;
    };
    const Case cases[] = {
        {{"repairdatabase"}, 100, true},
        {{"repairdatabase", ""}, 100, true},
        {{"RepairDatabase", "EXTENDED"}, 150, true},
        {{"repairdatabase", "base"}, 20, true},
        // The installer's mode prints nothing and has the daemon repair once more after.
        {{"repairdatabase", "patcher"}, 50, false},
    };
    for (const Case& c : cases) {
        daemon.ClearSent();
        EXPECT_EQ(Run(c.args), 0) << c.mode;
        EXPECT_EQ(out.str(),
                  c.announced ? "Repairing asset database (this may take some time)\n" : "");
        ASSERT_EQ(daemon.SentWithId(kWEXRequestStartRepair).size(), 1u) << c.mode;
        EXPECT_EQ(daemon.SentWithId(kWEXRequestStartRepair)[0].payload, Bytes(Wire().U32(c.mode)));
        EXPECT_EQ(daemon.Sent().back().id,
                  c.mode == 50 ? kWEXPostRepairDatabase : kWEXRequestRepairProgress);
        EXPECT_FALSE(IsRepairRunning());
    }
}

TEST_F(RepairCommand, AnUnknownModeRunsNothing) {
    EXPECT_EQ(Run({"repairdatabase", "everything"}), -1);
    EXPECT_EQ(summary, OneError("<NULL> : Unknown parameter."));
    EXPECT_EQ(out.str(), "");
    EXPECT_TRUE(daemon.Sent().empty());
}

TEST_F(RepairCommand, ARepairThatLoggedErrorsEndsWith255) {
    daemon.Unreachable(kWEXRequestStartRepair);
    EXPECT_EQ(Run({"repairdatabase"}), 255);
    // The repair's own error, and the unanswered request named as its cause.
    EXPECT_EQ(log->GetErrorCount(), 2u);
    EXPECT_NE(summary.find("- <NULL> : The request got no reply: the asset-database daemon did "
                           "not answer.\n"),
              std::string::npos)
        << summary;
}

// createcdp against a scripted daemon, with the archive builder in place as start-up installs
// it.
class CreateCdpCommand : public Commands {
protected:
    void SetUp() override { WEXSetArchiveBuildCall(&CdpBuildArchiveFromExport); }
    void TearDown() override { WEXSetArchiveBuildCall(nullptr); }

    static Bytes Info(const KUID& asset, uint32_t status) {
        WEXAssetInfo info;
        info.asset = asset;
        info.SetStatus(status);
        TBuffer stream;
        EXPECT_TRUE(WEXWriteAssetInfo(stream, info));
        return Bytes(stream.GetData(), stream.GetData() + stream.GetDataLength());
    }
    // The daemon's export of an asset: configuration, raw files.
    static Bytes Export(const KUID& asset, const char* needs) {
        TDBTagRef tree = souptest::NewContainer();
        TDBContainerTag::SetKUID(tree, Kiv::PString("kuid"), asset);
        TDBContainerTag::SetString(tree, Kiv::PString("kind"), Kiv::PString("scenery"));
        if (needs != nullptr)
            TDBContainerTag::SetKUID(tree, Kiv::PString("alias"), KUID::FromText(needs, false));
        TDBTagRef files = souptest::AddContainer(tree, "files");
        souptest::AddValue(files, "config.txt", kTagRaw, "kind \"scenery\"\n");
        return Soup(tree);
    }
};

TEST_F(CreateCdpCommand, ArgumentsAreCheckedBeforeTheDaemonIsAsked) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"createcdp"}, "<NULL> : Missing output path parameter."},
        {{"createcdp", ""}, "<NULL> : Missing output path parameter."},
        {{"createcdp", "out.zip", "<kuid:1:1>"},
         "<NULL> : The output filename must have a .cdp extension."},
        {{"createcdp", "out", "<kuid:1:1>"},
         "<NULL> : The output filename must have a .cdp extension."},
        {{"createcdp", "out.cdp", "<kuid:1:1>", "not an id"}, "<NULL> : Invalid AssetID."},
        {{"createcdp", "out.cdp", "<NULL>"}, "<NULL> : Invalid AssetID."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Run(c.args), -1) << c.message;
        EXPECT_EQ(summary, OneError(c.message));
    }
    EXPECT_TRUE(daemon.Sent().empty());
}

TEST_F(CreateCdpCommand, WritesAnArchiveOfTheExportedAssets) {
    testsupport::TempDir dir;
    // The output name keeps its letter case; the identifiers are read as typed.
    const std::string output = dir / "Out.CDP";
    daemon.Answer(kWEXRequestAssetInfo, Info(KUID(1, 1), kWEXStatusInstalled));
    daemon.Answer(kWEXRequestExportAsset, Export(KUID(1, 1), "<kuid:9:9>"));
    ASSERT_EQ(Run({"createcdp", output, "<KUID:1:1>"}), 0) << summary;
    EXPECT_EQ(summary, kClean);
    EXPECT_EQ(err.str(), "");

    const auto exports = daemon.SentWithId(kWEXRequestExportAsset);
    ASSERT_EQ(exports.size(), 1u);
    EXPECT_EQ(exports[0].payload, Bytes(Wire().Kuid(1, 1).U32(3)));

    CdpArchive archive;
    ASSERT_EQ(CdpOpen(archive, output).str(), "");
    ASSERT_EQ(CdpAssetCount(archive), 1u);
    TDBTagRef entry = CdpGetAsset(archive, 0);
    EXPECT_EQ(CdpAssetKUID(entry), KUID(1, 1));
    EXPECT_EQ(CdpAssetCompression(entry).str(), "LZSS");
    EXPECT_TRUE(CdpCheckDsid(entry));
    TDBTagRef needed = TDBContainerTag::GetContainer(archive.root, Kiv::PString("kuid-table"));
    EXPECT_EQ(TDBContainerTag::GetKUID(needed, Kiv::PString("0"), KUID::kNull), KUID(9, 9));
}

TEST_F(CreateCdpCommand, AnAssetThatIsNotInstalledEndsTheCommandAndKeepsTheOldFile) {
    testsupport::TempDir dir;
    const std::string output = dir.Write("out.cdp", "the old archive");
    const struct {
        const char* why;
        bool reached;
        uint32_t status;
    } cases[] = {
        {"not installed", true, kWEXStatusArchived},
        {"unknown to the daemon", true, kWEXStatusUnknown | kWEXStatusInstalled},
        {"no answer", false, 0},
    };
    for (const auto& c : cases) {
        daemon.ClearSent();
        if (c.reached) {
            daemon.Answer(kWEXRequestAssetInfo, Info(KUID(3, 3), c.status));
        } else {
            daemon.Unreachable(kWEXRequestAssetInfo);
        }
        EXPECT_EQ(Run({"createcdp", output, "<kuid:3:3>"}), -1) << c.why;
        EXPECT_EQ(summary, OneError(c.reached ? "<kuid:3:3> : Asset is not local."
                                              : "<kuid:3:3> : The request got no reply: the "
                                                "asset-database daemon did not answer."))
            << c.why;
        EXPECT_TRUE(daemon.SentWithId(kWEXRequestExportAsset).empty()) << c.why;
        EXPECT_EQ(dir.Read("out.cdp"), "the old archive") << c.why;
    }
}

TEST_F(CreateCdpCommand, AnExportThatCannotBeArchivedIsAnError) {
    testsupport::TempDir dir;
    daemon.Answer(kWEXRequestAssetInfo, Info(KUID(1, 1), kWEXStatusInstalled));
    const struct {
        const char* why;
        bool reached;
        Bytes reply;
    } cases[] = {
        {"no answer", false, {}},
        {"an empty answer", true, {}},
        {"not a soup", true, Bytes{'j', 'u', 'n', 'k'}},
        {"an entry without a KUID", true, Soup(souptest::NewContainer())},
    };
    for (const auto& c : cases) {
        if (c.reached) {
            daemon.Answer(kWEXRequestExportAsset, c.reply);
        } else {
            daemon.Unreachable(kWEXRequestExportAsset);
        }
        EXPECT_EQ(Run({"createcdp", dir / "out.cdp", "<kuid:1:1>"}), -1) << c.why;
        EXPECT_NE(summary.find(c.reached ? "- <kuid:1:1> : Unable to export the asset."
                                         : "- <kuid:1:1> : The request got no reply: the "
                                           "asset-database daemon did not answer."),
                  std::string::npos)
            << c.why << summary;
        EXPECT_FALSE(std::filesystem::exists(dir / "out.cdp")) << c.why;
    }

    // The same asset twice: the second is refused by the archive.
    daemon.Answer(kWEXRequestExportAsset, Export(KUID(1, 1), nullptr));
    EXPECT_EQ(Run({"createcdp", dir / "out.cdp", "<kuid:1:1>", "<kuid:1:1>"}), -1);
    EXPECT_EQ(summary, OneError("<kuid:1:1> : Unable to add content as an item with KUID "
                                "<kuid:1:1> is already present"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out.cdp"));
}

TEST_F(CreateCdpCommand, AFailedWriteIsToldOnStandardError) {
    testsupport::TempDir dir;
    daemon.Answer(kWEXRequestAssetInfo, Info(KUID(1, 1), kWEXStatusInstalled));
    daemon.Answer(kWEXRequestExportAsset, Export(KUID(1, 1), nullptr));
    const std::string output = dir / "missing/out.cdp";
    EXPECT_EQ(Run({"createcdp", output, "<kuid:1:1>"}), -1);
    EXPECT_EQ(summary, kClean);
    EXPECT_EQ(err.str(), std::string(kCdpArchiveWriteFailedMessage) + "\n");

    // No identifiers: an archive of nothing, which opens.
    EXPECT_EQ(Run({"createcdp", dir / "none.cdp"}), 0);
    CdpArchive archive;
    EXPECT_EQ(CdpOpen(archive, dir / "none.cdp").str(), "");
    EXPECT_EQ(CdpAssetCount(archive), 0u);
}

// A compiler driver that keeps what it was given.
std::vector<std::string> gCompilerArgs;
int FakeCompiler(int argc, char** argv) {
    gCompilerArgs.assign(argv, argv + argc);
    return gCompilerArgs.back() == "bad.gs" ? 3 : 0;
}

TEST_F(Commands, CompileHandsTheWholeLineToTheCompiler) {
    SetCompilerCommandLineMain(FakeCompiler);
    EXPECT_EQ(Run({"COMPILE", "-s", "Good.gs"}), 0);
    EXPECT_EQ(gCompilerArgs, (std::vector<std::string>{kProgram, "", "-s", "Good.gs"}));
    EXPECT_EQ(Run({"compile", "bad.gs"}), -1);
    SetCompilerCommandLineMain(nullptr);
}

}  // namespace
