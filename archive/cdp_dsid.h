// The content checksum ("dsid") of an archived asset: a running checksum over the stored bytes
// of every file in its "files" tree, kept as text in the asset entry. Building an archive stores
// it; installing compares it, and a match marks the asset's content as unchanged.
#pragma once

#include <cstdint>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

// The bytes counted (a multiple of 4) and their checksum; the checksum is 0 only in the empty
// pair.
struct DsidPair {
    uint32_t length = 0;
    uint32_t checksum = 0;

    bool operator==(const DsidPair&) const = default;
};

// The pair of one file's stored bytes. The words are read little-endian; trailing bytes short
// of a whole word are not counted, and a blob of 4 bytes or fewer gives the empty pair.
DsidPair DsidOfBlob(const void* bytes, uint32_t size);
// a += b; a checksum that comes to 0 becomes 1.
void DsidAdd(DsidPair& a, const DsidPair& b);
// "length:checksum", both printed as signed decimals.
Kiv::PString DsidToText(const DsidPair& pair);
// The pair of a whole "files" tree: the sum over its raw data (type 2) in child order, going
// into sub-folders; other values are not counted. Folders nested deeper than kMaxTagTreeDepth
// (which no soup file holds) are not counted.
DsidPair DsidOfFiles(const TDBTagRef& files);

// Computes the pair of the entry's "files" and stores its text as "dsid", replacing an earlier
// one.
void CdpStoreDsid(TDBTagRef& asset);
// True when the entry's "dsid" text is exactly the text computed from its "files" now.
bool CdpCheckDsid(const TDBTagRef& asset);
