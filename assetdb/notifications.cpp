#include "assetdb/notifications.h"

#include <atomic>
#include <deque>
#include <list>
#include <mutex>

#include "assetdb/client_transaction.h"
#include "assetdb/daemon_link.h"
#include "foundation/callback.h"
#include "foundation/worker_queue.h"
#include "platform/kiv/base/thread.h"
#include "validation/global_results_map.h"
#include "validation/results_log.h"

namespace {

struct Notifications {
    // The queue lock: the queue of notifications for the main thread.
    std::mutex queueLock;
    std::deque<std::unique_ptr<WEXNotification>> queue;

    // The threads that answer questions; ended ones are dropped as new ones start.
    std::mutex threadsLock;
    std::list<std::unique_ptr<Kiv::Thread>> threads;

    std::atomic<WEXCommandHostCallback> commandHost{nullptr};
    std::atomic<WEXCacheUpdateHandler> cacheUpdate{nullptr};
};

// Never destroyed: the reader may still queue while the process ends.
Notifications& TheNotifications() {
    static Notifications& notifications = *new Notifications;
    return notifications;
}

void PostEventAnswer(uint32_t transactionId, uint32_t code) {
    TBuffer answer;
    answer.WriteU32(transactionId);
    answer.WriteU32(code);
    answer.Rewind();
    WEXClientPost(kMessageEventAnswer, answer);
}

// Asks the request's handler on a thread of its own, so that neither the reader nor the main
// thread waits for a handler (which may wait for a person).
void StartQuestionThread(WEXEventQuestion question) {
    Notifications& n = TheNotifications();
    std::lock_guard<std::mutex> hold(n.threadsLock);
    n.threads.remove_if([](const std::unique_ptr<Kiv::Thread>& t) { return !t->IsRunning(); });
    auto thread = std::make_unique<Kiv::Thread>();
    thread->Start([question = std::move(question)] {
        uint32_t code =
            WEXClientTransaction::AskHandler(question.transactionId, question.text, question.asset);
        PostEventAnswer(question.transactionId, code);
        return 0u;
    });
    n.threads.push_back(std::move(thread));
}

void RunCommandHostCall(TBuffer& payload) {
    WEXCommandHostCallback host = TheNotifications().commandHost.load();
    if (host == nullptr) return;
    TBuffer answer;
    host(payload, answer);
    answer.Rewind();
    WEXClientPost(kMessageCommandHostAnswer, answer);
}

// Lines for a request without a log (or for none) are read into a log of their own and
// dropped with it.
void ReadReportLines(TBuffer& payload) {
    uint32_t transactionId = 0;
    if (!payload.ReadU32(transactionId)) return;
    // The requester may give up and destroy its log at any moment: read under the map's lock.
    if (GlobalResultsMap::WithLog(
            transactionId, [&](ResultsLog& log) { ResultsLog::ReadFromBuffer(payload, log); }))
        return;
    ResultsLog dropped;
    ResultsLog::ReadFromBuffer(payload, dropped);
}

}  // namespace

void SetWEXCommandHostCallback(WEXCommandHostCallback callback) {
    TheNotifications().commandHost.store(callback);
}

WEXCommandHostCallback GetWEXCommandHostCallback() {
    return TheNotifications().commandHost.load();
}

void SetWEXCacheUpdateHandler(WEXCacheUpdateHandler handler) {
    TheNotifications().cacheUpdate.store(handler);
}

WEXCacheUpdateHandler GetWEXCacheUpdateHandler() {
    return TheNotifications().cacheUpdate.load();
}

bool ReadEventQuestion(TStream& payload, WEXEventQuestion& out) {
    if (!payload.ReadU32(out.transactionId)) return false;
    payload.ReadPString(out.text);
    payload.ReadKUID(out.asset);
    return true;
}

bool WEXClientReadNotification(WEXRecordSource& source) {
    std::unique_ptr<WEXNotification> notification = WEXReadNotificationRecord(source);
    if (notification == nullptr) return false;
    QueueNotification(std::move(notification));
    return true;
}

void QueueNotification(std::unique_ptr<WEXNotification> notification) {
    const uint32_t type = notification->type;
    if (type == kNotifyReportLines || type == kNotifyCacheUpdate) {
        DispatchNotification(type, notification->stream);
        return;
    }
    if (type > kNotifyCacheUpdate) return;  // would be ignored on the main thread anyway
    Notifications& n = TheNotifications();
    {
        std::lock_guard<std::mutex> hold(n.queueLock);
        n.queue.push_back(std::move(notification));
    }
    WorkerCallQueue::Instance().Post(MakeCallback(RunNextNotification), nullptr,
                                     kCallMainThread | kCallNoWait);
}

int RunNextNotification(void*) {
    Notifications& n = TheNotifications();
    std::unique_ptr<WEXNotification> notification;
    {
        std::lock_guard<std::mutex> hold(n.queueLock);
        if (n.queue.empty()) return 0;  // discarded at close
        notification = std::move(n.queue.front());
        n.queue.pop_front();
    }
    DispatchNotification(notification->type, notification->stream);
    return 0;
}

void DispatchNotification(uint32_t type, TBuffer& payload) {
    switch (type) {
        case kNotifyCallbackValue: {
            uint32_t value = 0;
            WEXClientOptions::NotificationCallback callback =
                WEXClientGetOptions().notificationCallback;
            if (payload.ReadU32(value) && callback != nullptr) callback(value);
            break;
        }
        case kNotifyCommandHostCall:
            RunCommandHostCall(payload);
            break;
        case kNotifyEventQuestion: {
            WEXEventQuestion question;
            if (ReadEventQuestion(payload, question)) StartQuestionThread(std::move(question));
            break;
        }
        case kNotifyReportLines:
            ReadReportLines(payload);
            break;
        case kNotifyCacheUpdate:
            if (WEXCacheUpdateHandler handler = TheNotifications().cacheUpdate.load())
                handler(payload);
            break;
        default:
            break;
    }
}

void DiscardNotifications() {
    Notifications& n = TheNotifications();
    {
        std::lock_guard<std::mutex> hold(n.queueLock);
        n.queue.clear();
    }
    std::list<std::unique_ptr<Kiv::Thread>> threads;
    {
        std::lock_guard<std::mutex> hold(n.threadsLock);
        threads.swap(n.threads);
    }
    for (auto& t : threads)
        t->Wait();
}

uint32_t CountQueuedNotifications() {
    Notifications& n = TheNotifications();
    std::lock_guard<std::mutex> hold(n.queueLock);
    return static_cast<uint32_t>(n.queue.size());
}
