// The repair against a scripted daemon behind the request seam: its start request, the
// progress polls with their waits, the duplicate, a start that failed, and a stop.
#include "assetdb/repair_task.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "assetdb/request_ids.h"
#include "assetdb/request_sender.h"
#include "foundation/tbuffer.h"

namespace {

// One poll's answer: none (the request fails), or running, progress and status.
struct Progress {
    bool answered;
    bool running = false;
    float progress = 0.0f;
    std::string status;
};

struct Daemon {
    bool startAnswered = true;
    std::deque<Progress> progress;
    std::vector<uint32_t> sent;
    ResultsLog* startLog = nullptr;
    bool startKeepsLog = false;
    uint32_t mode = 0;
} gDaemon;

bool Transact(uint32_t id, TStream& payload, TStream* reply, WEXClientEventHandler*,
              ResultsLog* log, bool keepLog) {
    gDaemon.sent.push_back(id);
    if (id == kWEXRequestStartRepair) {
        gDaemon.mode = payload.ReadU32Value();
        gDaemon.startLog = log;
        gDaemon.startKeepsLog = keepLog;
        return gDaemon.startAnswered;
    }
    if (id != kWEXRequestRepairProgress || gDaemon.progress.empty()) return false;
    Progress p = gDaemon.progress.front();
    gDaemon.progress.pop_front();
    if (!p.answered) return false;
    reply->WriteBool(p.running);
    reply->WriteFloat(p.progress);
    reply->WriteString(p.status);
    return true;
}

std::vector<uint32_t> gSleeps;
void RecordSleep(uint32_t ms) {
    gSleeps.push_back(ms);
}

// A task that records what the repair tells it, and asks it to stop after `stopAfter` statuses.
class Task final : public WEXTask {
public:
    void SetStatus(const Kiv::String& status) override {
        statuses.emplace_back(status.c_str());
        if (statuses.size() == stopAfter) RequestStop();
    }
    void SetProgress(float progress) override { progresses.push_back(progress); }
    std::vector<std::string> statuses;
    std::vector<float> progresses;
    size_t stopAfter = 0;
};

class Repair : public ::testing::Test {
protected:
    void SetUp() override {
        gDaemon = Daemon();
        gSleeps.clear();
        WEXSetTransport({Transact, nullptr});
        WEXRepairTiming timing;
        timing.sleep = RecordSleep;
        SetWEXRepairTiming(timing);
    }
    void TearDown() override {
        WEXSetTransport({});
        SetWEXRepairTiming({});
    }
};

TEST_F(Repair, PollsProgressUntilTheDaemonSaysItIsDone) {
    gDaemon.progress = {
        {true, true, 0.25f, "Scanning"}, {true, true, 0.5f, "Indexing"}, {true, false, 1.0f, ""}};
    Task task;
    WEXTaskRepairDatabase repair(150, nullptr);
    EXPECT_TRUE(IsRepairRunning());
    repair.RunInline(&task);
    EXPECT_EQ(gDaemon.mode, 150u);
    EXPECT_EQ(gDaemon.startLog, &task);  // the daemon's messages go into the task
    EXPECT_TRUE(gDaemon.startKeepsLog);
    EXPECT_EQ(task.statuses, (std::vector<std::string>{"Scanning", "Indexing"}));
    EXPECT_EQ(task.progresses, (std::vector<float>{0.25f, 0.5f}));
    EXPECT_EQ(gSleeps, (std::vector<uint32_t>{1000, 250, 250}));
    EXPECT_FALSE(IsRepairRunning());  // the registration ends with the run
    EXPECT_EQ(task.GetErrorCount(), 0u);
}

TEST_F(Repair, EndsAfterOneWaitWhenTheProgressCannotBeHad) {
    gDaemon.progress = {{false, false, 0.0f, ""}};
    ResultsLog own;
    Task task;
    WEXTaskRepairDatabase repair(20, &own);
    repair.RunInline(&task);
    EXPECT_EQ(gDaemon.startLog, &own);
    EXPECT_EQ(gSleeps, (std::vector<uint32_t>{1000}));
    EXPECT_TRUE(task.statuses.empty());
    EXPECT_EQ(gDaemon.sent,
              (std::vector<uint32_t>{kWEXRequestStartRepair, kWEXRequestRepairProgress}));
}

TEST_F(Repair, StopRequestEndsThePolling) {
    gDaemon.progress.assign(10, {true, true, 0.1f, "Working"});
    Task task;
    task.stopAfter = 2;
    WEXTaskRepairDatabase repair(100, nullptr);
    repair.RunInline(&task);
    EXPECT_EQ(task.statuses.size(), 2u);
    EXPECT_EQ(gDaemon.progress.size(), 8u);
}

TEST_F(Repair, FailedStartIsAnErrorAndNothingIsPolled) {
    gDaemon.startAnswered = false;
    Task task;
    WEXTaskRepairDatabase repair(100, nullptr);
    repair.RunInline(&task);
    EXPECT_EQ(task.GetErrorCount(), 1u);
    EXPECT_TRUE(gSleeps.empty());
    EXPECT_EQ(gDaemon.sent, (std::vector<uint32_t>{kWEXRequestStartRepair}));
    EXPECT_FALSE(IsRepairRunning());
}

TEST_F(Repair, SecondRepairOnlySaysOneIsRunning) {
    WEXTaskRepairDatabase first(100, nullptr);
    Task task;
    {
        WEXTaskRepairDatabase second(100, nullptr);
        second.RunInline(&task);
        EXPECT_TRUE(gDaemon.sent.empty());
        ASSERT_EQ(task.statuses.size(), 1u);
    }
    EXPECT_TRUE(IsRepairRunning());  // the second never held the registration
}

}  // namespace
