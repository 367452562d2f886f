#include "assetdb/request_sender.h"

#include <atomic>

#include "assetdb/daemon_link.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

namespace {

std::atomic<WEXTransactCall> gTransact{nullptr};
std::atomic<WEXPostCall> gPost{nullptr};

// Per thread, since each requester waits for its own replies.
thread_local uint64_t tUnanswered = 0;
thread_local WEXNoReplyCause tLastCause = WEXNoReplyCause::kNone;
// What the transport said about the request in flight on this thread.
thread_local WEXNoReplyCause tNoted = WEXNoReplyCause::kNone;

bool CountUnanswered(WEXNoReplyCause fallback) {
    ++tUnanswered;
    tLastCause = tNoted != WEXNoReplyCause::kNone ? tNoted : fallback;
    return false;
}

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
    tNoted = WEXNoReplyCause::kNone;
    if (transact == nullptr) {
        NotAvailable("request", messageId);
        return CountUnanswered(WEXNoReplyCause::kNotReached);
    }
    if (transact(messageId, payload, &reply, extras.eventHandler, extras.resultsLog,
                 extras.keepLog))
        return true;
    return CountUnanswered(WEXNoReplyCause::kUnknown);
}

bool WEXSendPost(uint32_t messageId, TStream& payload) {
    WEXPostCall post = gPost.load();
    tNoted = WEXNoReplyCause::kNone;
    if (post == nullptr) {
        NotAvailable("post", messageId);
        return CountUnanswered(WEXNoReplyCause::kNotReached);
    }
    // A post that went out is never answered: only one that could not be sent counts.
    if (post(messageId, payload)) return true;
    return CountUnanswered(WEXNoReplyCause::kNotReached);
}

uint64_t WEXCountUnansweredRequests() {
    return tUnanswered;
}

WEXNoReplyCause WEXLastNoReplyCause() {
    return tLastCause;
}

void WEXNoteNoReplyCause(WEXNoReplyCause cause) {
    tNoted = cause;
}

const char* WEXNoReplyCauseText(WEXNoReplyCause cause) {
    switch (cause) {
        case WEXNoReplyCause::kNotReached:
            return "the asset-database daemon could not be reached";
        case WEXNoReplyCause::kLinkDropped:
            return "the link to the asset-database daemon dropped before it answered";
        case WEXNoReplyCause::kNone:
        case WEXNoReplyCause::kUnknown:
            break;
    }
    return "the asset-database daemon did not answer";
}
