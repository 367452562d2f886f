#include "assetdb/wex_client_assets.h"

#include "assetdb/asset_info_format.h"
#include "assetdb/reply_reading.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"
#include "assetdb/tag_text.h"

namespace WEXClient {

namespace {

// The requests answered with one KUID; `fallback` without an answer.
KUID AskForKUID(uint32_t messageId, WEXPayload& payload, const KUID& fallback) {
    TBuffer reply;
    if (!WEXTransact(messageId, payload, reply)) return fallback;
    KUID answer;
    answer.Read(reply);
    return answer;
}

KUID AskAboutKUID(uint32_t messageId, const char* operation, const KUID& asset) {
    WEXPayload payload(operation);
    payload.WriteKUID(asset);
    return AskForKUID(messageId, payload, asset);
}

}  // namespace

TDBTagRef GetAssetConfig(const KUID& asset) {
    WEXPayload payload("WEXClient::GetAssetConfig");
    payload.WriteKUID(asset);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestAssetConfig, payload, reply)) return {};
    return WEXReadSoupReply(reply);
}

bool LoadAssetConfigSoup(const KUID& asset, AssetScriptConfig& out) {
    out = AssetScriptConfig();
    TDBTagRef config = GetAssetConfig(asset);
    if (!config) return false;
    out.script = WEXReadTextTag(config, "script");
    out.scriptLibrary = WEXReadTextTag(config, "scriptlibrary");
    out.className = WEXReadTextTag(config, "class");
    out.scriptClass = WEXReadTextTag(config, "scriptclass");
    out.config = std::move(config);
    return true;
}

bool GetAssetInfo(const KUID& asset, WEXAssetInfo& info, uint32_t mask) {
    WEXPayload payload("WEXClient::GetAssetInfo");
    payload.WriteKUID(asset);
    payload.WriteU32(mask);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestAssetInfo, payload, reply)) return false;
    WEXReadAssetInfo(reply, info);
    return true;
}

bool ResolveAssetPath(const KUID& asset, bool flag, Kiv::String& path) {
    WEXPayload payload("WEXClient::ResolveAssetPath");
    payload.WriteKUID(asset);
    payload.WriteBool(flag);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestResolveAssetPath, payload, reply)) return false;
    reply.ReadPString();  // the asset's name, not used here
    reply.ReadString(path);
    return true;
}

KUID ResolveAssetId(const KUID& asset) {
    return AskAboutKUID(kWEXRequestResolveAssetId, "WEXClient::ResolveAssetId", asset);
}

KUID GetUpdatedAsset(const KUID& asset) {
    return AskAboutKUID(kWEXRequestUpdatedAsset, "WEXClient::GetUpdatedAsset", asset);
}

Kiv::String GetAssetDescription(const KUID& asset) {
    WEXPayload payload("WEXClient::GetAssetDescription");
    payload.WriteKUID(asset);
    TBuffer reply;
    Kiv::String description;
    if (WEXTransact(kWEXRequestAssetDescription, payload, reply)) reply.ReadString(description);
    return description;
}

bool GetThumbnailPath(const KUID& asset, uint32_t option, Kiv::String& path, uint32_t& status) {
    WEXPayload payload("WEXClient::GetThumbnailPath");
    payload.WriteKUID(asset);
    payload.WriteU32(option);
    TBuffer reply;
    path.Clear();
    status = 0;
    if (!WEXTransact(kWEXRequestThumbnailPath, payload, reply)) return false;
    reply.ReadPString();  // the asset's name, not used here
    reply.ReadString(path);
    reply.ReadU32(status, 0);
    return true;
}

bool GetDependencyList(uint32_t option, const KUID& asset, KUIDBlockList& out) {
    WEXPayload payload("WEXClient::GetDependencyList");
    payload.WriteU32(option);
    payload.WriteKUID(asset);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestDependencyList, payload, reply)) return false;
    return WEXReadKUIDListReply(reply, out, payload.GetOperation());
}

bool GetObsoletes(const KUID& asset, KUIDBlockList& out) {
    WEXPayload payload("WEXClient::GetObsoletes");
    payload.WriteKUID(asset);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestObsoletes, payload, reply)) return false;
    return WEXReadKUIDListReply(reply, out, payload.GetOperation());
}

void SetAssetFavorite(const KUID& asset, bool favorite) {
    WEXPayload payload("WEXClient::SetAssetFavorite");
    payload.WriteKUID(asset);
    payload.WriteBool(favorite);
    WEXPost(kWEXPostAssetFavorite, payload);
}

bool ImportKeywords(const KUID& asset, std::string_view keywords) {
    WEXPayload payload("WEXClient::ImportKeywords");
    payload.WriteKUID(asset);
    payload.WriteText(keywords);
    return WEXPost(kWEXPostImportKeywords, payload);
}

KUID GenerateKUID(const KUID& current) {
    WEXPayload payload("WEXClient::GenerateKUID");
    return AskForKUID(kWEXRequestGenerateKUID, payload, current);
}

}  // namespace WEXClient
