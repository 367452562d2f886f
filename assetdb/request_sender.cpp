#include "assetdb/request_sender.h"

#include <atomic>

#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

namespace {
std::atomic<WEXRequestSender> gSender{nullptr};
}

void WEXSetRequestSender(WEXRequestSender sender) {
    gSender.store(sender);
}

bool WEXSendRequest(uint32_t messageId, TStream& payload, TStream& reply) {
    WEXRequestSender sender = gSender.load();
    if (sender == nullptr) {
        Kiv::Log::Write(Kiv::String::Printf(
            "WEXSendRequest> request %u failed: the daemon link is not available in this build",
            messageId));
        return false;
    }
    return sender(messageId, payload, reply);
}
