#include "services/wexdaemon/request_dispatcher.h"

#include <exception>

#include "services/wexdaemon/daemon_log.h"

namespace wexd {

RequestDispatcher::RequestDispatcher(const RequestTable& table, Hooks hooks)
    : table_(table), hooks_(std::move(hooks)) {}

RequestDispatcher::~RequestDispatcher() {
    Shutdown();
}

void RequestDispatcher::SetReady() {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_ = true;
    gate_.notify_all();
}

void RequestDispatcher::Shutdown() {
    std::list<Job> all;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        shutDown_ = true;
        gate_.notify_all();
        all.splice(all.end(), jobs_);
    }
    for (Job& job : all)
        if (job.thread.joinable()) job.thread.join();
}

bool RequestDispatcher::WaitUntilReady() {
    std::unique_lock<std::mutex> lock(mutex_);
    gate_.wait(lock, [this] { return ready_ || shutDown_; });
    return !shutDown_;
}

size_t RequestDispatcher::RunningJobs() {
    std::list<Job> finished;
    size_t n;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ReapJobsLocked(finished);
        n = jobs_.size();
    }
    for (Job& job : finished)
        job.thread.join();
    return n;
}

void RequestDispatcher::ReapJobsLocked(std::list<Job>& finished) {
    for (auto it = jobs_.begin(); it != jobs_.end();) {
        auto next = std::next(it);
        if (it->done) finished.splice(finished.end(), jobs_, it);
        it = next;
    }
}

bool RequestDispatcher::StartJob(std::function<void()>& body) {
    std::list<Job> finished;
    bool started = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ReapJobsLocked(finished);
        if (!shutDown_ && jobs_.size() < kMaxJobThreads) {
            jobs_.emplace_back();
            Job* job = &jobs_.back();
            job->thread = std::thread([this, job, run = std::move(body)] {
                run();
                std::lock_guard<std::mutex> hold(mutex_);
                job->done = true;
            });
            started = true;
        }
    }
    for (Job& job : finished)
        job.thread.join();
    return started;
}

void RequestDispatcher::Dispatch(const std::shared_ptr<LinkConnection>& link, Frame&& frame) {
    const RequestEntry* entry = table_.Find(frame.messageId);
    if (entry != nullptr && (entry->flags & kRequestRunsLong) != 0) {
        auto shared = std::make_shared<const Frame>(std::move(frame));
        std::function<void()> body = [this, link, shared] { Execute(link, *shared); };
        if (StartJob(body)) return;
        // Shut down (nothing runs then) or at the job limit: this link waits for it.
        Execute(link, *shared);
        return;
    }
    Execute(link, frame);
}

void RequestDispatcher::Execute(const std::shared_ptr<LinkConnection>& link, const Frame& frame) {
    if (!WaitUntilReady()) return;
    RequestContext context(frame.messageId, frame.transactionId, frame.payload.data(),
                           static_cast<uint32_t>(frame.payload.size()), link.get());
    context.SetLink(link);
    const RequestEntry* entry = table_.Find(frame.messageId);
    if (entry == nullptr) {
        DaemonLog("link %llu: unknown %s id %u (%zu bytes), %s",
                  static_cast<unsigned long long>(link->Id()), frame.IsPost() ? "post" : "request",
                  frame.messageId, frame.payload.size(),
                  frame.IsPost() ? "ignored" : "answered empty");
    } else {
        try {
            entry->handler(context);
        } catch (const std::exception& e) {
            DaemonLog("%s failed: %s; answered empty", entry->name.c_str(), e.what());
            context.Reply().Reset();
        } catch (...) {
            DaemonLog("%s failed; answered empty", entry->name.c_str());
            context.Reply().Reset();
        }
    }
    if (hooks_.beforeReply) hooks_.beforeReply();
    if (!frame.IsPost()) {
        TBuffer& reply = context.Reply();
        if (!link->SendReply(frame.transactionId, reply.GetData(), reply.GetDataLength()))
            DaemonLog("link %llu: the reply to %u could not be sent",
                      static_cast<unsigned long long>(link->Id()), frame.messageId);
    }
    if (context.StopsAfterReply() && hooks_.stop) hooks_.stop();
}

}  // namespace wexd
