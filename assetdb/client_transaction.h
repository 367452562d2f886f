// The requests in flight on the daemon link. Each request has a client transaction id that the
// daemon's reply (and its questions and report lines) carry back; the pending table maps the
// id to the requester waiting for it. The reader thread delivers each reply here whole, waking
// its requester once (a requester alone on the link reads its own reply instead), and fails
// every request of a link that dropped.
#pragma once

#include <cstdint>
#include <memory>

#include "foundation/tbuffer.h"

#include "platform/kiv/base/sync.h"

class ResultsLog;
class TStream;
class WEXClientEventHandler;
class WEXLinkRecordSource;
struct KUID;

namespace Kiv {
class PString;
}

class WEXClientTransaction {
public:
    WEXClientTransaction(WEXClientEventHandler* eventHandler, ResultsLog* resultsLog, bool keepLog);
    // Unregisters, then waits until no question to its handler is still being answered.
    ~WEXClientTransaction();
    WEXClientTransaction(const WEXClientTransaction&) = delete;
    WEXClientTransaction& operator=(const WEXClientTransaction&) = delete;

    // Takes the next id (never 0, never one still pending), enters the request in the pending
    // table and, when it has a results log, enters the log under the id in the results map.
    void Register();
    // Leaves the pending table and, unless the log is kept, takes the id out of the results
    // map; clears the failed flag. A reply's arrival does the same.
    void Unregister();
    // The frame went out on that link. When the link has dropped meanwhile (its reader has
    // already failed the link's requests), the request fails at once: no reply can come.
    void MarkSent(uint32_t link);
    // Waits for the reply or the link's drop; false when the id is 0 or the link dropped.
    bool Wait();
    // After Wait: the reply's bytes, positioned at the start; null when they could not all be
    // kept. The caller owns them.
    std::unique_ptr<TBuffer> TakeReply() { return std::move(reply_); }

    uint32_t GetId() const { return id_; }
    // The link whose reader delivered the reply.
    uint32_t GetReplyLink() const { return replyLink_; }

    // Reader thread: the reply for the id came in whole on the link (its bytes, or null when
    // they could not be kept). False (with a log line) when nobody waits for it.
    static bool ReceiveReply(uint32_t id, uint32_t link, std::unique_ptr<TBuffer> body = nullptr);
    // Answers the daemon's question for the request of that id: kEventAnswerNoRequest when
    // none waits, kEventAnswerNoHandler when it has no handler, else the handler's code. The
    // request stays alive while its handler runs.
    static uint32_t AskHandler(uint32_t id, const Kiv::PString& question, const KUID& asset);

    // After MarkSent: when this is the only request waiting and the link's reader thread is
    // idle, receives the reply here, so that the request costs one wake-up (this thread's, by
    // the reply) instead of two (the reader thread's, then this thread's by the reader).
    // Stops without waiting further at anything but a reply, which stays the reader thread's.
    void ReadOwnReply();

private:
    friend void FailAllTransactions(uint32_t link);
    friend class WEXReadingSeat;
    // Caller holds the transaction lock and has taken the request out of the table.
    void LeaveTableLocked();

    uint32_t id_ = 0;
    Kiv::WEvent completion_{true, false};
    WEXClientEventHandler* eventHandler_;
    ResultsLog* resultsLog_;
    bool keepLog_;
    bool registered_ = false;
    bool failed_ = false;
    uint32_t sentOnLink_ = 0;  // 0 until the frame is out
    uint32_t replyLink_ = 0;
    std::unique_ptr<TBuffer> reply_;
    uint32_t asking_ = 0;  // questions to the handler being answered
};

// The reading of one link, which its reader thread shares with a requester reading its own
// reply (see ReadOwnReply). The reader thread makes one for its link and, instead of blocking
// in a receive, waits in Await for bytes on the link or for a requester handing the reading back
// with bytes left, then takes the reading for one record at a time. A seat whose wait could
// not be set up is not shared, and the reader thread reads alone as it always did.
class WEXReadingSeat {
public:
    WEXReadingSeat(uint32_t link, WEXLinkRecordSource& source);
    // Waits until no requester reads, then withdraws the reading from requesters.
    ~WEXReadingSeat();
    WEXReadingSeat(const WEXReadingSeat&) = delete;
    WEXReadingSeat& operator=(const WEXReadingSeat&) = delete;

    bool Shared() const { return epoll_ >= 0; }
    // Takes the reading for the reader thread; false while a requester holds it.
    bool TakeForReader();
    void Release();
    // Waits until bytes may have arrived on the link or a requester gave the reading back.
    void Await();

private:
    friend class WEXClientTransaction;
    // Requester: gives the reading back; wakes the reader thread when bytes may be left.
    void ReleaseForRequester(bool bytesBuffered);

    uint32_t link_;
    WEXLinkRecordSource& source_;
    int epoll_ = -1;
    int kick_ = -1;
};

// Reader thread, its link lost: every request whose frame went out on that link fails and is
// woken. Requests not yet sent are left alone: they go out on the next link.
void FailAllTransactions(uint32_t link);

// Sends a request and waits for its reply (the link's transact hook): registers, sends the
// frame, waits, then writes the reply's bytes, which the reader read whole, into `reply` at
// its position (nothing kept when reply is null). False when it could not be sent, the link
// dropped, or the reply did not fit the stream.
bool WEXClientTransactAndWait(uint32_t messageId, TStream& payload, TStream* reply,
                              WEXClientEventHandler* eventHandler, ResultsLog* resultsLog,
                              bool keepLog);

// For tests: the next id the counter hands out, the number of pending requests, and forgetting
// the drops of made-up link numbers (real links are numbered upwards and never reused).
void WEXSetTransactionCounter(uint32_t next);
uint32_t WEXCountPendingTransactions();
void WEXForgetDroppedLinks();
