#include "assetdb/wex_task.h"

#include <sys/statvfs.h>

#include <atomic>

namespace {

bool AskFileSystem(const char* path, uint64_t* freeBytes) {
    struct statvfs info;
    if (::statvfs(path, &info) != 0) return false;
    *freeBytes = static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
    return true;
}

std::atomic<WEXFreeSpaceQuery> gFreeSpaceQuery{nullptr};

}  // namespace

WEXTask::WEXTask() = default;

WEXTask::~WEXTask() {
    StopThread();
}

void WEXTask::SetProgress(float) {}
void WEXTask::SetStatus(const Kiv::String&) {}
void WEXTask::OnFinished() {}

void WEXTask::AttachThread(std::unique_ptr<WEXTaskThread> thread) {
    StopThread();
    thread_ = std::move(thread);
    if (thread_ != nullptr) thread_->SetTask(this);
}

void WEXTask::StopThread() {
    if (thread_ == nullptr) return;
    RequestStop();
    thread_->Wait();
    thread_.reset();
}

void SetWEXFreeSpaceQuery(WEXFreeSpaceQuery query) {
    gFreeSpaceQuery.store(query);
}

WEXTaskThread::~WEXTaskThread() {
    Wait();
}

bool WEXTaskThread::Resume() {
    if (task_ != nullptr) task_->busy_.store(true, std::memory_order_release);
    if (Start([this] { return Body(); })) return true;
    if (task_ != nullptr) task_->busy_.store(false, std::memory_order_release);
    return false;
}

void WEXTaskThread::RunInline(WEXTask* task) {
    task_ = task;
    runner_.store(GetCurrentId(), std::memory_order_release);
    Run();
    runner_.store(0, std::memory_order_release);
}

uint32_t WEXTaskThread::Body() {
    WEXTask* task = task_;
    // A task told to stop before its thread got going does not start its work.
    if (task == nullptr || !task->IsStopRequested()) {
        runner_.store(GetCurrentId(), std::memory_order_release);
        Run();
        runner_.store(0, std::memory_order_release);
    }
    if (task != nullptr) {
        task->OnFinished();
        task->busy_.store(false, std::memory_order_release);
    }
    return 0;
}

bool WEXTaskThread::HasFreeDiskSpace(const std::string& path) {
    WEXFreeSpaceQuery query = gFreeSpaceQuery.load();
    uint64_t freeBytes = 0;
    bool asked = query != nullptr ? query(path.c_str(), &freeBytes)
                                  : AskFileSystem(path.c_str(), &freeBytes);
    return asked && freeBytes >= kWEXTaskMinFreeBytes;
}
