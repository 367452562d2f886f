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
    while (!WEXClientReaderShouldStop()) {
        WEXClientReceiveGate().Wait();
        if (WEXClientReaderShouldStop() || !WEXReadRecord(source, sink)) break;
    }
    WEXClientLinkDropped();
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
