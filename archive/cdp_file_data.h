// The stored bytes of one archived file in an asset whose "compression" is "LZSS": the
// unpacked size, then the file packed by the engine's LZSS coder. This is the one writer and
// the one reader of that form; the archive builder packs with it and extraction unpacks.
#pragma once

#include <cstdint>
#include <vector>

#include "configdata/acs_raw_data.h"

// The largest file that packs: its stored form must fit a soup value.
constexpr uint32_t kCdpMaxPackedFileSize = 0x7FFFFFFF - 5;

// The stored form of the file's bytes. False, `out` untouched, for a file above
// kCdpMaxPackedFileSize.
bool CdpPackFileData(const void* bytes, uint32_t size, ACSRawDataRef& out);

enum class CdpUnpackResult {
    kUnpacked,
    // Shorter than its size word, a block that does not unpack to exactly the stored size, or a
    // stored size more than the block could ever unpack to.
    kDamaged,
    // A block of a packing method the coder does not know.
    kUnknownMethod,
};

// Unpacks the stored form into `out` (resized to the file's size). The memory set aside is
// bounded by what the stored bytes can unpack to, so a forged size word cannot claim more.
CdpUnpackResult CdpUnpackFileData(const void* stored, uint32_t size, std::vector<uint8_t>& out);
