#include "assetdb/wex_client_edit.h"

#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"
#include "assetdb/spec_registry.h"
#include "platform/kiv/base/log.h"

namespace WEXClient {

namespace {

// An answer that carries no handle is taken as "nothing opened" rather than as handle 0.
uint64_t ReadDaemonHandle(TStream& reply) {
    uint64_t handle;
    reply.ReadU64(handle, WEXAssetHandle::kNoDaemonHandle);
    return handle;
}

// The script host loads the asset's spec afresh on its next use.
void ForgetCachedSpec(const KUID& asset) {
    if (SpecRegistry* registry = SpecRegistry::Instance()) registry->Forget(asset);
}

bool HoldsAsset(const WEXAssetHandle& handle, const char* operation) {
    if (handle.IsValid()) return true;
    Kiv::Log::Write(std::string(operation) + "> no asset is open on the handle; not sent");
    return false;
}

}  // namespace

WEXAssetHandle OpenAssetForEdit(const KUID& asset, bool flag, uint8_t handleFlags,
                                Kiv::String* folder) {
    WEXPayload payload("WEXClient::OpenAssetForEdit");
    payload.WriteKUID(asset);
    payload.WriteBool(flag);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestOpenAssetForEdit, payload, reply)) return {};
    uint64_t daemonHandle = ReadDaemonHandle(reply);
    Kiv::PString name = reply.ReadPString();
    Kiv::String path;
    reply.ReadString(path);
    WEXAssetHandle handle =
        WEXAssetHandle::Open(daemonHandle, asset, std::move(name), path, true, handleFlags);
    if (folder != nullptr && handle.IsValid()) *folder = path;
    return handle;
}

WEXAssetHandle CreateAsset(const KUID& asset, bool flag, std::string_view name,
                           uint8_t handleFlags) {
    WEXPayload payload("WEXClient::CreateAsset");
    payload.WriteKUID(asset);
    payload.WriteBool(flag);
    payload.WriteText(name);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestCreateAsset, payload, reply)) return {};
    uint64_t daemonHandle = ReadDaemonHandle(reply);
    KUID created;
    created.Read(reply);
    Kiv::PString createdName = reply.ReadPString();
    Kiv::String path;
    reply.ReadString(path);
    return WEXAssetHandle::Open(daemonHandle, created, std::move(createdName), std::move(path),
                                false, handleFlags);
}

bool GetHandlePath(WEXAssetHandle& handle, Kiv::String& path, Kiv::PString* name) {
    if (!handle.IsValid()) {
        path.Clear();
        if (name != nullptr) *name = Kiv::PString();
        return false;
    }
    if (!handle.IsOpen()) {
        WEXPayload payload("WEXClient::GetHandlePath");
        payload.WriteU64(handle.GetDaemonHandle());
        TBuffer reply;
        if (!WEXTransact(kWEXRequestHandlePath, payload, reply)) return false;
        Kiv::PString answeredName = reply.ReadPString();
        Kiv::String folder;
        reply.ReadString(folder);
        handle.SetOpened(std::move(answeredName), std::move(folder));
    }
    path = handle.GetFolder();
    if (name != nullptr) *name = handle.GetName();
    return !path.IsEmpty();
}

bool RevertAsset(WEXAssetHandle& handle, ResultsLog* log) {
    bool reverted = false;
    if (HoldsAsset(handle, "WEXClient::RevertAsset")) {
        WEXPayload payload("WEXClient::RevertAsset");
        payload.WriteU64(handle.GetDaemonHandle());
        TBuffer reply;
        if (WEXTransact(kWEXRequestRevertAsset, payload, reply, {nullptr, log, false}))
            reply.ReadBool(reverted, false);
    }
    handle.Release();
    return reverted;
}

bool CommitAsset(WEXAssetHandle& handle, uint32_t flags, bool* second, ResultsLog* log) {
    if (!HoldsAsset(handle, "WEXClient::CommitAsset")) return false;
    WEXPayload payload("WEXClient::CommitAsset");
    payload.WriteU64(handle.GetDaemonHandle());
    payload.WriteU32(flags);
    TBuffer reply;
    bool answered = WEXTransact(kWEXRequestCommitAsset, payload, reply, {nullptr, log, false});
    handle.ClearOpen();
    if (!answered) return false;
    bool committed, secondAnswer;
    reply.ReadBool(committed, false);
    reply.ReadBool(secondAnswer, false);
    if (second != nullptr) *second = secondAnswer;
    if (committed) {
        handle.SetFlags(0);
        ForgetCachedSpec(handle.GetAsset());
    }
    return committed;
}

bool DeleteAsset(const KUID& asset, bool flag, ResultsLog* log) {
    WEXPayload payload("WEXClient::DeleteAsset");
    payload.WriteKUID(asset);
    payload.WriteBool(flag);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestDeleteAsset, payload, reply, {nullptr, log, false})) return false;
    bool deleted;
    reply.ReadBool(deleted, false);
    if (deleted) ForgetCachedSpec(asset);
    return deleted;
}

}  // namespace WEXClient
