#include "assetdb/link_records.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "assetdb/daemon_link.h"

namespace {

// Bytes are taken off the link in pieces of this size, so that a length announces nothing
// that has not arrived.
constexpr uint32_t kPiece = 64u * 1024u;

// Reads `length` bytes piece by piece and hands each piece to `take`; false when a read fails.
template <typename Take>
bool ReadPieces(WEXRecordSource& source, uint32_t length, Take take) {
    std::vector<uint8_t> piece(std::min(length, kPiece));
    while (length > 0) {
        uint32_t n = std::min(length, kPiece);
        if (!source.Receive(piece.data(), n)) return false;
        take(piece.data(), n);
        length -= n;
    }
    return true;
}

}  // namespace

bool WEXLinkRecordSource::Receive(void* bytes, size_t n) {
    auto* out = static_cast<uint8_t*>(bytes);
    while (n > 0) {
        if (at_ < end_) {
            size_t take = std::min(n, end_ - at_);
            std::memcpy(out, buffer_ + at_, take);
            at_ += take;
            out += take;
            n -= take;
            continue;
        }
        // A large piece goes straight where it is wanted.
        if (n >= kBufferSize) return WEXClientReceiveExact(out, n, false);
        size_t got = WEXClientReceiveSome(buffer_, kBufferSize);
        if (got == 0) return false;
        at_ = 0;
        end_ = got;
    }
    return true;
}

bool WEXLinkRecordSource::PeekWord(uint32_t& word) {
    while (end_ - at_ < 4) {
        if (at_ > 0) {
            std::memmove(buffer_, buffer_ + at_, end_ - at_);
            end_ -= at_;
            at_ = 0;
        }
        size_t got = WEXClientReceiveSome(buffer_ + end_, kBufferSize - end_);
        if (got == 0) return false;
        end_ += got;
    }
    std::memcpy(&word, buffer_ + at_, 4);
    return true;
}

bool WEXMemoryRecordSource::Receive(void* bytes, size_t n) {
    if (n > size_ - pos_) {
        pos_ = size_;
        return false;
    }
    if (n != 0) std::memcpy(bytes, data_ + pos_, n);
    pos_ += n;
    return true;
}

std::unique_ptr<WEXNotification> WEXReadNotificationRecord(WEXRecordSource& source) {
    auto notification = std::make_unique<WEXNotification>();
    uint32_t length = 0;
    if (!source.Receive(&notification->type, 4) || !source.Receive(&length, 4) ||
        length > kMaxLinkRecordLength)
        return nullptr;
    bool stored = true;
    TBuffer& stream = notification->stream;
    if (!ReadPieces(source, length, [&](const uint8_t* bytes, uint32_t n) {
            stored = stored && stream.Write(bytes, n) == n;
        }))
        return nullptr;
    if (!stored) return nullptr;
    stream.Rewind();
    return notification;
}

bool WEXReadReplyBody(WEXRecordSource& source, TStream* reply, bool* fitted) {
    bool allFitted = true;
    uint32_t length = 0;
    bool read = source.Receive(&length, 4) && length <= kMaxLinkRecordLength &&
                ReadPieces(source, length, [&](const uint8_t* bytes, uint32_t n) {
                    // After a short write the rest is still read, so the link stays in step.
                    if (reply != nullptr && allFitted) allFitted = reply->Write(bytes, n) == n;
                });
    if (fitted != nullptr) *fitted = allFitted;
    return read;
}

bool WEXReadRecord(WEXRecordSource& source, WEXRecordSink& sink) {
    uint32_t tag = 0;
    if (!source.Receive(&tag, 4)) return false;
    if (tag == kNotificationRecordTag) {
        std::unique_ptr<WEXNotification> notification = WEXReadNotificationRecord(source);
        if (notification == nullptr) return false;
        sink.OnNotification(std::move(notification));
        return true;
    }
    if (tag == kReplyRecordTag) {
        uint32_t id = 0;
        if (!source.Receive(&id, 4)) return false;
        // Read whole here, so that the requester is woken once, with its reply in hand.
        auto body = std::make_unique<TBuffer>();
        bool fitted = false;
        if (!WEXReadReplyBody(source, body.get(), &fitted)) return false;
        if (fitted)
            body->Rewind();
        else
            body.reset();
        sink.OnReply(id, std::move(body));
        return true;
    }
    return false;
}
