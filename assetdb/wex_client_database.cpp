#include "assetdb/wex_client_database.h"

#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"

namespace WEXClient {

namespace {

// The requests with an empty payload answered by one bool; `fallback` without an answer.
bool AskForBool(uint32_t messageId, const char* operation, bool replyDefault, bool fallback) {
    WEXPayload payload(operation);
    TBuffer reply;
    if (!WEXTransact(messageId, payload, reply)) return fallback;
    bool answer;
    reply.ReadBool(answer, replyDefault);
    return answer;
}

}  // namespace

bool StartRepair(uint32_t mode, ResultsLog* log) {
    WEXPayload payload("WEXClient::StartRepair");
    payload.WriteU32(mode);
    TBuffer reply;
    return WEXTransact(kWEXRequestStartRepair, payload, reply, {nullptr, log, true});
}

bool GetRepairProgress(float& progress, Kiv::String& status) {
    WEXPayload payload("WEXClient::GetRepairProgress");
    TBuffer reply;
    if (!WEXTransact(kWEXRequestRepairProgress, payload, reply)) return false;
    bool running;
    reply.ReadBool(running, false);
    reply.ReadFloat(progress, 0.0f);
    reply.ReadString(status);
    return running;
}

void RepairDatabase() {
    WEXPayload payload("WEXClient::RepairDatabase");
    WEXPost(kWEXPostRepairDatabase, payload);
}

bool QueryVendrixAccess(uint32_t* level) {
    WEXPayload payload("WEXClient::QueryVendrixAccess");
    TBuffer reply;
    bool allowed = false;
    uint32_t answeredLevel = 0;
    if (WEXTransact(kWEXRequestVendrixAccess, payload, reply)) {
        reply.ReadBool(allowed, false);
        reply.ReadU32(answeredLevel, 0);
    }
    if (level != nullptr) *level = answeredLevel;
    return allowed;
}

bool TextureRequest() {
    return AskForBool(kWEXRequestTexture, "WEXClient::TextureRequest", true, true);
}

void RequestQuiesce() {
    WEXPayload payload("WEXClient::RequestQuiesce");
    TBuffer reply;
    WEXTransact(kWEXRequestQuiesce, payload, reply);
}

bool IsQuiescent() {
    return AskForBool(kWEXRequestIsQuiescent, "WEXClient::IsQuiescent", false, false);
}

bool AskIsQuiescent(bool& quiescent) {
    WEXPayload payload("WEXClient::IsQuiescent");
    TBuffer reply;
    if (!WEXTransact(kWEXRequestIsQuiescent, payload, reply)) return false;
    reply.ReadBool(quiescent, false);
    return true;
}

Kiv::PString ListInstalledBuilds() {
    WEXPayload payload("WEXClient::ListInstalledBuilds");
    TBuffer reply;
    if (!WEXTransact(kWEXRequestInstalledBuilds, payload, reply)) return Kiv::PString("");
    return reply.ReadPString();
}

}  // namespace WEXClient
