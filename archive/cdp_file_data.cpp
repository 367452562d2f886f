// Stored form of an LZSS file (writer and reader):
//
//   bytes 0-3  the file's size unpacked, a little-endian u32;
//   bytes 4-   the file as one block of Kiv::LZSSCompress (its format is in lzss.cpp), which
//              is never more than one byte longer than the file.
//
// The size word is what bounds the unpacking: the block must unpack to exactly that many
// bytes, and a size beyond what the block's length can unpack to is refused before any memory
// is set aside for it.
#include "archive/cdp_file_data.h"

#include <new>

#include "platform/kiv/base/alloc.h"
#include "platform/kiv/os/lzss.h"

namespace {

constexpr uint32_t kHeaderSize = 4;
// The smallest blocks (archives are written once and read many times).
constexpr int kPackLevel = 9;

}  // namespace

bool CdpPackFileData(const void* bytes, uint32_t size, ACSRawDataRef& out) {
    if (size > kCdpMaxPackedFileSize) return false;
    const uint32_t capacity =
        kHeaderSize + static_cast<uint32_t>(Kiv::LZSSCompress::CompressBound(size));
    auto* block = static_cast<uint8_t*>(Kiv::Alloc::New(capacity));
    if (block == nullptr) return false;
    for (uint32_t i = 0; i < kHeaderSize; ++i)
        block[i] = static_cast<uint8_t>(size >> (8 * i));
    Kiv::LZSSCompress coder;
    uint32_t packed =
        coder.CompressBlock(bytes, size, block + kHeaderSize, capacity - kHeaderSize, kPackLevel);
    if (packed == 0) {
        Kiv::Alloc::Delete(block);
        return false;
    }
    out = ACSRawDataCore::Adopt(block, kHeaderSize + packed);
    return true;
}

CdpUnpackResult CdpUnpackFileData(const void* stored, uint32_t size, std::vector<uint8_t>& out) {
    if (stored == nullptr || size <= kHeaderSize) return CdpUnpackResult::kDamaged;
    const auto* p = static_cast<const uint8_t*>(stored);
    const uint32_t unpacked =
        uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
    const uint8_t* block = p + kHeaderSize;
    const uint32_t blockSize = size - kHeaderSize;
    if (!Kiv::LZSSCompress::IsKnownBlock(block, blockSize)) return CdpUnpackResult::kUnknownMethod;
    if (unpacked > Kiv::LZSSCompress::MaxUnpackedSize(blockSize)) return CdpUnpackResult::kDamaged;
    try {
        out.resize(unpacked);
    } catch (const std::bad_alloc&) {
        return CdpUnpackResult::kDamaged;
    }
    Kiv::LZSSCompress coder;
    if (coder.DecompressBlock(block, blockSize, out.data(), unpacked) != unpacked)
        return CdpUnpackResult::kDamaged;
    return CdpUnpackResult::kUnpacked;
}
