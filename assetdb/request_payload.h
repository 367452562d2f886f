// Building a request's payload and sending it: the field encodings of the daemon requests over
// a memory buffer, and the one path every wrapper sends through.
//
// A text or name longer than a request carries (65,535 bytes) is not cut down to an empty
// field: an empty keyword text or name would be stored by the daemon in place of the real one.
// Such a payload is refused instead; sending it logs a warning naming the operation and fails,
// so the wrapper yields its failure value.
#pragma once

#include <cstdint>
#include <string_view>

#include "assetdb/request_sender.h"
#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "foundation/tbuffer.h"

class WEXPayload {
public:
    // `operation` names the wrapper in log lines ("WEXClient::ImportKeywords").
    explicit WEXPayload(const char* operation);

    const char* GetOperation() const { return operation_; }

    void WriteBool(bool v) { buffer_.WriteBool(v); }
    void WriteU32(uint32_t v) { buffer_.WriteU32(v); }
    void WriteU64(uint64_t v) { buffer_.WriteU64(v); }
    void WriteKUID(const KUID& k) { k.Write(buffer_); }
    // An interned string: u32 length with the NUL, the bytes and the NUL; a null name is the
    // single word 0.
    void WriteName(const Kiv::PString& name);
    void WriteName(std::string_view text) { WriteName(Kiv::PString(text)); }
    // Owned text: u32 byte count, the bytes.
    void WriteText(std::string_view text);
    // A whole binary soup of the tree (an empty reference gives the empty soup). A tree the
    // soup writer refuses (nested too deep, too large) refuses the payload.
    void WriteSoup(const TDBTagRef& tree);

    // True once a field could not be written as it is; the payload must not be sent.
    bool IsRefused() const { return refused_; }
    TBuffer& GetBuffer() { return buffer_; }

private:
    void Refuse(const char* what, size_t bytes);

    const char* operation_;
    TBuffer buffer_;
    bool refused_ = false;
};

// Sends the payload as request `messageId` and rewinds the reply for reading. False, with the
// reply empty, when the payload was refused or the daemon was not reached.
bool WEXTransact(uint32_t messageId, WEXPayload& payload, TBuffer& reply,
                 const WEXRequestExtras& extras = {});
// Sends the payload one-way; false when it was refused or could not be sent.
bool WEXPost(uint32_t messageId, WEXPayload& payload);
