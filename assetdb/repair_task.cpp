#include "assetdb/repair_task.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "assetdb/wex_client_database.h"
#include "configdata/interface_text.h"
#include "validation/results_log.h"

namespace {

std::atomic<WEXTaskRepairDatabase*> gRegistered{nullptr};

std::mutex gTimingLock;
WEXRepairTiming gTiming;

WEXRepairTiming Timing() {
    std::lock_guard<std::mutex> hold(gTimingLock);
    return gTiming;
}

void Sleep(const WEXRepairTiming& timing, uint32_t ms) {
    if (timing.sleep != nullptr)
        timing.sleep(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void Unregister(WEXTaskRepairDatabase* repair) {
    WEXTaskRepairDatabase* expected = repair;
    gRegistered.compare_exchange_strong(expected, nullptr);
}

}  // namespace

void SetWEXRepairTiming(const WEXRepairTiming& timing) {
    std::lock_guard<std::mutex> hold(gTimingLock);
    gTiming = timing;
}

WEXTaskRepairDatabase::WEXTaskRepairDatabase(uint32_t mode, ResultsLog* resultsLog)
    : mode_(mode), resultsLog_(resultsLog) {
    WEXTaskRepairDatabase* none = nullptr;
    gRegistered.compare_exchange_strong(none, this);
}

WEXTaskRepairDatabase::~WEXTaskRepairDatabase() {
    Wait();
    Unregister(this);
}

WEXTaskRepairDatabase* WEXTaskRepairDatabase::Create(uint32_t mode, ResultsLog* resultsLog) {
    return new WEXTaskRepairDatabase(mode, resultsLog);
}

bool IsRepairRunning() {
    return gRegistered.load() != nullptr;
}

uint32_t WEXTaskRepairDatabase::Run() {
    WEXTask* task = GetTask();
    if (gRegistered.load() != this) {
        if (task != nullptr) task->SetStatus(GetInterfaceString("$wextask_repair_err_duplicate"));
        return 0;
    }
    const WEXRepairTiming timing = Timing();
    ResultsLog* log = resultsLog_ != nullptr ? resultsLog_ : task;
    if (!WEXClient::StartRepair(mode_, log)) {
        // Without this the command would end as if the repair had run.
        if (log != nullptr) AddMessage(*log, 3, {}, "$wextask_repair_err_start");
        Unregister(this);
        return 0;
    }
    Sleep(timing, timing.firstPollMs);
    float progress = 0.0f;
    Kiv::String status;
    while (WEXClient::GetRepairProgress(progress, status)) {
        if (task != nullptr) {
            task->SetStatus(status);
            task->SetProgress(progress);
        }
        Sleep(timing, timing.pollMs);
        if (task != nullptr && task->IsStopRequested()) break;
    }
    Unregister(this);
    return 0;
}
