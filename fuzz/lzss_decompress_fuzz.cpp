// The LZSS block decoder over any bytes, into a destination of a size the input chooses: it
// must end, never write past the destination (the sanitiser sees that), and report either
// kFailed or a length within the destination. The same bytes packed and unpacked again must
// come back exactly.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/kiv/os/lzss.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2 || size > (1u << 20)) return 0;
    const auto n = static_cast<uint32_t>(size);
    Kiv::LZSSCompress coder;

    // The first two bytes choose the destination's size; the rest is the block.
    const uint32_t capacity = uint32_t{data[0]} | uint32_t{data[1]} << 8;
    std::vector<uint8_t> out(capacity);
    uint32_t got = coder.DecompressBlock(data + 2, n - 2, out.data(), capacity);
    if (got != Kiv::Compress::kFailed && got > capacity) std::abort();
    if (got != Kiv::Compress::kFailed && got > Kiv::LZSSCompress::MaxUnpackedSize(n - 2))
        std::abort();

    // Any bytes round-trip at a level the input chooses.
    std::vector<uint8_t> packed(Kiv::LZSSCompress::CompressBound(n));
    uint32_t packedSize = coder.CompressBlock(data, n, packed.data(),
                                              static_cast<uint32_t>(packed.size()), data[0] % 10);
    if (packedSize == 0 || packedSize > n + 1) std::abort();
    std::vector<uint8_t> back(n);
    if (coder.DecompressBlock(packed.data(), packedSize, back.data(), n) != n) std::abort();
    if (std::memcmp(back.data(), data, n) != 0) std::abort();
    return 0;
}
