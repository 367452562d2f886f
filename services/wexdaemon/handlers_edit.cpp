// The requests that open assets for editing, create them, and commit or revert their editing
// copies. Handles are the store's: every handle on one asset shares its one editing copy, and
// committing or reverting through one closes them all, so a later commit through another
// answers false with a report line saying why.
#include <functional>

#include "assetdb/asset_handle.h"
#include "assetdb/request_ids.h"
#include "services/wexdaemon/asset_info_answer.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/command_host_manager.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/handlers.h"
#include "services/wexdaemon/request_report.h"
#include "services/wexdaemon/vendrix_service.h"

namespace wexd {

namespace {

constexpr uint64_t kNoHandle = WEXAssetHandle::kNoDaemonHandle;
// Commit flag: the copy is the asset as archived.
constexpr uint32_t kCommitAsArchived = 4;

// What a failed change of an opened asset reports.
std::string Explain(const StoreResult& result, uint64_t handle) {
    if (result.status == StoreStatus::kNotFound)
        return "handle " + std::to_string(handle) +
               " holds no asset open for edit: it was closed, or its asset was committed or "
               "reverted through another handle";
    return result.message;
}

// Changes the asset a handle holds; a refusal becomes a report line naming the asset.
bool ChangeThroughHandle(AssetStore& store, RequestReport& report, uint64_t handle,
                         const char* what, const std::function<StoreResult()>& change) {
    std::optional<KUID> kuid = store.HandleAsset(handle);
    StoreResult result = change();
    if (!result.Ok())
        report.Error(kuid.value_or(KUID::kNull),
                     std::string("unable to ") + what + ": " + Explain(result, handle));
    return result.Ok();
}

// The shown name of a held asset; none for an asset the store does not hold.
Kiv::PString ShownName(AssetStore& store, const KUID& kuid) {
    std::optional<AssetRecord> record = store.Find(kuid);
    return record ? Kiv::PString(AssetShownName(*record)) : Kiv::PString();
}

// A handle the command host opens during a call is reverted should the call fail.
void NoteHandle(HandlerServices& services, RequestContext& context, uint64_t handle) {
    if (handle == kNoHandle) return;
    if (CommandHostManager* host = services.Host()) host->NoteHandle(context.LinkId(), handle);
}

}  // namespace

void AddEditRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    // The flag is not used: every opening makes or shares the editing copy.
    table.Add(kWEXRequestOpenAssetForEdit, "open for edit", 0, [services](RequestContext& context) {
        KUID kuid;
        kuid.Read(context.Payload());
        bool flag = false;
        context.Payload().ReadBool(flag);
        uint64_t handle = kNoHandle;
        std::string folder;
        if (PayloadWhole(context, "open for edit")) {
            StoreResult result = services->Store().OpenForEdit(kuid, handle, folder);
            // An asset only the content service holds is known here: opening it starts a fresh
            // editing copy, as creating it would.
            if (result.status == StoreStatus::kNotFound) {
                std::shared_ptr<const VendrixListing> listing = services->Vendrix().Listing();
                if (const ListedAsset* listed = listing->Find(kuid))
                    result = services->Store().CreateAsset(
                        kuid, AssetShownName(ListedRecord(*listed)), handle, folder);
            }
            if (!result.Ok()) {
                DaemonLog("open for edit of %s: %s", kuid.ToString().c_str(),
                          result.message.c_str());
                handle = kNoHandle;
                folder.clear();
            }
        }
        NoteHandle(*services, context, handle);
        context.Reply().WriteU64(handle);
        context.Reply().WritePString(handle == kNoHandle ? Kiv::PString()
                                                         : ShownName(services->Store(), kuid));
        context.Reply().WriteString(folder);
    });

    table.Add(kWEXRequestCloseHandle, "close handle", 0, [services](RequestContext& context) {
        uint64_t handle = 0;
        context.Payload().ReadU64(handle);
        if (!PayloadWhole(context, "close handle")) return;
        StoreResult result = services->Store().CloseHandle(handle);
        if (!result.Ok())
            DaemonLog("close handle %llu: %s", static_cast<unsigned long long>(handle),
                      result.message.c_str());
    });

