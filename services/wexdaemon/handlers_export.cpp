// Request 48, an asset's export for an archive: the installed config's tags with the asset's
// files beside them, ready to be made into an archive entry. The daemon answers it itself
// rather than through a command host, since the host's own archive call asks for exports while
// the daemon waits on that host.
//
// The reply is one binary soup: every tag of the config the asset's folder holds, "files"
// (every file and sub-folder of the folder except the top-level config in either form, each
// file in the stored LZSS form), "compression" "LZSS" and "dsid" over those files.
#include "archive/cdp_dsid.h"
#include "archive/cdp_keys.h"
#include "archive/cdp_pack.h"
#include "assetdb/link_records.h"
#include "assetdb/request_ids.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/text.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/config_source.h"
#include "services/wexdaemon/handlers.h"
#include "services/wexdaemon/request_report.h"

namespace wexd {

namespace {

constexpr const char* kNotLocal = "Asset is not local.";
// Room for the reply record's own words within the link's record limit.
constexpr uint32_t kReplyRoom = kMaxLinkRecordLength - 64;

// Drops the top-level config in both its forms: the archive carries the config as tags.
void DropTopLevelConfig(TDBTagRef& files) {
    TDBTagRef child;
    Kiv::PString childName;
    for (uint32_t i = 0; files->GetChildAt(i, childName, child);) {
        const bool config = Kiv::EqualsIgnoreCase(childName.view(), "config.txt") ||
                            Kiv::EqualsIgnoreCase(childName.view(), "config.chump");
        if (config && child->GetType() != kTagContainer) {
            files->RemoveChild(child);
            continue;
        }
        ++i;
    }
}

}  // namespace

// The export entry of the asset installed in `folder`; an error text when it cannot be made.
std::string ExportInstalledFolder(const std::string& folder, const KUID& kuid, TDBTagRef& entry) {
    const CdpKeys& keys = GetCdpKeys();
    entry.Reset();
    AssetConfig config;
    std::string error;
    if (!ReadAssetConfig(folder, config, error)) return error;
    if (!(ConfigKUID(config.root) == kuid))
        return "the config in " + folder + " does not name " + kuid.ToString().str();
    TDBTagRef files;
    Kiv::PString packError = CdpPackFolder(folder, files);
    if (!packError.IsEmpty()) return std::string(packError.view());
    DropTopLevelConfig(files);
    TDBTagRef made = TDBContainerTag::Clone(config.root);
    if (!made) return "the config of " + kuid.ToString().str() + " nests too deeply";
    for (const Kiv::PString& drop : {keys.files, keys.compression, keys.dsid})
        TDBContainerTag::RemoveTag(made, drop);
    TDBContainerTag::SetContainer(made, keys.files, files);
    TDBContainerTag::SetString(made, keys.compression, keys.lzss);
    CdpStoreDsid(made);
    entry = made;
    return {};
}

void AddExportRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    // The mode word is not used: every export carries the whole folder.
    table.Add(
        kWEXRequestExportAsset, "export", kRequestRunsLong, [services](RequestContext& context) {
            RequestReport report(context);
            KUID kuid;
            uint32_t mode = 0;
            kuid.Read(context.Payload());
            context.Payload().ReadU32(mode);
            if (!PayloadWhole(context, "export")) return;
            std::optional<AssetRecord> record = services->Store().Find(kuid);
            if (!record || !record->installed) {
                report.Error(kuid, kNotLocal);
                return;
            }
            TDBTagRef entry;
            std::string error =
                ExportInstalledFolder(services->Store().InstalledFolder(kuid), kuid, entry);
            TBuffer soup;
            if (error.empty() && !WriteTagTreeBinary(entry, soup))
                error = "its archive data could not be written";
            if (error.empty() && soup.GetDataLength() > kReplyRoom)
                error = "its archive data is larger than the link carries";
            if (!error.empty()) {
                report.Error(kuid, "unable to export " + kuid.ToString().str() + ": " + error);
                return;
            }
            report.Send();
            context.Reply().Write(soup.GetData(), soup.GetDataLength());
        });
}

}  // namespace wexd
