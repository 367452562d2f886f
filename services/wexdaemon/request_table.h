// The daemon's requests by message id: the handler of each, whether it runs long (on a job
// thread of its own, so the link goes on answering other requests meanwhile), and the context a
// handler works in: the request's payload, the reply it fills, and the notes it may send first.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "foundation/tbuffer.h"

namespace wexd {

// Where a handler's notes go: the link the request came on.
class NoteSink {
public:
    virtual ~NoteSink() = default;
    // Sends one note record at once; false when the link is gone.
    virtual bool SendNote(uint32_t type, const void* bytes, uint32_t length) = 0;
    // The link's number, unique while the daemon runs (0: no link).
    virtual uint64_t LinkId() const { return 0; }
    // The link has ended: no more notes go out on it.
    virtual bool IsGone() const { return false; }
};

// Notes a request may send before its reply.
constexpr uint32_t kNoteResultsLog = 3;  // u32 transaction id, then a results log

class RequestContext {
public:
    RequestContext(uint32_t messageId, uint32_t transactionId, const void* payload, uint32_t length,
                   NoteSink* notes)
        : messageId_(messageId),
          transactionId_(transactionId),
          payload_(length != 0 ? payload : "", length),
          notes_(notes) {}

    uint32_t MessageId() const { return messageId_; }
    uint32_t TransactionId() const { return transactionId_; }
    bool IsPost() const { return transactionId_ == 0; }
    // The request's bytes, positioned at the first.
    TStream& Payload() { return payload_; }
    // What the reply will carry; a post's reply is never sent.
    TBuffer& Reply() { return reply_; }

    // Sends a note now, so it reaches the client before the reply. False when the link is
    // gone, and always for a post (nobody waits for its notes).
    bool SendNote(uint32_t type, const void* bytes, uint32_t length);

    // The link the request came on (none in tests that run handlers alone).
    void SetLink(std::shared_ptr<NoteSink> link) { link_ = std::move(link); }
    const std::shared_ptr<NoteSink>& Link() const { return link_; }
    uint64_t LinkId() const { return link_ ? link_->LinkId() : 0; }

    // Asks the daemon to stop once this request's reply has been sent.
    void StopAfterReply() { stopAfterReply_ = true; }
    bool StopsAfterReply() const { return stopAfterReply_; }

private:
    uint32_t messageId_;
    uint32_t transactionId_;
    TBuffer payload_;
    TBuffer reply_;
    NoteSink* notes_;
    std::shared_ptr<NoteSink> link_;
    bool stopAfterReply_ = false;
};

using RequestHandler = std::function<void(RequestContext&)>;

// Handler flags.
constexpr uint32_t kRequestRunsLong = 1;

struct RequestEntry {
    std::string name;
    uint32_t flags = 0;
    RequestHandler handler;
};

class RequestTable {
public:
    // Adds or replaces the handler of one message id.
    void Add(uint32_t messageId, std::string name, uint32_t flags, RequestHandler handler);
    // The entry of that id, or null for an id nobody handles.
    const RequestEntry* Find(uint32_t messageId) const;

private:
    std::map<uint32_t, RequestEntry> entries_;
};

}  // namespace wexd
