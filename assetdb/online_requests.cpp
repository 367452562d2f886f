#include "assetdb/online_requests.h"

#include "assetdb/reply_reading.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"

namespace WEXClient {

Kiv::String OnlineRequest240() {
    WEXPayload payload("WEXClient::OnlineRequest240");
    TBuffer reply;
    Kiv::String first;
    if (!WEXTransact(kWEXRequestOnline240, payload, reply)) return first;
    // The whole answer is read; only its first text is handed back.
    Kiv::String second, third, fifth;
    uint16_t fourth, sixth;
    reply.ReadString(first);
    reply.ReadString(second);
    reply.ReadString(third);
    reply.ReadU16(fourth, 0);
    reply.ReadString(fifth);
    reply.ReadU16(sixth, 0);
    return first;
}

void OnlinePost241() {
    WEXPayload payload("WEXClient::OnlinePost241");
    WEXPost(kWEXPostOnline241, payload);
}

Kiv::String OnlineRequest242() {
    WEXPayload payload("WEXClient::OnlineRequest242");
    TBuffer reply;
    Kiv::String ticket;
    if (WEXTransact(kWEXRequestOnline242, payload, reply)) reply.ReadString(ticket);
    return ticket;
}

bool GetOnlineLocalData(const KUID& asset, std::string_view key, TDBTagRef& data) {
    data.Reset();
    WEXPayload payload("WEXClient::GetOnlineLocalData");
    payload.WriteKUID(asset);
    payload.WriteText(key);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestOnlineLocalData, payload, reply)) return false;
    return WEXReadSoupReply(reply, data);
}

bool PostOnlineLocalData(const KUID& asset, std::string_view key, const TDBTagRef& data) {
    WEXPayload payload("WEXClient::PostOnlineLocalData");
    payload.WriteKUID(asset);
    payload.WriteText(key);
    payload.WriteSoup(data);
    return WEXPost(kWEXPostOnlineLocalData, payload);
}

}  // namespace WEXClient