    table.Add(kWEXRequestHandlePath, "handle path", 0, [services](RequestContext& context) {
        uint64_t handle = 0;
        context.Payload().ReadU64(handle);
        std::optional<KUID> kuid;
        if (PayloadWhole(context, "handle path")) kuid = services->Store().HandleAsset(handle);
        std::optional<AssetRecord> record;
        if (kuid) record = services->Store().Find(*kuid);
        bool open = record && record->openForEdit;
        context.Reply().WritePString(open ? Kiv::PString(AssetShownName(*record)) : Kiv::PString());
        context.Reply().WriteString(open ? services->Store().EditingFolder(*kuid) : std::string());
    });

    table.Add(kWEXRequestRevertAsset, "revert", 0, [services](RequestContext& context) {
        RequestReport report(context);
        uint64_t handle = 0;
        context.Payload().ReadU64(handle);
        AssetStore& store = services->Store();
        bool reverted = PayloadWhole(context, "revert") &&
                        ChangeThroughHandle(store, report, handle, "revert",
                                            [&] { return store.Revert(handle); });
        report.Send();
        context.Reply().WriteBool(reverted);
    });

    // The second answer tells whether the commit made a new asset (its first commit). Flags:
    // 4, the copy is as an archive brought it (its dsid matched), so the asset is not marked
    // locally modified; 2 and 8 are only logged; 0 a change made here.
    table.Add(kWEXRequestCommitAsset, "commit", kRequestRunsLong,
              [services](RequestContext& context) {
                  RequestReport report(context);
                  uint64_t handle = 0;
                  uint32_t flags = 0;
                  context.Payload().ReadU64(handle);
                  context.Payload().ReadU32(flags);
                  CommitInfo info;
                  info.asArchived = (flags & kCommitAsArchived) != 0;
                  if ((flags & ~kCommitAsArchived) != 0)
                      DaemonLog("commit of handle %llu with flags %u",
                                static_cast<unsigned long long>(handle), flags);
                  AssetStore& store = services->Store();
                  ConvertTexturesBeforeCommit(*services, context, report, handle);
                  bool committed = PayloadWhole(context, "commit") &&
                                   ChangeThroughHandle(store, report, handle, "commit",
                                                       [&] { return store.Commit(handle, &info); });
                  report.Send();
                  context.Reply().WriteBool(committed);
                  context.Reply().WriteBool(committed && info.firstCommit);
              });

    // A null KUID asks for a new one; the flag is not used.
    table.Add(kWEXRequestCreateAsset, "create", 0, [services](RequestContext& context) {
        KUID kuid;
        kuid.Read(context.Payload());
        bool flag = false;
        context.Payload().ReadBool(flag);
        std::string name;
        context.Payload().ReadString(name);
        uint64_t handle = kNoHandle;
        std::string folder;
        if (PayloadWhole(context, "create")) {
            int32_t user = 0;
            if (kuid.IsNull() && services->GeneratingUserId(user))
                kuid = services->Store().GenerateKUID(user);
            StoreResult result = kuid.IsNull()
                                     ? StoreResult{StoreStatus::kBadAsset, "no KUID to give it"}
                                     : services->Store().CreateAsset(kuid, name, handle, folder);
            if (!result.Ok()) {
                DaemonLog("create %s: %s", kuid.ToString().c_str(), result.message.c_str());
                handle = kNoHandle;
                folder.clear();
            }
        }
        bool made = handle != kNoHandle;
        NoteHandle(*services, context, handle);
        context.Reply().WriteU64(handle);
        (made ? kuid : KUID::kNull).Write(context.Reply());
        context.Reply().WritePString(made ? ShownName(services->Store(), kuid) : Kiv::PString());
        context.Reply().WriteString(folder);
    });
}

}  // namespace wexd
