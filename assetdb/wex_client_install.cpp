#include "assetdb/wex_client_install.h"

#include "assetdb/reply_reading.h"
#include "assetdb/request_hooks.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"
#include "assetdb/tag_text.h"

namespace WEXClient {

bool RequestValidation(std::string_view folder, std::string_view secondPath, ResultsLog* log) {
    WEXPayload payload("WEXClient::RequestValidation");
    payload.WriteName(folder);
    payload.WriteText(secondPath);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestValidation, payload, reply, {nullptr, log, false})) return false;
    bool valid;
    reply.ReadBool(valid, false);
    return valid;
}

bool InstallFromPath(std::string_view folder, uint32_t option, bool flag, KUID& installed,
                     ResultsLog* log, WEXClientEventHandler* handler) {
    WEXPayload payload("WEXClient::InstallFromPath");
    payload.WriteText(folder);
    payload.WriteU32(option);
    payload.WriteBool(flag);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestInstallFromPath, payload, reply, {handler, log, false}))
        return false;
    installed.Read(reply);
    bool answer;
    reply.ReadBool(answer, false);
    return answer;
}

bool InstallArchive(std::string_view path, uint32_t mode, bool flag, uint32_t* count,
                    ResultsLog* log, WEXClientEventHandler* handler) {
    WEXPayload payload("WEXClient::InstallArchive");
    payload.WriteText(path);
    payload.WriteU32(mode);
    payload.WriteBool(flag);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestInstallArchive, payload, reply, {handler, log, false}))
        return false;
    uint32_t word = reply.ReadU32Value(0);
    if (count != nullptr) *count = word;
    bool answer;
    reply.ReadBool(answer, false);
    return answer;
}

TDBTagRef ExportAsset(const KUID& asset, uint32_t mode, ResultsLog* log) {
    WEXPayload payload("WEXClient::ExportAsset");
    payload.WriteKUID(asset);
    payload.WriteU32(mode);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestExportAsset, payload, reply, {nullptr, log, false})) return {};
    return WEXReadSoupReply(reply);
}

TDBTagRef ExportAssetToArchive(const KUID& asset, uint32_t mode, const TDBTagRef& options,
                               ResultsLog* log) {
    WEXSetTextTag(options, "compression", "LZSS");
    TDBTagRef exported = ExportAsset(asset, mode, log);
    if (!exported) return {};
    return WEXBuildArchive(exported, options, "WEXClient::ExportAssetToArchive");
}

}  // namespace WEXClient
