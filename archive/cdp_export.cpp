// Archives from the daemon's exports.
#include "archive/cdp_export.h"

#include "archive/cdp_dsid.h"
#include "archive/cdp_keys.h"
#include "archive/cdp_pack.h"
#include "archive/cdp_write.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/statics.h"
#include "platform/kiv/base/log.h"

Kiv::PString CdpEntryFromExport(const TDBTagRef& exported, const Kiv::PString& compression,
                                TDBTagRef& entry) {
    const CdpKeys& keys = GetCdpKeys();
    entry.Reset();
    if (!CdpAssetHasValidKUID(exported)) return Kiv::PString(kCdpNoValidKuidMessage);
    const Kiv::PString given = CdpAssetCompression(exported);
    const bool pack = given.IsEmpty() && compression == keys.lzss;
    if (given != compression && !pack)
        return CdpFormatError("Unable to archive %s: its files are stored as '%s', not as '%s'",
                              CdpAssetKUID(exported).ToString().c_str(), given.c_str(),
                              compression.c_str());
    TDBTagRef copy = TDBContainerTag::Clone(exported);
    if (!copy)
        return CdpFormatError("Unable to archive %s: its configuration nests too deeply",
                              CdpAssetKUID(exported).ToString().c_str());
    TDBTagRef files = TDBContainerTag::GetContainer(copy, keys.files);
    if (pack) {
        TDBTagRef packed;
        Kiv::PString error = CdpPackFiles(files, packed);
        if (!error.IsEmpty()) return error;
        files = packed;
    }
    TDBContainerTag::RemoveTag(copy, keys.compression);
    TDBContainerTag::RemoveTag(copy, keys.files);
    TDBContainerTag::RemoveTag(copy, keys.dsid);

    TDBTagRef made = CdpNewAssetEntry();
    if (compression != keys.lzss) TDBContainerTag::SetString(made, keys.compression, compression);
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; copy->GetChildAt(i, name, child); ++i)
        made->AddChild(name, child);
    if (!files) files = MakeCounted<TDBContainerTag>();
    TDBContainerTag::SetContainer(made, keys.files, files);
    CdpStoreDsid(made);
    entry = made;
    return EmptyPString();
}

TDBTagRef CdpBuildArchiveFromExport(const TDBTagRef& exported, const TDBTagRef& options) {
    const CdpKeys& keys = GetCdpKeys();
    Kiv::PString compression = TDBContainerTag::GetString(options, keys.compression);
    if (!TDBContainerTag::HasTag(options, keys.compression)) compression = keys.lzss;
    TDBTagRef entry;
    Kiv::PString error = CdpEntryFromExport(exported, compression, entry);
    CdpArchive archive;
    if (error.IsEmpty()) error = CdpAddAsset(archive, entry);
    if (!error.IsEmpty()) {
        Kiv::Log::Write(Kiv::String::Printf("CdpBuildArchiveFromExport> %s", error.c_str()).view());
        return {};
    }
    return archive.root;
}
