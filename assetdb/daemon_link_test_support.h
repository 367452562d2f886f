// Shared set-up of the daemon-link tests: an install tree in a temporary folder with its roots
// set, the link's waits recorded instead of slept, log lines captured, and the link closed and
// its hooks removed after each test.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/daemon_link.h"
#include "foundation/data_root.h"
#include "platform/kiv/base/log.h"
#include "tests/support/temp_dir.h"

namespace linktest {

inline std::vector<uint32_t>& Sleeps() {
    static std::vector<uint32_t> sleeps;
    return sleeps;
}

inline void RecordSleep(uint32_t ms) {
    Sleeps().push_back(ms);
}

// Little-endian words as the link sends them.
inline std::string Words(std::initializer_list<uint32_t> words) {
    std::string out;
    for (uint32_t w : words)
        out.append(reinterpret_cast<const char*>(&w), 4);
    return out;
}

// Waits (bounded) until the condition holds; false when it never did.
template <class Condition>
bool Eventually(Condition condition) {
    for (int i = 0; i < 2000; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(install + "/UserData");
        SetFolderRoots(install, install + "/UserData");
        Sleeps().clear();
        WEXLinkTiming timing;
        timing.sleep = RecordSleep;
        SetWEXLinkTiming(timing);
        logId = Kiv::Log::AddListener([this](std::string_view line) {
            std::lock_guard<std::mutex> hold(logLock);
            log.emplace_back(line);
        });
    }
    void TearDown() override {
        WEXCloseDatabase();
        WEXClientDisconnect(true);
        SetWEXLinkHooks({});
        SetWEXLinkTiming({});
        Kiv::Log::RemoveListener(logId);
        SetFolderRoots("", "");
    }

    // The options start-up passes: may-start and the second flag 0, the client flag given.
    static WEXClientOptions StartupOptions(uint8_t clientFlag = 1) {
        WEXClientOptions o;
        o.mayStartDaemon = 0;
        o.secondFlag = 0;
        o.clientFlag = clientFlag;
        return o;
    }
    bool Logged(const std::string& line) {
        std::lock_guard<std::mutex> hold(logLock);
        return std::find(log.begin(), log.end(), line) != log.end();
    }

    testsupport::TempDir dir;
    // Capitals in the install folder show that the path keeps its letter case.
    const std::string install = dir / "Halvex Install";
    const std::string database = install + "/UserData/assets.wbi";
    std::mutex logLock;
    std::vector<std::string> log;
    int logId = 0;
};

}  // namespace linktest
