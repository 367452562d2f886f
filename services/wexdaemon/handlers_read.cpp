// The requests that read what the store holds about assets. Each answers what the client reads
// for an asset the store does not hold: no tree, the null KUID, an empty text or list.
#include <deque>
#include <set>

#include "assetdb/asset_info_format.h"
#include "assetdb/reply_reading.h"
#include "assetdb/request_ids.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_container_tag.h"
#include "services/wexdaemon/asset_info_answer.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/config_source.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/folder_ops.h"
#include "services/wexdaemon/handlers.h"
#include "services/wexdaemon/vendrix_service.h"

namespace wexd {

namespace {

void WriteKUIDList(TStream& reply, const std::vector<KUID>& kuids) {
    reply.WriteU32(static_cast<uint32_t>(kuids.size()));
    for (const KUID& k : kuids)
        k.Write(reply);
}

KUID ReadKUID(RequestContext& context) {
    KUID kuid;
    kuid.Read(context.Payload());
    return kuid;
}

// The asset's config as it is on disk now; an empty reference when the store does not hold
// the asset or its config cannot be read.
TDBTagRef CurrentConfig(AssetStore& store, const KUID& kuid) {
    std::string folder = store.ContentFolder(kuid);
    if (folder.empty()) return {};
    AssetConfig config;
    std::string error;
    if (!ReadAssetConfig(folder, config, error)) {
        DaemonLog("%s: %s", kuid.ToString().c_str(), error.c_str());
        return {};
    }
    return config.root;
}

// Direct dependencies, or with `deep` also what the installed dependencies need in turn,
// each once, nearest first.
std::vector<KUID> Dependencies(const RecordMap& records, const AssetRecord& record, bool deep) {
    std::vector<KUID> out;
    std::set<KUID> seen{record.kuid};
    std::deque<const AssetRecord*> open{&record};
    while (!open.empty()) {
        const AssetRecord* next = open.front();
        open.pop_front();
        for (const KUID& need : next->config.dependencies) {
            if (!seen.insert(need).second) continue;
            out.push_back(need);
            if (!deep) continue;
            const AssetRecord* held = HighestInstalledVersion(records, need);
            if (held != nullptr && held->kuid.version >= need.version) open.push_back(held);
        }
        if (!deep) break;
    }
    return out;
}

// One entry of a content-service search page: what it asks for and its newest version there.
struct OfferedEntry {
    KUID wanted;
    KUID latest;
    uint32_t size = 0;
};
constexpr uint32_t kOfferedEntryBytes = 20;

// Needed here: the service's newest version is a real KUID that no installed asset holds at
// that version or a later one.
bool IsNeeded(const RecordMap& records, const OfferedEntry& entry) {
    return !entry.latest.IsNull() && !IsDependencyHeld(records, entry.latest);
}

// An asset's preview image, in its folder.
constexpr const char* kThumbnailName = "thumbnail.jpg";

// The builds of the program this daemon serves.
constexpr const char* kInstalledBuilds = "49922";

}  // namespace

void AddReadRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    table.Add(kWEXRequestAssetConfig, "asset config", 0, [services](RequestContext& context) {
        KUID kuid = ReadKUID(context);
        if (!PayloadWhole(context, "asset config")) return;
        TDBTagRef config = CurrentConfig(services->Store(), kuid);
        if (config && !WriteTagTreeBinary(config, context.Reply())) {
            DaemonLog("%s: its config cannot be sent as a soup", kuid.ToString().c_str());
            context.Reply().Reset();
        }
    });

    // An asset the content service lists shows A.6; one it lists and this machine does not
    // hold is known (not installed), from its archived config.
    table.Add(kWEXRequestAssetInfo, "asset information", 0, [services](RequestContext& context) {
        KUID kuid = ReadKUID(context);
        uint32_t mask = 0;
        context.Payload().ReadU32(mask);
        WEXAssetInfo info;
        if (PayloadWhole(context, "asset information")) {
            std::optional<AssetRecord> record = services->Store().Find(kuid);
            std::shared_ptr<const VendrixListing> listing = services->Vendrix().Listing();
            const ListedAsset* listed = listing->Find(kuid);
            // The author's name comes from the settings, read before the store is locked.
            std::string author =
                record || listed ? services->AuthorName(kuid.userId) : std::string();
            std::string folder = record ? services->Store().InstalledFolder(kuid) : std::string();
            services->Store().Visit([&](const RecordMap& records) {
                auto it = records.find(kuid);
                if (it != records.end()) {
                    info = MakeAssetInfo(records, it->second, author);
                } else if (listed != nullptr) {
                    info = MakeAssetInfo(records, ListedRecord(*listed), author);
                }
            });
            if (listed != nullptr) info.SetStatus(info.GetStatus() | kWEXStatusOnVendrix);
            if (record && record->installed) info.fileSize = FolderFileBytes(folder);
        }
        WEXWriteAssetInfo(context.Reply(), info);
    });

    table.Add(kWEXRequestResolveAssetPath, "asset path", 0, [services](RequestContext& context) {
        KUID kuid = ReadKUID(context);
        bool editing = false;
        context.Payload().ReadBool(editing);
        std::optional<AssetRecord> record;
        if (PayloadWhole(context, "asset path")) record = services->Store().Find(kuid);
        std::string path;
        if (record) {
            // The flag asks for the copy being edited, when there is one.
            path = editing && record->openForEdit ? services->Store().EditingFolder(kuid)
                                                  : services->Store().ContentFolder(kuid);
        }
        context.Reply().WritePString(record ? Kiv::PString(AssetShownName(*record))
                                            : Kiv::PString());
        context.Reply().WriteString(path);
    });

