#include "assetdb/asset_search.h"

#include <vector>

#include "assetdb/reply_reading.h"
#include "assetdb/request_sender.h"
#include "configdata/kuid.h"
#include "foundation/tbuffer.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

bool WEXWriteSearchRequest(TBuffer& request, const WEXFilterElement& root) {
    return WEXFilterWriteElement(request, &root);
}

bool WEXReadSearchReply(TStream& reply, KUIDBlockList& out) {
    uint32_t count;
    if (!reply.ReadU32(count)) return false;
    // Read whole before anything is appended, so a reply that breaks off adds nothing.
    std::vector<KUID> kuids;
    if (!WEXReadKUIDs(reply, count, kuids)) return false;
    for (const KUID& k : kuids)
        out.Append(k);
    return true;
}

namespace WEXClient {

bool SearchAssets(const WEXFilterElement& root, KUIDBlockList& out) {
    TBuffer request;
    if (!WEXWriteSearchRequest(request, root)) {
        Kiv::Log::Write("WEXClient::SearchAssets> the filter cannot be written; not sent");
        return false;
    }
    request.Rewind();
    TBuffer reply;
    if (!WEXSendRequest(kWEXRequestSearchAssets, request, reply)) return false;
    reply.Rewind();
    if (!WEXReadSearchReply(reply, out)) {
        Kiv::Log::Write(Kiv::String::Printf("WEXClient::SearchAssets> malformed reply of %u bytes",
                                            reply.GetDataLength()));
        return false;
    }
    return true;
}

}  // namespace WEXClient
