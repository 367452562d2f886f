#include "assetdb/client_transaction.h"

#include <condition_variable>
#include <map>
#include <mutex>

#include "assetdb/client_event_handler.h"
#include "assetdb/daemon_link.h"
#include "assetdb/link_records.h"
#include "assetdb/request_sender.h"
#include "configdata/kuid.h"
#include "foundation/logging.h"
#include "validation/global_results_map.h"

namespace {

struct Pending {
    // The transaction lock: the table, the counter and every transaction's flags.
    std::mutex lock;
    // Signalled when a question to a handler has been answered.
    std::condition_variable answered;
    std::map<uint32_t, WEXClientTransaction*> table;
    uint32_t counter = 1;
    // The highest link whose reader has failed its requests.
    uint32_t droppedLink = 0;
};

// Never destroyed: a reader still running while the process ends (the link joins it from its
// own destructor) fails its requests here.
Pending& ThePending() {
    static Pending& pending = *new Pending;
    return pending;
}

}  // namespace

WEXClientTransaction::WEXClientTransaction(WEXClientEventHandler* eventHandler,
                                           ResultsLog* resultsLog, bool keepLog)
    : eventHandler_(eventHandler), resultsLog_(resultsLog), keepLog_(keepLog) {}

WEXClientTransaction::~WEXClientTransaction() {
    Unregister();
    Pending& p = ThePending();
    std::unique_lock<std::mutex> hold(p.lock);
    p.answered.wait(hold, [this] { return asking_ == 0; });
}

void WEXClientTransaction::Register() {
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    if (registered_) return;
    // After a wrap the counter could meet a request that is still waiting; that id is skipped.
    uint32_t id = p.counter;
    while (id == 0 || p.table.count(id) != 0)
        ++id;
    p.counter = id + 1 == 0 ? 1 : id + 1;
    id_ = id;
    registered_ = true;
    sentOnLink_ = 0;
    p.table[id] = this;
    // The daemon's report lines for this request find the log by its id.
    if (resultsLog_ != nullptr) GlobalResultsMap::Set(id, resultsLog_);
}

void WEXClientTransaction::LeaveTableLocked() {
    registered_ = false;
    if (resultsLog_ != nullptr && !keepLog_) GlobalResultsMap::Erase(id_);
}

void WEXClientTransaction::Unregister() {
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    if (registered_) {
        auto it = p.table.find(id_);
        if (it != p.table.end() && it->second == this) p.table.erase(it);
        LeaveTableLocked();
    }
    failed_ = false;
}

void WEXClientTransaction::MarkSent(uint32_t link) {
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    sentOnLink_ = link;
    if (registered_ && link <= p.droppedLink) {
        failed_ = true;
        completion_.Set();
    }
}

bool WEXClientTransaction::Wait() {
    if (id_ == 0) return false;
    completion_.Wait();
    completion_.Reset();
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    return !failed_;
}

bool WEXClientTransaction::ReceiveReply(uint32_t id, uint32_t link, std::unique_ptr<TBuffer> body) {
    Pending& p = ThePending();
    std::unique_lock<std::mutex> hold(p.lock);
    auto it = p.table.find(id);
    if (it == p.table.end()) {
        hold.unlock();
        LogOutputf(
            "WEXClientTransaction::ReceiveReply> received reply for unknown "
            "clientTransactionID=%d",
            static_cast<int>(id));
        return false;
    }
    WEXClientTransaction* t = it->second;
    p.table.erase(it);
    t->LeaveTableLocked();
    t->failed_ = false;
    t->replyLink_ = link;
    t->reply_ = std::move(body);
    t->completion_.Set();
    return true;
}

uint32_t WEXClientTransaction::AskHandler(uint32_t id, const Kiv::PString& question,
                                          const KUID& asset) {
    Pending& p = ThePending();
    WEXClientTransaction* t;
    {
        std::lock_guard<std::mutex> hold(p.lock);
        auto it = p.table.find(id);
        if (it == p.table.end()) return kEventAnswerNoRequest;
        t = it->second;
        if (t->eventHandler_ == nullptr) return kEventAnswerNoHandler;
        ++t->asking_;
    }
    Kiv::String answer;
    uint32_t code = t->eventHandler_->OnQuestion(question, answer, asset, 0);
    {
        std::lock_guard<std::mutex> hold(p.lock);
        --t->asking_;
    }
    p.answered.notify_all();
    return code;
}

void FailAllTransactions(uint32_t link) {
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    if (link > p.droppedLink) p.droppedLink = link;
    for (auto& [id, t] : p.table) {
        if (t->sentOnLink_ == 0 || t->sentOnLink_ > link) continue;
        t->failed_ = true;
        t->completion_.Set();
    }
}

bool WEXClientTransactAndWait(uint32_t messageId, TStream& payload, TStream* reply,
                              WEXClientEventHandler* eventHandler, ResultsLog* resultsLog,
                              bool keepLog) {
    WEXClientTransaction transaction(eventHandler, resultsLog, keepLog);
    transaction.Register();
    uint32_t link = 0;
    if (!WEXClientSendFrame(messageId, transaction.GetId(), payload, &link)) {
        WEXNoteNoReplyCause(WEXNoReplyCause::kNotReached);
        return false;
    }
    transaction.MarkSent(link);
    if (!transaction.Wait()) {
        WEXNoteNoReplyCause(WEXNoReplyCause::kLinkDropped);
        return false;
    }
    std::unique_ptr<TBuffer> body = transaction.TakeReply();
    if (body == nullptr) return false;  // more than the reader could keep
    uint32_t length = body->GetDataLength();
    return reply == nullptr || length == 0 || reply->Write(body->GetData(), length) == length;
}

void WEXSetTransactionCounter(uint32_t next) {
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    p.counter = next;
}

uint32_t WEXCountPendingTransactions() {
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    return static_cast<uint32_t>(p.table.size());
}

void WEXForgetDroppedLinks() {
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    p.droppedLink = 0;
}