    table.Add(kWEXRequestResolveAssetId, "exact asset", 0, [services](RequestContext& context) {
        KUID kuid = ReadKUID(context);
        KUID answer;
        if (PayloadWhole(context, "exact asset")) {
            std::optional<AssetRecord> record = services->Store().Find(kuid);
            if (record && record->installed) answer = kuid;
        }
        answer.Write(context.Reply());
    });

    // The newest version installed here or listed by the content service; the KUID asked
    // about when there is neither.
    table.Add(kWEXRequestUpdatedAsset, "newest version", 0, [services](RequestContext& context) {
        KUID kuid = ReadKUID(context);
        KUID answer = kuid;
        if (PayloadWhole(context, "newest version")) {
            std::shared_ptr<const VendrixListing> listing = services->Vendrix().Listing();
            if (const ListedAsset* listed = listing->Newest(kuid)) answer = listed->kuid;
            services->Store().Visit([&](const RecordMap& records) {
                const AssetRecord* highest = HighestInstalledVersion(records, kuid);
                if (highest != nullptr &&
                    (answer == kuid || highest->kuid.version >= answer.version))
                    answer = highest->kuid;
            });
        }
        answer.Write(context.Reply());
    });

    table.Add(kWEXRequestAssetDescription, "description", 0, [services](RequestContext& context) {
        KUID kuid = ReadKUID(context);
        std::string description;
        if (PayloadWhole(context, "description")) {
            TDBTagRef config = CurrentConfig(services->Store(), kuid);
            static const Kiv::PString* tag = new Kiv::PString("description");
            if (TDBContainerTag::HasTag(config, *tag))
                description = TDBContainerTag::GetString(config, *tag).str();
        }
        context.Reply().WriteString(description);
    });

    // The preview image: "thumbnail.jpg" of the installed folder, when it has one; status 1
    // with a path, else no path and 0.
    table.Add(kWEXRequestThumbnailPath, "preview image", 0, [services](RequestContext& context) {
        KUID kuid = ReadKUID(context);
        uint32_t unused = 0;
        context.Payload().ReadU32(unused);
        std::string path;
        if (PayloadWhole(context, "preview image")) {
            std::string folder = services->Store().InstalledFolder(kuid);
            if (!folder.empty() && IsFile(folder + "/" + kThumbnailName))
                path = folder + "/" + kThumbnailName;
        }
        context.Reply().WritePString(Kiv::PString());
        context.Reply().WriteString(path);
        context.Reply().WriteU32(path.empty() ? 0u : 1u);
    });

    // The option word: 0 the asset's own dependencies; any other value also what its installed
    // dependencies need in turn.
    table.Add(kWEXRequestDependencyList, "dependencies", 0, [services](RequestContext& context) {
        uint32_t option = 0;
        context.Payload().ReadU32(option);
        KUID kuid = ReadKUID(context);
        std::vector<KUID> out;
        if (PayloadWhole(context, "dependencies")) {
            services->Store().Visit([&](const RecordMap& records) {
                auto it = records.find(kuid);
                if (it != records.end()) out = Dependencies(records, it->second, option != 0);
            });
        }
        WriteKUIDList(context.Reply(), out);
    });

    table.Add(kWEXRequestObsoletes, "obsoletes", 0, [services](RequestContext& context) {
        KUID kuid = ReadKUID(context);
        std::vector<KUID> out;
        if (PayloadWhole(context, "obsoletes")) {
            if (std::optional<AssetRecord> record = services->Store().Find(kuid))
                out = record->config.obsoletes;
        }
        WriteKUIDList(context.Reply(), out);
    });

    table.Add(kWEXRequestSelectDownloads, "needed downloads", 0,
              [services](RequestContext& context) {
                  TStream& payload = context.Payload();
                  uint32_t claimed = 0;
                  payload.ReadU32(claimed);
                  // Only entries whose bytes are there are read, whatever the count claims.
                  uint32_t count = WEXBoundedCount(payload, claimed, kOfferedEntryBytes);
                  std::vector<OfferedEntry> entries(count);
                  for (OfferedEntry& e : entries) {
                      e.wanted.Read(payload);
                      e.latest.Read(payload);
                      payload.ReadU32(e.size);
                  }
                  if (count != claimed)
                      DaemonLog("needed downloads: %u entries claimed, %u there", claimed, count);
                  std::vector<uint32_t> needed;
                  services->Store().Visit([&](const RecordMap& records) {
                      for (uint32_t i = 0; i < count; ++i)
                          if (IsNeeded(records, entries[i])) needed.push_back(i);
                  });
                  context.Reply().WriteU32(static_cast<uint32_t>(needed.size()));
                  for (uint32_t index : needed)
                      context.Reply().WriteU32(index);
              });

    // The value word: how many installed assets the author made.
    table.Add(kWEXRequestAuthorRecord, "author", 0, [services](RequestContext& context) {
        uint32_t id = 0;
        context.Payload().ReadU32(id);
        if (!PayloadWhole(context, "author")) {
            context.Reply().WriteU32(0xFFFFFFFFu);
            context.Reply().WritePString(Kiv::PString());
            return;
        }
        int32_t author = static_cast<int32_t>(id);
        uint32_t made = 0;
        services->Store().Visit([&](const RecordMap& records) {
            for (const auto& [kuid, record] : records)
                if (kuid.userId == author && record.installed) ++made;
        });
        context.Reply().WriteU32(made);
        context.Reply().WritePString(Kiv::PString(services->AuthorName(author)));
    });

    table.Add(kWEXRequestInstalledBuilds, "installed builds", 0, [](RequestContext& context) {
        context.Reply().WritePString(Kiv::PString(kInstalledBuilds));
    });
}

}  // namespace wexd
