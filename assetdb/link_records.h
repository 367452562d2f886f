// The records the daemon sends on the link, as the reader thread reads them: a reply (tag,
// client transaction id, length, bytes), read whole and handed to the requester waiting for it,
// or a notification (tag, type, length, payload). Every length comes from the daemon, so none
// sizes anything beyond the bytes that have actually arrived, and none may pass
// kMaxLinkRecordLength. Reading goes through a source so that the same code reads the link
// and, in tests and fuzzing, plain bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/tbuffer.h"
#include "platform/kiv/base/dynamic_buffer.h"

constexpr uint32_t kReplyRecordTag = 0x7265706C;         // 'repl'
constexpr uint32_t kNotificationRecordTag = 0x6E6F7465;  // 'note'
// No reply or notification is longer; a longer length is taken as a broken link.
constexpr uint32_t kMaxLinkRecordLength = 64u << 20;

// Where the records come from.
class WEXRecordSource {
public:
    virtual ~WEXRecordSource() = default;
    // Exactly n bytes, or false.
    virtual bool Receive(void* bytes, size_t n) = 0;
};

// The link's receiving side (no teardown on failure: the caller decides), for the one thread
// reading the link at a time (its reader thread, or a requester reading its own reply). It takes
// what has arrived, up to its buffer's size, in one receive and hands it out from there, so that a
// record's words do not cost a receive each.
class WEXLinkRecordSource final : public WEXRecordSource {
public:
    bool Receive(void* bytes, size_t n) override;
    // Bytes taken off the link and not yet handed out.
    bool HasBuffered() const { return at_ < end_; }
    // The next four bytes, left to be received again; false when the link failed.
    bool PeekWord(uint32_t& word);

private:
    static constexpr size_t kBufferSize = 16 * 1024;
    uint8_t buffer_[kBufferSize];
    size_t at_ = 0;
    size_t end_ = 0;
};

// Bytes in memory, for tests and fuzzing.
class WEXMemoryRecordSource final : public WEXRecordSource {
public:
    WEXMemoryRecordSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Receive(void* bytes, size_t n) override;
    size_t Remaining() const { return size_ - pos_; }

private:
    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// One notification: its type and its payload in a memory stream positioned at the start.
struct WEXNotification {
    uint32_t type = 0;
    Kiv::DynamicBuffer buffer{512};
    TBuffer stream{&buffer, false};
};

// After a notification's tag: reads its type, length and payload. Null when a read fails, the
// length is over the limit or the payload cannot be stored.
std::unique_ptr<WEXNotification> WEXReadNotificationRecord(WEXRecordSource& source);

// After a reply's transaction id: reads the reply's length and bytes, writing them to `reply`
// at its position (dropped when reply is null). False when the link failed or the length is over
// the limit: the link is then out of step. *fitted tells whether every byte went into the stream.
bool WEXReadReplyBody(WEXRecordSource& source, TStream* reply, bool* fitted);

// What a reader does with the records it reads.
class WEXRecordSink {
public:
    virtual ~WEXRecordSink() = default;
    // A reply came in whole: its bytes in a stream positioned at the start, or null when they
    // could not all be kept in memory. True when a requester took it; false when nobody waits
    // for it (it is dropped).
    virtual bool OnReply(uint32_t transactionId, std::unique_ptr<TBuffer> body) = 0;
    virtual void OnNotification(std::unique_ptr<WEXNotification> notification) = 0;
};

// Reads one record and hands it to the sink. False when the reader must stop: a failed read,
// an unknown tag or a length over the limit.
bool WEXReadRecord(WEXRecordSource& source, WEXRecordSink& sink);
