// The archive object: reading, writing, opening with its checks, and the accessors.
#include "archive/cdp_archive.h"

#include <cstdarg>

#include "archive/cdp_keys.h"
#include "configdata/config_file.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_binary_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/statics.h"
#include "platform/kiv/base/text.h"

Kiv::PString CdpFormatError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = Kiv::VFormat(format, args);
    va_end(args);
    return Kiv::PString(std::string_view(text));
}

bool CdpReadFromStream(CdpArchive& archive, TStream& stream) {
    archive.root.Reset();
    return ReadTagTreeBinary(stream, archive.root);
}

bool CdpWriteToStream(const CdpArchive& archive, TStream& stream) {
    return WriteTagTreeBinary(archive.root, stream);
}

Kiv::PString CdpOpen(CdpArchive& archive, std::string_view path) {
    archive.root.Reset();
    TDBTagRef root;
    if (!ReadConfigFile({}, path, root)) return Kiv::PString(kCdpNotValidMessage);
    archive.root = root;
    return CdpCheckShape(archive);
}

Kiv::PString CdpCheckShape(CdpArchive& archive) {
    const CdpKeys& keys = GetCdpKeys();
    const TDBTagRef& root = archive.root;
    const char* failure = nullptr;
    if (!TDBContainerTag::GetString(root, keys.kind).EqualsIgnoreCase(keys.archive)) {
        failure = kCdpNotValidMessage;
    } else if (TDBContainerTag::CountChildren(TDBContainerTag::GetContainer(
                   root, keys.contentsTable)) != CdpAssetCount(archive)) {
        failure = kCdpDamagedMessage;
    } else if (TDBContainerTag::GetInt(root, keys.packageVersion, 0) != 1) {
        failure = kCdpNewerVersionMessage;
    }
    if (failure == nullptr) return EmptyPString();
    archive.root.Reset();
    return Kiv::PString(failure);
}

uint32_t CdpAssetCount(const CdpArchive& archive) {
    return TDBContainerTag::CountChildren(
        TDBContainerTag::GetContainer(archive.root, GetCdpKeys().assets));
}

TDBTagRef CdpGetAsset(const CdpArchive& archive, uint32_t index) {
    return TDBContainerTag::GetContainerAt(
        TDBContainerTag::GetContainer(archive.root, GetCdpKeys().assets), index);
}

int32_t CdpFindAsset(const CdpArchive& archive, const KUID& kuid) {
    TDBTagRef assets = TDBContainerTag::GetContainer(archive.root, GetCdpKeys().assets);
    uint32_t count = TDBContainerTag::CountChildren(assets);
    for (uint32_t i = 0; i < count && i <= INT32_MAX; ++i) {
        if (CdpAssetKUID(TDBContainerTag::GetContainerAt(assets, i)) == kuid)
            return static_cast<int32_t>(i);
    }
    return -1;
}

KUID CdpAssetKUID(const TDBTagRef& asset) {
    return TDBContainerTag::GetKUID(asset, GetCdpKeys().kuid, KUID::kNull);
}

bool CdpAssetHasValidKUID(const TDBTagRef& asset) {
    return !CdpAssetKUID(asset).IsNull();
}

TDBTagRef CdpAssetFiles(const TDBTagRef& asset) {
    return TDBContainerTag::GetContainer(asset, GetCdpKeys().files);
}

Kiv::PString CdpAssetCompression(const TDBTagRef& asset) {
    return TDBContainerTag::GetString(asset, GetCdpKeys().compression);
}
