#include "assetdb/reader_thread.h"

#include "assetdb/client_transaction.h"
#include "assetdb/daemon_link.h"
#include "assetdb/link_records.h"
#include "assetdb/notifications.h"
#include "assetdb/request_sender.h"
#include "assetdb/vendrix_cache.h"

namespace {

class LinkSink final : public WEXRecordSink {
public:
    explicit LinkSink(uint32_t link) : link_(link) {}

    bool OnReply(uint32_t transactionId, std::unique_ptr<TBuffer> body) override {
        return WEXClientTransaction::ReceiveReply(transactionId, link_, std::move(body));
    }
    void OnNotification(std::unique_ptr<WEXNotification> notification) override {
        QueueNotification(std::move(notification));
    }

private:
    uint32_t link_;
};

}  // namespace

void WEXClientReaderThread() {
    // The link stays current until this thread has been joined.
    const uint32_t link = WEXClientLinkNumber();
    WEXLinkRecordSource source;
    LinkSink sink(link);
    {
        WEXReadingSeat seat(link, source);
        while (!WEXClientReaderShouldStop()) {
            WEXClientReceiveGate().Wait();
            if (WEXClientReaderShouldStop()) break;
            if (!seat.Shared()) {
                if (!WEXReadRecord(source, sink)) break;
                continue;
            }
            // A requester reading its own reply has the link until it gives it back.
            if (!seat.TakeForReader()) {
                seat.Await();
                continue;
            }
            if (!source.HasBuffered() && !WEXClientLinkReadable()) {
                seat.Release();
                seat.Await();
                continue;
            }
            bool read = WEXReadRecord(source, sink);
            seat.Release();
            if (!read) break;
        }
        // Shuts the stream down, which ends a requester's wait for its reply, before the seat
        // waits for that requester to give the reading back.
        WEXClientLinkDropped();
    }
    FailAllTransactions(link);
}

void WEXInstallClientLink() {
    WEXLinkHooks hooks;
    hooks.readerBody = WEXClientReaderThread;
    hooks.transact = WEXClientTransactAndWait;
    hooks.discardNotifications = DiscardNotifications;
    SetWEXLinkHooks(hooks);
    WEXUseDaemonLink();
    SetWEXCacheUpdateHandler(WEXVendrixUpdateNotification);
}
