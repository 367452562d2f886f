// The daemon's records read from hostile bytes as the link's reader thread reads them: replies
// (every odd id is taken by a "requester"; the others are dropped by the reader) and notifications,
// each carried out as the reader or the main thread would (without a notification callback, command
// host or cache handler, as in a program that has none; a question is only read, since answering it
// needs a request).
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "assetdb/link_records.h"
#include "assetdb/notifications.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/pstring.h"

namespace {

class Sink final : public WEXRecordSink {
public:
    bool OnReply(uint32_t id, std::unique_ptr<TBuffer> body) override {
        if ((id & 1) == 0) return false;
        if (body == nullptr || body->Tell() != 0 || body->GetDataLength() > kMaxLinkRecordLength)
            std::abort();
        return true;
    }
    void OnNotification(std::unique_ptr<WEXNotification> n) override {
        if (n->stream.Tell() != 0 || n->stream.GetDataLength() > kMaxLinkRecordLength) std::abort();
        if (n->type == kNotifyEventQuestion) {
            WEXEventQuestion question;
            ReadEventQuestion(n->stream, question);
        } else {
            DispatchNotification(n->type, n->stream);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    WEXMemoryRecordSource source(data, size);
    Sink sink;
    while (source.Remaining() > 0 && WEXReadRecord(source, sink)) {
    }
    Kiv::PStringCache::CollectGarbage();
    return 0;
}
