// The content checksum.
#include "archive/cdp_dsid.h"

#include <cstring>

#include "archive/cdp_keys.h"
#include "configdata/tdb_container_tag.h"

namespace {

void AddTree(DsidPair& sum, const TDBTagRef& folder, uint32_t depth) {
    if (depth > kMaxTagTreeDepth) return;
    Kiv::PString name;
    TDBTagRef child;
    for (uint32_t i = 0; folder->GetChildAt(i, name, child); ++i) {
        if (child->GetType() == kTagContainer) {
            AddTree(sum, child, depth + 1);
        } else if (child->GetType() == kTagRaw) {
            DsidAdd(sum, DsidOfBlob(child->GetData(), child->GetDataSize()));
        }
    }
}

}  // namespace

DsidPair DsidOfBlob(const void* bytes, uint32_t size) {
    DsidPair pair;
    if (size <= 4 || bytes == nullptr) return pair;
    pair.length = size & ~3u;
    const auto* p = static_cast<const uint8_t*>(bytes);
    uint32_t c = 0;
    for (uint32_t at = 0; at < pair.length; at += 4) {
        uint32_t w = uint32_t{p[at]} | uint32_t{p[at + 1]} << 8 | uint32_t{p[at + 2]} << 16 |
                     uint32_t{p[at + 3]} << 24;
        uint32_t s = c + w;
        // A shift by 30, not a rotation by 31: stored checksums depend on it.
        c = (s << 1) | (s >> 30);
    }
    pair.checksum = c == 0 ? 1 : c;
    return pair;
}

void DsidAdd(DsidPair& a, const DsidPair& b) {
    a.length += b.length;
    a.checksum += b.checksum;
    if (a.checksum == 0) a.checksum = 1;
}

Kiv::PString DsidToText(const DsidPair& pair) {
    return Kiv::PString::Printf("%d:%d", static_cast<int32_t>(pair.length),
                                static_cast<int32_t>(pair.checksum));
}

DsidPair DsidOfFiles(const TDBTagRef& files) {
    DsidPair sum;
    if (files) AddTree(sum, files, 1);
    return sum;
}

void CdpStoreDsid(TDBTagRef& asset) {
    const CdpKeys& keys = GetCdpKeys();
    DsidPair pair = DsidOfFiles(TDBContainerTag::GetContainer(asset, keys.files));
    TDBContainerTag::SetString(asset, keys.dsid, DsidToText(pair));
}

bool CdpCheckDsid(const TDBTagRef& asset) {
    const CdpKeys& keys = GetCdpKeys();
    DsidPair pair = DsidOfFiles(TDBContainerTag::GetContainer(asset, keys.files));
    return TDBContainerTag::GetString(asset, keys.dsid) == DsidToText(pair);
}
