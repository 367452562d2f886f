#include "assetdb/request_sender.h"

#include <atomic>

#include "assetdb/daemon_link.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

namespace {

std::atomic<WEXTransactCall> gTransact{nullptr};
std::atomic<WEXPostCall> gPost{nullptr};

bool NotAvailable(const char* what, uint32_t messageId) {
    Kiv::Log::Write(Kiv::String::Printf(
        "WEXSendRequest> %s %u failed: the daemon link is not available in this build", what,
        messageId));
    return false;
}

}  // namespace

void WEXSetTransport(const WEXTransport& transport) {
    gTransact.store(transport.transact);
    gPost.store(transport.post);
}

WEXTransport WEXGetTransport() {
    return {gTransact.load(), gPost.load()};
}

void WEXUseDaemonLink() {
    WEXSetTransport({&WEXClientTransact, &WEXClientPost});
}

bool WEXSendRequest(uint32_t messageId, TStream& payload, TStream& reply,
                    const WEXRequestExtras& extras) {
    WEXTransactCall transact = gTransact.load();
    if (transact == nullptr) return NotAvailable("request", messageId);
    return transact(messageId, payload, &reply, extras.eventHandler, extras.resultsLog,
                    extras.keepLog);
}

bool WEXSendPost(uint32_t messageId, TStream& payload) {
    WEXPostCall post = gPost.load();
    if (post == nullptr) return NotAvailable("post", messageId);
    return post(messageId, payload);
}
