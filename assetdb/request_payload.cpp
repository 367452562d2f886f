#include "assetdb/request_payload.h"

#include "configdata/soup_writer.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

WEXPayload::WEXPayload(const char* operation) : operation_(operation) {}

void WEXPayload::WriteName(const Kiv::PString& name) {
    // The stream writes a name whose length with its NUL exceeds the limit as an empty one.
    if (!name.IsNull() && name.Length() + 1 > TStream::kMaxStringLength) {
        Refuse("name", name.Length());
        return;
    }
    buffer_.WritePString(name);
}

void WEXPayload::WriteText(std::string_view text) {
    if (text.size() > TStream::kMaxStringLength) {
        Refuse("text", text.size());
        return;
    }
    buffer_.WriteString(text);
}

void WEXPayload::WriteSoup(const TDBTagRef& tree) {
    TBuffer soup;
    if (!WriteTagTreeBinary(tree, soup)) {
        refused_ = true;
        Kiv::Log::Write(Kiv::String::Printf(
            "%s> warning: the tree cannot be written as a soup; the request is not sent",
            operation_));
        return;
    }
    buffer_.Write(soup.GetData(), soup.GetDataLength());
}

void WEXPayload::Refuse(const char* what, size_t bytes) {
    refused_ = true;
    Kiv::Log::Write(Kiv::String::Printf(
        "%s> warning: a %s of %zu bytes is longer than the %u bytes a request carries; the "
        "request is not sent",
        operation_, what, bytes, TStream::kMaxStringLength));
}

bool WEXTransact(uint32_t messageId, WEXPayload& payload, TBuffer& reply,
                 const WEXRequestExtras& extras) {
    if (payload.IsRefused()) return false;
    TBuffer& request = payload.GetBuffer();
    request.Rewind();
    bool answered = WEXSendRequest(messageId, request, reply, extras);
    if (!answered) {
        // Nothing the failed request may have left is read.
        reply.Reset();
        return false;
    }
    reply.Rewind();
    return true;
}

bool WEXPost(uint32_t messageId, WEXPayload& payload) {
    if (payload.IsRefused()) return false;
    TBuffer& request = payload.GetBuffer();
    request.Rewind();
    return WEXSendPost(messageId, request);
}
