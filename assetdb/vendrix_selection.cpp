#include "assetdb/vendrix_selection.h"

#include "assetdb/reply_reading.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

namespace WEXClient {

bool SelectNeededDownloads(const std::vector<WEXVendrixEntry>& entries,
                           std::vector<uint32_t>& positions) {
    WEXPayload payload("WEXClient::SelectNeededDownloads");
    payload.WriteU32(static_cast<uint32_t>(entries.size()));
    for (const WEXVendrixEntry& e : entries) {
        payload.WriteKUID(e.required);
        payload.WriteKUID(e.latestVersion);
        payload.WriteU32(e.latestVersionSize);
    }
    TBuffer reply;
    if (!WEXTransact(kWEXRequestSelectDownloads, payload, reply)) return false;

    uint32_t count = reply.ReadU32Value(0);
    uint32_t whole = WEXBoundedCount(reply, count, 4);
    uint32_t dropped = 0;
    positions.reserve(positions.size() + whole);
    for (uint32_t i = 0; i < whole; ++i) {
        uint32_t position = reply.ReadU32Value(0);
        if (position < entries.size())
            positions.push_back(position);
        else
            ++dropped;
    }
    if (whole < count || dropped != 0) {
        Kiv::Log::Write(Kiv::String::Printf(
            "%s> the reply announces %u positions, holds %u, of which %u name no entry sent",
            payload.GetOperation(), count, whole, dropped));
        return false;
    }
    return true;
}

}  // namespace WEXClient
