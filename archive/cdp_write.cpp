// Building and writing archives.
#include "archive/cdp_write.h"

#include <unordered_set>

#include "archive/cdp_build.h"
#include "archive/cdp_keys.h"
#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/statics.h"
#include "platform/kiv/base/log.h"

TDBTagRef CdpNewAssetEntry() {
    const CdpKeys& keys = GetCdpKeys();
    TDBTagRef entry = MakeCounted<TDBContainerTag>();
    TDBContainerTag::SetString(entry, keys.compression, keys.lzss);
    return entry;
}

Kiv::PString CdpAddAsset(CdpArchive& archive, const TDBTagRef& asset) {
    const CdpKeys& keys = GetCdpKeys();
    const KUID kuid = CdpAssetKUID(asset);
    if (kuid.IsNull()) return Kiv::PString(kCdpNoValidKuidMessage);
    if (CdpFindAsset(archive, kuid) >= 0)
        return CdpFormatError(kCdpAlreadyPresentFormat, kuid.ToString().c_str());

    archive.root.EnsureContainer();
    TDBTagRef assets = TDBContainerTag::GetContainer(archive.root, keys.assets);
    const bool fresh = !assets;
    if (fresh) assets = MakeCounted<TDBContainerTag>();
    assets->AddChild(kuid.ToString(), asset);
    if (fresh) TDBContainerTag::SetContainer(archive.root, keys.assets, assets);

    Kiv::PString error = CdpBuild(archive);
    if (!error.IsEmpty()) {
        if (fresh) {
            TDBContainerTag::RemoveTag(archive.root, keys.assets);
        } else {
            assets->RemoveChild(asset);
        }
    }
    return error;
}

Kiv::PString CdpBuild(CdpArchive& archive) {
    const CdpKeys& keys = GetCdpKeys();
    KUIDBlockList contents;
    KUIDBlockList dependencies;
    KUIDBlockList obsoletes;
    std::unordered_set<KUID, KUIDHash> held;
    const uint32_t count = CdpAssetCount(archive);
    for (uint32_t i = 0; i < count; ++i) {
        TDBTagRef asset = CdpGetAsset(archive, i);
        const KUID kuid = CdpAssetKUID(asset);
        if (!kuid.IsNull() && held.insert(kuid).second) contents.Append(kuid);
        Kiv::PString error = CdpCollectDependencies(kuid, asset, dependencies);
        if (error.IsEmpty()) error = CdpCollectObsoletes(asset, obsoletes);
        if (!error.IsEmpty()) return error;
    }
    KUIDBlockList outside;
    for (const KUID& k : dependencies)
        if (held.count(k) == 0) outside.Append(k);

    archive.root.EnsureContainer();
    TDBTagRef table = TDBContainerTag::FromKUIDList(contents);
    TDBContainerTag::SetContainer(archive.root, keys.contentsTable, table);
    table = TDBContainerTag::FromKUIDList(outside);
    TDBContainerTag::SetContainer(archive.root, keys.kuidTable, table);
    table = TDBContainerTag::FromKUIDList(obsoletes);
    TDBContainerTag::SetContainer(archive.root, keys.obsoleteTable, table);
    TDBContainerTag::SetString(archive.root, keys.kind, keys.archive);
    TDBContainerTag::SetInt(archive.root, keys.packageVersion, 1);
    return EmptyPString();
}

Kiv::PString CdpWrite(const CdpArchive& archive, std::string_view path) {
    // One message for every failure, as users of the archive commands know it; the process log
    // says which file and why.
    const char* cause = nullptr;
    if (GetConfigFileFormat(path) == ConfigFileFormat::kUnknown)
        cause = "its extension names no archive form";
    else if (!WriteConfigFile(archive.root, {}, path))
        cause = "the file could not be written";
    if (cause == nullptr) return EmptyPString();
    Kiv::Log::Write(
        Kiv::String::Printf("CdpWrite> %s: %s", std::string(path).c_str(), cause).view());
    return Kiv::PString(kCdpArchiveWriteFailedMessage);
}
