#include "assetdb/client_transaction.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

#include "assetdb/client_event_handler.h"
#include "assetdb/daemon_link.h"
#include "assetdb/link_records.h"
#include "assetdb/notifications.h"
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
    // Who reads the link now, and the running reader thread's seat when it is shared.
    enum class Reading { kFree, kReader, kRequester };
    Reading reading = Reading::kFree;
    WEXReadingSeat* seat = nullptr;
    // Signalled when a requester gives the reading back.
    std::condition_variable readingFree;
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

namespace {

// What a requester reading its own reply does with the replies it meets: each goes to its own
// requester, as the reader thread would hand it over.
class ReplySink final : public WEXRecordSink {
public:
    ReplySink(uint32_t link, uint32_t mine) : link_(link), mine_(mine) {}
    bool OnReply(uint32_t transactionId, std::unique_ptr<TBuffer> body) override {
        if (transactionId == mine_) gotMine_ = true;
        return WEXClientTransaction::ReceiveReply(transactionId, link_, std::move(body));
    }
    // Not reached: the requester stops at a notification's tag and leaves it to the reader.
    void OnNotification(std::unique_ptr<WEXNotification> notification) override {
        QueueNotification(std::move(notification));
    }
    bool GotMine() const { return gotMine_; }

private:
    uint32_t link_;
    uint32_t mine_;
    bool gotMine_ = false;
};

}  // namespace

void WEXClientTransaction::ReadOwnReply() {
    Pending& p = ThePending();
    WEXReadingSeat* seat;
    {
        std::lock_guard<std::mutex> hold(p.lock);
        seat = p.seat;
        // Only the one request waiting reads, so that no other requester's reply waits on it.
        if (seat == nullptr || p.reading != Pending::Reading::kFree || !registered_ || failed_ ||
            sentOnLink_ != seat->link_ || p.table.size() != 1)
            return;
        p.reading = Pending::Reading::kRequester;
    }
    // The seat stays while this thread holds the reading: the reader thread waits for it.
    const uint32_t link = seat->link_;
    WEXLinkRecordSource& source = seat->source_;
    ReplySink sink(link, id_);
    bool failed = false;
    while (!sink.GotMine()) {
        uint32_t tag = 0;
        if (!source.PeekWord(tag)) {
            failed = true;
            break;
        }
        // Notifications and questions run where they always run: on the reader thread.
        if (tag != kReplyRecordTag) break;
        if (!WEXReadRecord(source, sink)) {
            failed = true;
            break;
        }
    }
    if (failed) {
        // As the reader thread does on a failed read: the link is out of step or gone.
        WEXClientLinkDropped();
        FailAllTransactions(link);
    }
    seat->ReleaseForRequester(source.HasBuffered());
}

WEXReadingSeat::WEXReadingSeat(uint32_t link, WEXLinkRecordSource& source)
    : link_(link), source_(source) {
    int socket = WEXClientLinkSocket();
    if (socket < 0) return;
    int poller = ::epoll_create1(EPOLL_CLOEXEC);
    int kick = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Edge-triggered: the reader thread wakes once for bytes a requester is already receiving
    // instead of spinning until they are gone; what the requester leaves, it reports by the kick.
    epoll_event onSocket{};
    onSocket.events = EPOLLIN | EPOLLRDHUP | EPOLLET;
    onSocket.data.fd = socket;
    epoll_event onKick{};
    onKick.events = EPOLLIN;
    onKick.data.fd = kick;
    if (poller < 0 || kick < 0 || ::epoll_ctl(poller, EPOLL_CTL_ADD, socket, &onSocket) != 0 ||
        ::epoll_ctl(poller, EPOLL_CTL_ADD, kick, &onKick) != 0) {
        if (poller >= 0) ::close(poller);
        if (kick >= 0) ::close(kick);
        return;
    }
    epoll_ = poller;
    kick_ = kick;
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    p.reading = Pending::Reading::kFree;
    p.seat = this;
}

WEXReadingSeat::~WEXReadingSeat() {
    if (!Shared()) return;
    {
        Pending& p = ThePending();
        std::unique_lock<std::mutex> hold(p.lock);
        p.readingFree.wait(hold, [&p] { return p.reading != Pending::Reading::kRequester; });
        if (p.seat == this) p.seat = nullptr;
        p.reading = Pending::Reading::kFree;
    }
    ::close(epoll_);
    ::close(kick_);
}

bool WEXReadingSeat::TakeForReader() {
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    if (p.reading == Pending::Reading::kRequester) return false;
    p.reading = Pending::Reading::kReader;
    return true;
}

void WEXReadingSeat::Release() {
    Pending& p = ThePending();
    std::lock_guard<std::mutex> hold(p.lock);
    p.reading = Pending::Reading::kFree;
}

void WEXReadingSeat::Await() {
    epoll_event events[2];
    int n;
    do
        n = ::epoll_wait(epoll_, events, 2, -1);
    while (n < 0 && errno == EINTR);
    if (n < 0) {
        // Not expected with descriptors of our own; a pause keeps the loop from spinning.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return;
    }
    for (int i = 0; i < n; ++i) {
        if (events[i].data.fd != kick_) continue;
        uint64_t count;
        [[maybe_unused]] ssize_t r = ::read(kick_, &count, sizeof count);
    }
}

void WEXReadingSeat::ReleaseForRequester(bool bytesBuffered) {
    Pending& p = ThePending();
    {
        std::lock_guard<std::mutex> hold(p.lock);
        p.reading = Pending::Reading::kFree;
        // The reader thread may have slept through the arrival of what is left (its wake-up
        // came while this thread held the reading). Checked once the reading is free, so that
        // bytes arriving later wake it themselves; under the lock, so that the seat and its
        // kick are still there.
        if (bytesBuffered || WEXClientLinkReadable()) {
            uint64_t one = 1;
            [[maybe_unused]] ssize_t r = ::write(kick_, &one, sizeof one);
        }
    }
    p.readingFree.notify_all();
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
    transaction.ReadOwnReply();
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
