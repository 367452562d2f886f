#include "online/online_messages.h"

#include <cstring>

#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "foundation/tbuffer.h"
#include "foundation/tstream.h"

namespace {

bool WriteText(TStream& stream, const std::string& text) {
    stream.WriteString(text);
    return !stream.HasError();
}

bool WritePayload(TStream& stream, const TDBTagRef& payload) {
    return WriteTagTreeBinary(payload, stream);
}

bool ReadPayload(TStream& stream, TDBTagRef& payload) {
    return ReadTagTreeBinary(stream, payload) && !stream.HasError();
}

}  // namespace

void ReadWholeText(TStream& stream, std::string& out) {
    out.clear();
    uint32_t length = 0;
    if (!stream.ReadU32(length, 0) || length == 0) return;
    if (length > 65535) {
        stream.SetError(TStream::kErrorTooLong);
        return;
    }
    out.resize(length);
    uint32_t got = stream.ReadBytes(out.data(), length);
    if (got < length) stream.SetError(TStream::kErrorShortRead);
    out.resize(::strnlen(out.data(), got));
}

bool OnlineMessage::Write(TStream& stream) const {
    stream.WriteKUID(kuid);
    return WriteText(stream, text) && WritePayload(stream, payload) && !stream.HasError();
}

bool OnlineMessage::Read(TStream& stream) {
    KUID id;
    stream.ReadKUID(id);
    kuid = id;
    if (stream.HasError()) return false;
    ReadWholeText(stream, text);
    if (stream.HasError()) return false;
    return ReadPayload(stream, payload);
}

bool VersionedMessage::Write(TStream& stream) const {
    if (!OnlineMessage::Write(stream)) return false;
    stream.WriteU32(version);
    stream.WriteBool(flag);
    return !stream.HasError();
}

bool VersionedMessage::Read(TStream& stream) {
    if (!OnlineMessage::Read(stream)) return false;
    stream.ReadU32(version, 0);
    stream.ReadBool(flag, false);
    return !stream.HasError();
}

bool GroupMessage::Write(TStream& stream) const {
    stream.WriteKUID(kuid);
    if (!WriteText(stream, text)) return false;
    stream.WritePString(Kiv::PString(cookie));
    return WritePayload(stream, payload) && !stream.HasError();
}

bool GroupMessage::Read(TStream& stream) {
    KUID id;
    stream.ReadKUID(id);
    kuid = id;
    ReadWholeText(stream, text);
    ReadWholeText(stream, cookie);
    if (stream.HasError()) return false;
    return ReadPayload(stream, payload);
}

bool SaveStoredMessages(TStream& stream, const StoredMessageList& list) {
    stream.WriteU32(kStoredMessagesVersion);
    stream.WriteU32(static_cast<uint32_t>(list.size()));
    for (const auto& message : list) {
        if (auto* versioned = dynamic_cast<const VersionedMessage*>(message.get())) {
            if (!versioned->Write(stream)) return false;
        } else if (!VersionedMessage(*message).Write(stream)) {
            return false;
        }
    }
    return !stream.HasError();
}

bool LoadStoredMessages(TStream& stream, StoredMessageList& list) {
    uint32_t version = 0;
    if (!stream.ReadU32(version, 0) || version != kStoredMessagesVersion) return false;
    uint32_t count = 0;
    stream.ReadU32(count, 0);
    list.clear();
    for (uint32_t i = 0; i < count; ++i) {
        auto message = std::make_unique<VersionedMessage>();
        if (!message->Read(stream)) break;
        list.push_back(std::move(message));
    }
    return true;
}
