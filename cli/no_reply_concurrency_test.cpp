// The asset commands through the real daemon link against a scripted daemon that drops the link
// once a chosen request has arrived, before it replies. A request that got no reply is never a
// success: the command ends with -1 and its log names the asset (or the folder, or the path)
// and the cause. A change to an asset whose reply was lost is looked up again on a new link,
// and the command reports what the daemon then says is true.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "assetdb/asset_info.h"
#include "assetdb/asset_info_format.h"
#include "assetdb/daemon_link.h"
#include "assetdb/daemon_link_test_support.h"
#include "assetdb/reader_thread.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_sender.h"
#include "assetdb/request_test_support.h"
#include "cli/engine_objects.h"
#include "cli/results_summary.h"
#include "cli/run_command.h"
#include "foundation/tbuffer.h"
#include "tests/support/scripted_daemon.h"
#include "validation/results_log.h"

namespace {

using requesttest::Wire;
using testsupport::ScriptedDaemon;
using Frame = ScriptedDaemon::Frame;

constexpr const char* kProgram = "/opt/halvex/bin/HalvexUtil";
constexpr const char* kDropped =
    "got no reply: the link to the asset-database daemon dropped before it answered.";

std::string AsText(const requesttest::Bytes& b) {
    return std::string(b.begin(), b.end());
}

std::string Info(const KUID& asset, uint32_t status) {
    WEXAssetInfo info;
    info.asset = asset;
    info.SetStatus(status);
    TBuffer stream;
    EXPECT_TRUE(WEXWriteAssetInfo(stream, info));
    return std::string(reinterpret_cast<const char*>(stream.GetData()), stream.GetDataLength());
}

// What the scripted daemon does: the requests it drops the link on (each time, or only the
// first time), and the replies it gives the others (an empty reply when none is scripted).
struct DaemonScript {
    std::set<uint32_t> dropAlways;
    std::set<uint32_t> dropOnce;
    std::map<uint32_t, std::string> answers;
};

class NoReply : public linktest::LinkTest {
protected:
    void SetUp() override {
        LinkTest::SetUp();
        WEXInstallClientLink();
    }
    void TearDown() override {
        LinkTest::TearDown();
        WEXSetTransport({});
    }

    // Runs the command line against a daemon following the script; the exit code, with the
    // printed log in `summary` and the ids of the requests the daemon received in `received`.
    int Run(const DaemonScript& script, std::vector<std::string> args) {
        std::mutex lock;
        std::set<uint32_t> dropOnce = script.dropOnce;
        received.clear();
        ScriptedDaemon::Script s;
        s.onFrame = [&](ScriptedDaemon& d, const Frame& f) {
            std::lock_guard<std::mutex> hold(lock);
            received.push_back(f.messageId);
            if (script.dropAlways.count(f.messageId) != 0) return false;
            if (dropOnce.erase(f.messageId) != 0) return false;
            if (f.secondWord == 0) return true;  // a post
            auto it = script.answers.find(f.messageId);
            return d.Send(ScriptedDaemon::ReplyRecord(
                f.secondWord, it != script.answers.end() ? it->second : std::string()));
        };
        ScriptedDaemon daemon(database, s);
        EXPECT_TRUE(WEXOpenDatabase(StartupOptions()));

        args.insert(args.begin(), kProgram);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        ResultsLog log;
        std::ostringstream out, err;
        EngineRecord engine;
        int code = RunCommand(log, engine, static_cast<int>(args.size()), argv.data(), out, err);
        std::ostringstream printed;
        PrintResultsSummary(log, printed);
        summary = printed.str();
        WEXCloseDatabase();
        std::lock_guard<std::mutex> hold(lock);
        receivedCopy = received;
        return code;
    }
    bool Received(uint32_t id) const {
        return std::find(receivedCopy.begin(), receivedCopy.end(), id) != receivedCopy.end();
    }

