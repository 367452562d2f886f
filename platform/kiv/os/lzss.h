// The engine's block compressor: Kiv::Compress is the interface of a coder that packs a block
// of bytes into another and back, and Kiv::LZSSCompress is its LZSS coder, the one archives and
// scrambled scripts store their bytes with. Its block format is described in lzss.cpp, its one
// reader and writer.
//
// A block does not record how many bytes it unpacks to: callers store that themselves and pass
// a destination of that size; a block that would unpack to more is refused, never written past
// the destination. Packed bytes come from files, so every decode is bounded by its input and
// its output and ends on any input.
#pragma once

#include <cstdint>

namespace Kiv {

class Compress {
public:
    // What DecompressBlock returns for a block it refuses.
    static constexpr uint32_t kFailed = 0xFFFFFFFF;

    virtual ~Compress() = default;

    // Packs `srcSize` bytes into `dst`, which holds `dstCapacity` bytes. `level` runs from 1
    // (fastest) to 9 (smallest); others are taken as the nearest. The packed length; 0 when
    // the packed block does not fit (nothing useful is then in `dst`).
    virtual uint32_t CompressBlock(const void* src, uint32_t srcSize, void* dst,
                                   uint32_t dstCapacity, int level) = 0;
    // Unpacks a block made by CompressBlock into `dst`: the unpacked length, or kFailed when the
    // block is malformed or would unpack to more than `dstCapacity` bytes (bytes up to the
    // failure may have been written into `dst`).
    virtual uint32_t DecompressBlock(const void* src, uint32_t srcSize, void* dst,
                                     uint32_t dstCapacity) = 0;
};

class LZSSCompress : public Compress {
public:
    uint32_t CompressBlock(const void* src, uint32_t srcSize, void* dst, uint32_t dstCapacity,
                           int level) override;
    uint32_t DecompressBlock(const void* src, uint32_t srcSize, void* dst,
                             uint32_t dstCapacity) override;

    // The most bytes packing n bytes takes: a destination this large never fails (n + 1, since
    // a block that does not shrink is stored as it is).
    static uint64_t CompressBound(uint32_t n) { return uint64_t{n} + 1; }
    // The most bytes a block of n bytes can unpack to. A stored size above this marks a damaged
    // block before any memory is set aside for it.
    static uint64_t MaxUnpackedSize(uint32_t packedSize) { return uint64_t{packedSize} * 9; }
    // True when the block names a packing method this coder reads (a block that does not is
    // from another coder, not a damaged one of ours).
    static bool IsKnownBlock(const void* src, uint32_t srcSize);
};

}  // namespace Kiv
