// The database repair as a task body: asks the daemon to repair its database in a mode, then
// polls the repair's progress, passing status and progress to the task, until the daemon says
// it is done, the progress cannot be had or the task is asked to stop. At most one repair is
// registered in the process at a time; a second one reports that a repair is running and does
// nothing else.
#pragma once

#include <cstdint>

#include "assetdb/wex_task.h"

class ResultsLog;

// The repair's waits: before the first look at the progress, and between looks. Tests shorten
// them; the sleep function is the one that waits (null: the thread sleeps).
struct WEXRepairTiming {
    uint32_t firstPollMs = 1000;
    uint32_t pollMs = 250;
    void (*sleep)(uint32_t ms) = nullptr;
};
void SetWEXRepairTiming(const WEXRepairTiming& timing);

class WEXTaskRepairDatabase final : public WEXTaskThread {
public:
    // Registers itself when no repair is registered. The daemon's messages go into
    // resultsLog when given, else into the task that the repair runs for.
    WEXTaskRepairDatabase(uint32_t mode, ResultsLog* resultsLog);
    // Clears the registration when it names this repair.
    ~WEXTaskRepairDatabase() override;

    static WEXTaskRepairDatabase* Create(uint32_t mode, ResultsLog* resultsLog);

protected:
    uint32_t Run() override;

private:
    uint32_t mode_;
    ResultsLog* resultsLog_;
};

// A repair is registered.
bool IsRepairRunning();