    std::vector<uint32_t> received;
    std::vector<uint32_t> receivedCopy;
    std::string summary;
};

const std::string kEditReply = AsText(Wire().U64(7).Name("Box").Text("/u/editing/box"));
const KUID kBox(12, 34);

TEST_F(NoReply, EveryAssetCommandFailsNamingTheAssetAndTheCause) {
    const std::string folder = dir / "assets/Box";
    std::filesystem::create_directories(folder);
    dir.Write("assets/Box/config.txt", "kuid <kuid:12:34>\n");
    const std::string listFile = dir / "builds.txt";
    dir.Write("builds.txt", "the old list");
    struct Case {
        std::vector<std::string> args;
        uint32_t dropped;  // the request the link drops on (the asset's record is never given)
        std::string error;
    };
    const std::string asset = "<kuid:12:34> : The request ";
    const Case cases[] = {
        {{"installfrompath", folder},
         kWEXRequestInstallFromPath,
         "<NULL> : The install of the folder " + folder + " "},
        {{"installcdp", "/media/Box.cdp"},
         kWEXRequestInstallArchive,
         "<NULL> : The request for /media/Box.cdp "},
        {{"edit", "<kuid:12:34>"}, kWEXRequestOpenAssetForEdit, asset},
        {{"printconfig", "<kuid:12:34>"}, kWEXRequestAssetConfig, asset},
        {{"commit", "<kuid:12:34>"}, kWEXRequestCommitAsset, asset},
        {{"revert", "<kuid:12:34>"}, kWEXRequestRevertAsset, asset},
        {{"delete", "<kuid:12:34>"}, kWEXRequestDeleteAsset, asset},
        {{"status", "<kuid:12:34>"}, kWEXRequestAssetInfo, asset},
        {{"validate", "<kuid:12:34>"}, kWEXRequestAssetInfo, asset},
        {{"createcdp", dir / "out.cdp", "<kuid:12:34>"}, kWEXRequestAssetInfo, asset},
        {{"generatekuid"}, kWEXRequestGenerateKUID, "<NULL> : The request "},
        {{"listbuilds", listFile},
         kWEXRequestInstalledBuilds,
         "<NULL> : The request for the list of installed builds "},
    };
    for (const Case& c : cases) {
        DaemonScript script;
        script.dropAlways = {c.dropped, kWEXRequestAssetInfo};
        script.answers[kWEXRequestOpenAssetForEdit] = kEditReply;
        EXPECT_EQ(Run(script, c.args), -1) << c.args[0];
        EXPECT_TRUE(Received(c.dropped)) << c.args[0];
        EXPECT_NE(summary.find("- " + c.error + kDropped + "\n"), std::string::npos)
            << c.args[0] << ":\n"
            << summary;
        EXPECT_EQ(summary.find("OK (0 Errors"), std::string::npos) << c.args[0];
    }
    // The list that could not be had did not replace the old one.
    EXPECT_EQ(dir.Read("builds.txt"), "the old list");
}

TEST_F(NoReply, AFolderTreeCountsEachUnansweredInstall) {
    for (const char* name : {"A", "B", "C"}) {
        std::filesystem::create_directories(dir / (std::string("tree/") + name));
        dir.Write(std::string("tree/") + name + "/config.txt", "kind \"scenery\"\n");
    }
    DaemonScript script;
    // The daemon goes away during the first install and is back for the others.
    script.dropOnce = {kWEXRequestInstallFromPath};
    script.answers[kWEXRequestInstallFromPath] = AsText(Wire().Kuid(1, 1).Bool(true));
    EXPECT_EQ(Run(script, {"installfrompath", dir / "tree"}), -1);
    EXPECT_EQ(std::count(receivedCopy.begin(), receivedCopy.end(), kWEXRequestInstallFromPath), 3);
    EXPECT_NE(summary.find(kDropped), std::string::npos) << summary;
    EXPECT_NE(summary.find("OK (1 Errors, 0 Warnings)"), std::string::npos) << summary;
}

// A change whose reply was lost is looked up on a new link: what the asset's record then says
// decides the outcome.
TEST_F(NoReply, AChangeWhoseReplyWasLostReportsWhatTheDaemonSaysAfterwards) {
    struct Case {
        const char* word;
        uint32_t dropped;
        uint32_t landedStatus;
        uint32_t notLandedStatus;
        const char* change;
    };
    const uint32_t open = kWEXStatusInstalled | kWEXStatusOpenForEdit;
    const uint32_t closed = kWEXStatusInstalled | kWEXStatusLocallyModified;
    const Case cases[] = {
        {"commit", kWEXRequestCommitAsset, closed, open, "the commit"},
        {"revert", kWEXRequestRevertAsset, kWEXStatusInstalled, open, "the revert"},
        {"delete", kWEXRequestDeleteAsset, kWEXStatusUnknown, kWEXStatusInstalled, "the delete"},
        {"edit", kWEXRequestOpenAssetForEdit, open, kWEXStatusInstalled,
         "the opening of the asset for edit"},
    };
    for (const Case& c : cases) {
        for (bool landed : {true, false}) {
            DaemonScript script;
            script.dropOnce = {c.dropped};
            script.answers[kWEXRequestOpenAssetForEdit] = kEditReply;
            script.answers[kWEXRequestAssetInfo] =
                Info(kBox, landed ? c.landedStatus : c.notLandedStatus);
            int code = Run(script, {c.word, "<kuid:12:34>"});
            EXPECT_TRUE(Received(kWEXRequestAssetInfo)) << c.word;
            if (landed) {
                EXPECT_EQ(code, 0) << c.word;
                EXPECT_EQ(summary, "OK (0 Errors, 0 Warnings)\n") << c.word;
            } else {
                EXPECT_EQ(code, -1) << c.word;
                EXPECT_EQ(summary, "- <kuid:12:34> : The daemon stopped before " +
                                       std::string(c.change) +
                                       " landed.\nOK (1 Errors, 0 Warnings)\n")
                    << c.word;
            }
        }
    }
}

}  // namespace
