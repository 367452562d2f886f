// Long database operations run as tasks. A WEXTask is a results log (the operation's
// messages) with hooks through which the operation reports progress and status and its end; a
// WEXTaskThread is an engine thread that runs one task body, on its own thread or inline on
// the caller's. The owner asks a running task to stop; the body looks at the request between
// its steps.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/kiv/base/text.h"
#include "platform/kiv/base/thread.h"
#include "validation/results_log.h"

class WEXTaskThread;

class WEXTask : public ResultsLog {
public:
    WEXTask();
    // StopThread. A derived task whose hooks the body calls stops the thread in its own
    // destructor, before its own part is gone.
    ~WEXTask() override;

    // The hooks; here they do nothing.
    virtual void SetProgress(float progress);
    virtual void SetStatus(const Kiv::String& status);
    virtual void OnFinished();

    void RequestStop() { stopRequested_.store(true, std::memory_order_release); }
    bool IsStopRequested() const { return stopRequested_.load(std::memory_order_acquire); }
    // Set while a thread runs the task's body.
    bool IsBusy() const { return busy_.load(std::memory_order_acquire); }

    // Gives the task its thread (owned from now on) and the thread its task; the thread is
    // not started.
    void AttachThread(std::unique_ptr<WEXTaskThread> thread);
    WEXTaskThread* GetThread() const { return thread_.get(); }
    // Asks the body to stop, waits for the thread without a time limit and deletes it.
    void StopThread();

private:
    friend class WEXTaskThread;
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> busy_{false};
    std::unique_ptr<WEXTaskThread> thread_;
};

// Free bytes available to this process on the file system of a path; false when the path
// cannot be asked about. Tests put in their own.
using WEXFreeSpaceQuery = bool (*)(const char* path, uint64_t* freeBytes);
void SetWEXFreeSpaceQuery(WEXFreeSpaceQuery query);  // null: the file system is asked

// Tasks that write need this much room.
constexpr uint64_t kWEXTaskMinFreeBytes = 100ull << 20;

class WEXTaskThread : public Kiv::Thread {
public:
    WEXTaskThread() = default;
    ~WEXTaskThread() override;

    // Starts the body on a thread of its own. False when it runs already.
    bool Resume();
    // Runs the body's Run on the calling thread for the task (which may be none); the task's
    // end hook is not called.
    void RunInline(WEXTask* task);

    WEXTask* GetTask() const { return task_; }
    void SetTask(WEXTask* task) { task_ = task; }
    // The thread running the body; 0 when idle.
    uint32_t GetRunnerId() const { return runner_.load(std::memory_order_acquire); }

    // At least kWEXTaskMinFreeBytes free for this process on the path's file system.
    virtual bool HasFreeDiskSpace(const std::string& path);

protected:
    // The task body; empty here.
    uint32_t Run() override { return 0; }

private:
    uint32_t Body();

    WEXTask* task_ = nullptr;
    std::atomic<uint32_t> runner_{0};
};
