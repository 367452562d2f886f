// The messages the online-access server carries between script clients, in their stream
// forms, and the file in which messages for clients that were not running survive between
// runs ("cache/oa_messages.dat").
//
//   message            KUID (8-byte binary form), text (u32 length, bytes), payload (binary soup)
//   versioned message  a message, then version (u32) and flag (one byte)
//   group message      KUID, text, group cookie (u32 length counting a NUL, bytes, NUL),
//                      payload
//
//   oa_messages.dat    version (u32, 1), count (u32), count versioned messages
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"

class TStream;

// Reads a text (u32 length, bytes) or an interned text (the length counts the NUL) as the
// stream does, ending at the first NUL, but a text cut short by the end of the data also sets
// the stream's short-read error: a message whose fields do not read whole must be seen as
// such. A length over 65535 reads as empty with error 3.
void ReadWholeText(TStream& stream, std::string& out);

class OnlineMessage {
public:
    virtual ~OnlineMessage() = default;
    // False when the stream did not take every byte or the payload cannot be written as a soup.
    virtual bool Write(TStream& stream) const;
    // False when a field did not read whole (the fields read so far are kept).
    virtual bool Read(TStream& stream);
    virtual std::unique_ptr<OnlineMessage> Clone() const {
        return std::make_unique<OnlineMessage>(*this);
    }

    KUID kuid;
    std::string text;
    TDBTagRef payload;  // none: an empty soup on the wire
};

class VersionedMessage : public OnlineMessage {
public:
    VersionedMessage() = default;
    // A plain message made versioned: same asset, text and shared payload; version 0, flag off.
    explicit VersionedMessage(const OnlineMessage& plain) : OnlineMessage(plain) {}
    bool Write(TStream& stream) const override;
    bool Read(TStream& stream) override;
    std::unique_ptr<OnlineMessage> Clone() const override {
        return std::make_unique<VersionedMessage>(*this);
    }

    uint32_t version = 0;
    bool flag = false;
};

class GroupMessage : public OnlineMessage {
public:
    bool Write(TStream& stream) const override;
    bool Read(TStream& stream) override;
    std::unique_ptr<OnlineMessage> Clone() const override {
        return std::make_unique<GroupMessage>(*this);
    }

    std::string cookie;
};

using StoredMessageList = std::vector<std::unique_ptr<OnlineMessage>>;

constexpr uint32_t kStoredMessagesVersion = 1;
// Where the stored messages live under the user-data folder.
constexpr const char* kStoredMessagesFolder = "cache";
constexpr const char* kStoredMessagesFile = "oa_messages.dat";

// Writes the version, the count and every message as a versioned one (a plain message as
// version 0, flag off). False when the stream did not take it all.
bool SaveStoredMessages(TStream& stream, const StoredMessageList& list);
// Reads a file written by SaveStoredMessages into the list. A stream shorter than the version
// word (error 4) or another version leaves the list as it was; otherwise the list is replaced
// by the records that read whole, in order: reading stops at the first record cut short, and
// the count is never trusted beyond the bytes there are. False when the list was left alone.
bool LoadStoredMessages(TStream& stream, StoredMessageList& list);
