// Test support for driving the real wexdaemon through the program's own client library: an
// install tree in a temporary folder with the client's folder roots set, the daemon started on
// its data root, and the client's link (reader thread and transactions) installed and opened
// with short waits. Each test's daemon is stopped when the test ends, whatever it does; helpers
// restart it, build asset folders with text configs, and read a results log's lines.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "assetdb/daemon_link.h"
#include "assetdb/reader_thread.h"
#include "assetdb/request_sender.h"
#include "assetdb/settings_requests.h"
#include "assetdb/wex_client_install.h"
#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/data_root.h"
#include "services/wexdaemon/daemon_test_support.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace clienttest {

// Every line of a log as "<severity> <text>", in order.
inline std::vector<std::string> Lines(ResultsLog& log) {
    std::vector<std::string> out;
    log.ForEachEntry([&out](const ResultsLogEntry& e) {
        out.push_back(std::to_string(e.severity) + " " + std::string(e.text.view()));
    });
    return out;
}

// True when some line of the log contains the text.
inline bool Mentions(ResultsLog& log, const std::string& text) {
    for (const std::string& line : Lines(log))
        if (line.find(text) != std::string::npos) return true;
    return false;
}

// A config tree built through the tag setters.
class Config {
public:
    explicit Config(const KUID& kuid) {
        TDBContainerTag::SetKUID(root_, Kiv::PString("kuid"), kuid);
    }
    Config& Text(const char* name, const std::string& value) {
        TDBContainerTag::SetString(root_, Kiv::PString(name), Kiv::PString(value));
        return *this;
    }
    Config& Float(const char* name, float value) {
        TDBContainerTag::SetFloat(root_, Kiv::PString(name), value);
        return *this;
    }
    Config& Kuid(const char* name, const KUID& value) {
        TDBContainerTag::SetKUID(root_, Kiv::PString(name), value);
        return *this;
    }
    // A KUID table ("0", "1", ...).
    Config& Table(const char* name, const std::vector<KUID>& kuids) {
        TDBTagRef table;
        for (size_t i = 0; i < kuids.size(); ++i)
            TDBContainerTag::SetKUID(table, Kiv::PString(std::to_string(i)), kuids[i]);
        TDBContainerTag::SetContainer(root_, Kiv::PString(name), table);
        return *this;
    }
    // Writes the folder: "config.txt" and the extra files.
    void WriteTo(const std::string& folder,
                 const std::vector<std::pair<std::string, std::string>>& files = {}) const {
        std::filesystem::create_directories(folder);
        ASSERT_TRUE(WriteConfigFile(root_, {}, folder + "/config.txt"));
        for (const auto& [name, body] : files) {
            std::filesystem::path p = std::filesystem::path(folder) / name;
            std::filesystem::create_directories(p.parent_path());
            std::ofstream(p, std::ios::binary) << body;
        }
    }

private:
    TDBTagRef root_;
};

class DaemonClientTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(Root());
        SetFolderRoots(install_, Root());
        WEXLinkTiming timing;
        timing.retryDelayMs = 20;
        timing.closePollMs = 10;
        SetWEXLinkTiming(timing);
        WEXInstallClientLink();
        StartDaemon();
        OpenClient();
    }
    void TearDown() override {
        WEXCloseDatabase();
        daemon_.reset();  // SIGTERM, then SIGKILL, when it still runs
        SetWEXLinkHooks({});
        WEXSetTransport({});
        SetWEXLinkTiming({});
        SetFolderRoots("", "");
    }

    std::string Root() const { return install_ + "/UserData"; }
    std::string Database() const { return Root() + "/assets.wbi"; }
    std::string Local(const KUID& kuid) const {
        return Root() + "/local/" + kuid.ToDisplayString().str();
    }
    std::string DaemonLog() const { return wexdtest::ReadWhole(Root() + "/wexdaemon.log"); }
    // A folder for test sources outside the install.
    std::string Source(const std::string& name) const { return dir_ / ("src/" + name); }

    // Installs a folder through the client; the installed KUID.
    KUID Install(const std::string& folder, ResultsLog* log = nullptr) {
        ResultsLog own;
        KUID installed;
        EXPECT_TRUE(
            WEXClient::InstallFromPath(folder, 0, false, installed, log ? log : &own, nullptr))
            << folder << "\n"
            << DaemonLog();
        return installed;
    }

    void StartDaemon(const std::vector<std::string>& extra = {}) {
        daemon_ = std::make_unique<wexdtest::DaemonProcess>();
        std::vector<std::string> arguments{"-userdata=" + Root()};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        ASSERT_TRUE(daemon_->Start(arguments));
        port_ = wexdtest::WaitForOwner(Database(), daemon_->Pid());
        ASSERT_NE(port_, 0) << DaemonLog();
    }
    void OpenClient() {
        WEXClientOptions options;
        options.mayStartDaemon = 0;
        ASSERT_TRUE(WEXOpenDatabase(options)) << DaemonLog();
    }
    // Closes the client, asks the daemon to stop (it writes what waits) and starts both again,
    // the daemon with the extra arguments.
    void Restart(const std::vector<std::string>& extra = {}) {
        ASSERT_TRUE(WEXClient::CloseDaemon());
        WEXCloseDatabase();
        ASSERT_TRUE(daemon_->WaitExit());
        EXPECT_EQ(daemon_->ExitCode(), 0);
        StartDaemon(extra);
        OpenClient();
    }
    // After the daemon died: the client lets go of the dead link and both start again.
    void StartAgainAfterCrash() {
        WEXCloseDatabase();
        ASSERT_TRUE(daemon_->WaitExit());
        StartDaemon();
        OpenClient();
        // The daemon greets before its store is ready; a request is answered only once start-up
        // has carried the cut-off change through, so the folders may be looked at after it.
        WEXClient::GetSetting("database", "user-id");
    }

    testsupport::TempDir dir_;
    // Capitals and a blank in the install folder: paths keep their case and are never split.
    const std::string install_ = dir_ / "Halvex Install";
    std::unique_ptr<wexdtest::DaemonProcess> daemon_;
    uint16_t port_ = 0;  // the running daemon's
};

}  // namespace clienttest
