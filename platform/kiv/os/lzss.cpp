// The LZSS block coder.
//
// Block format (this file is its one writer and its one reader):
//
//   byte 0     the packing method: 0 stored, 1 LZSS; any other value is not a block of ours.
//   stored     the bytes after the method byte are the data as it is.
//   LZSS       the bytes after the method byte are groups, each a flag byte followed by up to
//              eight items. Bit i of the flag byte (the lowest first) describes item i:
//                1  a literal: one byte, copied to the output;
//                0  a match: two bytes, a little-endian word w. The output grows by
//                   (w & 15) + 3 bytes (3 to 18), copied one by one from (w >> 4) + 1 bytes
//                   (1 to 4096) back in the output, so a match may overlap what it writes and
//                   repeat a short run.
//              The block ends with its bytes: the last group may use fewer than eight items,
//              and its unused flag bits mean nothing.
//
// The block does not say how many bytes it unpacks to; the caller stores that and passes a
// destination of that size. A block that does not shrink under LZSS is stored, so a block is
// never more than one byte longer than its data, and since the best an LZSS group does is
// eight 2-byte matches of 18 bytes each (17 bytes for 144), no block unpacks to more than nine
// times its size.
#include "platform/kiv/os/lzss.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

namespace Kiv {

namespace {

constexpr uint8_t kMethodStored = 0;
constexpr uint8_t kMethodLzss = 1;

constexpr uint32_t kWindow = 4096;  // the farthest a match reaches back
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 18;
// The hash table grows with the block up to 2^15 heads, so that packing a small file does not
// clear a table sized for a large one.
constexpr uint32_t kMinHashBits = 10;
constexpr uint32_t kMaxHashBits = 15;
constexpr uint32_t kNoPosition = 0xFFFFFFFF;
// The most one group of eight matches writes in the decoder's fast path, each match copied as
// 24 bytes: 7 * 18 + 24, rounded up.
constexpr uint32_t kFastGroupRoom = 8 * kMaxMatch + 8;

// How each level searches. Chains are bounded: past a few dozen places a longer walk finds
// little in a 4 KiB window and costs time in proportion. A match of `nice` bytes or more ends
// the search; from `lazyFrom` on, a match shorter than `lazyBelow` is held back one byte while
// the next place is searched, with `lazyChain` steps, for a longer one. Level 9 keeps that
// second search short: twice its steps made built programs a few tenths of a percent smaller
// and packed them a tenth slower.
struct LevelSearch {
    uint32_t chain;
    uint32_t nice;
    uint32_t lazyBelow;
    uint32_t lazyChain;
};
constexpr LevelSearch kLevels[10] = {
    {0, 0, 0, 0},    {2, 8, 0, 0},    {4, 10, 0, 0},    {6, 12, 0, 0},    {8, 14, 8, 4},
    {12, 16, 12, 6}, {16, 18, 18, 8}, {24, 18, 18, 12}, {24, 18, 18, 12}, {32, 18, 18, 8},
};

uint32_t HashBits(uint32_t size) {
    return std::clamp<uint32_t>(static_cast<uint32_t>(std::bit_width(size)), kMinHashBits,
                                kMaxHashBits);
}

struct Match {
    uint32_t length = 0;
    uint32_t distance = 0;
};

// How many of the first `limit` bytes at a and b agree, eight at a time.
inline uint32_t CommonLength(const uint8_t* a, const uint8_t* b, uint32_t limit) {
    uint32_t n = 0;
    while (n + 8 <= limit) {
        uint64_t x;
        uint64_t y;
        std::memcpy(&x, a + n, 8);
        std::memcpy(&y, b + n, 8);
        if (x != y) {
            uint64_t diff = x ^ y;
            if constexpr (std::endian::native == std::endian::little)
                return n + static_cast<uint32_t>(std::countr_zero(diff)) / 8;
            else
                return n + static_cast<uint32_t>(std::countl_zero(diff)) / 8;
        }
        n += 8;
    }
    while (n < limit && a[n] == b[n])
        ++n;
    return n;
}

// The places seen so far, chained by their first three bytes. Only the last kWindow places are
// reachable: a chain entry is followed only while it lies before the place searched and within
// the window, and the ring slot of a place is overwritten only by a place kWindow further on,
// by which time it is out of reach. The ring is a power of two (a mask, not a division), no
// larger than a small block needs.
class MatchFinder {
public:
    MatchFinder(const uint8_t* data, uint32_t size)
        : data_(data),
          size_(size),
          hashShift_(32 - HashBits(size)),
          ringMask_(std::bit_ceil(std::max<uint32_t>(1, std::min(size, kWindow))) - 1),
          head_(size_t{1} << HashBits(size), kNoPosition),
          prev_(size_t{ringMask_} + 1, kNoPosition) {}

    // The longest match at `at` that is longer than `atLeast`, following at most `chain`
    // places and stopping at one of `nice` bytes; a length of 0 when there is none.
    Match Find(uint32_t at, uint32_t chain, uint32_t nice, uint32_t atLeast = 0) const {
        Match best;
        if (size_ - at < kMinMatch) return best;
        const uint32_t limit = std::min(kMaxMatch, size_ - at);
        nice = std::min(nice, limit);
        uint32_t bestLength = std::max(atLeast, kMinMatch - 1);
        if (bestLength >= limit) return best;
        const uint8_t* here = data_ + at;
        uint32_t candidate = head_[Hash3(here)];
        for (uint32_t steps = 0; steps < chain; ++steps) {
            if (candidate >= at || at - candidate > kWindow) break;
            const uint8_t* there = data_ + candidate;
            // Only a place that agrees on the byte that would make it longer is measured.
            if (there[bestLength] == here[bestLength] && there[0] == here[0]) {
                uint32_t length = CommonLength(there, here, limit);
                if (length > bestLength) {
                    bestLength = length;
                    best = {length, at - candidate};
                    if (length >= nice) break;
                }
            }
            candidate = prev_[candidate & ringMask_];
        }
        return best;
    }

    void Insert(uint32_t at) {
        if (size_ - at < kMinMatch) return;
        uint32_t& head = head_[Hash3(data_ + at)];
        prev_[at & ringMask_] = head;
        head = at;
    }

private:
    uint32_t Hash3(const uint8_t* p) const {
        uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
        return (v * 2654435761u) >> hashShift_;
    }

    const uint8_t* data_;
    uint32_t size_;
    uint32_t hashShift_;
    uint32_t ringMask_;
    std::vector<uint32_t> head_;
    std::vector<uint32_t> prev_;
};

// Writes the LZSS groups into out[0, limit). False as soon as they would not fit.
class GroupWriter {
public:
    GroupWriter(uint8_t* out, uint32_t limit) : out_(out), limit_(limit) {}

    bool Literal(uint8_t byte) {
        if (!StartItem(1)) return false;
        out_[flagAt_] |= static_cast<uint8_t>(1u << items_);
        out_[used_++] = byte;
        ++items_;
        return true;
    }
    bool Copy(const Match& m) {
        if (!StartItem(2)) return false;
        uint32_t word = (m.distance - 1) << 4 | (m.length - kMinMatch);
        out_[used_++] = static_cast<uint8_t>(word);
        out_[used_++] = static_cast<uint8_t>(word >> 8);
        ++items_;
        return true;
    }
    uint32_t Used() const { return used_; }

private:
    // Room for the item, and for a new flag byte first when the group is full.
    bool StartItem(uint32_t bytes) {
        if (items_ == 8) {
            if (limit_ - used_ < 1 + bytes) return false;
            flagAt_ = used_++;
            out_[flagAt_] = 0;
            items_ = 0;
        }
        return limit_ - used_ >= bytes;
    }

    uint8_t* out_;
    uint32_t limit_;
    uint32_t used_ = 0;
    uint32_t flagAt_ = 0;
    uint32_t items_ = 8;
};

// The LZSS groups of the data in out[0, limit): their length, or 0 when they do not fit.
uint32_t PackGroups(const uint8_t* in, uint32_t n, uint8_t* out, uint32_t limit, int level) {
    const LevelSearch search = kLevels[level];
    MatchFinder finder(in, n);
    GroupWriter writer(out, limit);
    uint32_t at = 0;
    while (at < n) {
        Match match = finder.Find(at, search.chain, search.nice);
        finder.Insert(at);
        // A longer match starting one byte on is worth a literal first.
        while (match.length != 0 && match.length < search.lazyBelow && at + 1 < n) {
            Match next = finder.Find(at + 1, search.lazyChain, search.nice, match.length);
            if (next.length == 0) break;
            if (!writer.Literal(in[at])) return 0;
            ++at;
            finder.Insert(at);
            match = next;
        }
        if (match.length != 0) {
            if (!writer.Copy(match)) return 0;
            for (uint32_t i = 1; i < match.length; ++i)
                finder.Insert(at + i);
            at += match.length;
        } else {
            if (!writer.Literal(in[at])) return 0;
            ++at;
        }
    }
    return writer.Used();
}

}  // namespace

uint32_t LZSSCompress::CompressBlock(const void* src, uint32_t srcSize, void* dst,
                                     uint32_t dstCapacity, int level) {
    auto* out = static_cast<uint8_t*>(dst);
    const auto* in = static_cast<const uint8_t*>(src);
    if (dstCapacity == 0 || (srcSize > 0 && in == nullptr)) return 0;
    level = std::clamp(level, 1, 9);
    // LZSS pays only when it comes out shorter than the data itself.
    uint32_t limit = std::min(dstCapacity - 1, srcSize > 0 ? srcSize - 1 : 0);
    if (limit > 0) {
        uint32_t packed = PackGroups(in, srcSize, out + 1, limit, level);
        if (packed > 0) {
            out[0] = kMethodLzss;
            return packed + 1;
        }
    }
    if (dstCapacity - 1 < srcSize) return 0;
    out[0] = kMethodStored;
    if (srcSize > 0) std::memcpy(out + 1, in, srcSize);
    return srcSize + 1;
}

uint32_t LZSSCompress::DecompressBlock(const void* src, uint32_t srcSize, void* dst,
                                       uint32_t dstCapacity) {
    const auto* in = static_cast<const uint8_t*>(src);
    auto* out = static_cast<uint8_t*>(dst);
    if (!IsKnownBlock(src, srcSize)) return kFailed;
    if (in[0] == kMethodStored) {
        uint32_t size = srcSize - 1;
        if (size > dstCapacity) return kFailed;
        if (size > 0) std::memcpy(out, in + 1, size);
        return size;
    }
    uint32_t at = 1;
    uint32_t written = 0;
    while (at < srcSize) {
        uint8_t flags = in[at++];
        // A whole group of eight items is in the input and its largest output fits with room
        // to spare: no item needs a bounds check, and matches are copied eight bytes at a
        // time (up to 6 bytes past their end, which the next items overwrite).
        if (srcSize - at >= 16 && dstCapacity - written >= kFastGroupRoom) {
            if (flags == 0xFF) {
                std::memcpy(out + written, in + at, 8);
                at += 8;
                written += 8;
                continue;
            }
            for (int item = 0; item < 8; ++item, flags >>= 1) {
                if (flags & 1u) {
                    out[written++] = in[at++];
                    continue;
                }
                uint32_t word = uint32_t{in[at]} | uint32_t{in[at + 1]} << 8;
                at += 2;
                uint32_t distance = (word >> 4) + 1;
                uint32_t length = (word & 15) + kMinMatch;
                if (distance > written) return kFailed;
                uint8_t* to = out + written;
                const uint8_t* from = to - distance;
                if (distance >= 8) {
                    // Each 8-byte piece reads only bytes written before it.
                    std::memcpy(to, from, 8);
                    std::memcpy(to + 8, from + 8, 8);
                    std::memcpy(to + 16, from + 16, 8);
                } else {
                    for (uint32_t i = 0; i < length; ++i)
                        to[i] = from[i];
                }
                written += length;
            }
            continue;
        }
        for (int item = 0; item < 8 && at < srcSize; ++item) {
            if (flags & (1u << item)) {
                if (written == dstCapacity) return kFailed;
                out[written++] = in[at++];
                continue;
            }
            if (srcSize - at < 2) return kFailed;
            uint32_t word = uint32_t{in[at]} | uint32_t{in[at + 1]} << 8;
            at += 2;
            uint32_t distance = (word >> 4) + 1;
            uint32_t length = (word & 15) + kMinMatch;
            if (distance > written || length > dstCapacity - written) return kFailed;
            uint8_t* to = out + written;
            const uint8_t* from = to - distance;
            if (distance >= length) {
                std::memcpy(to, from, length);
            } else {
                for (uint32_t i = 0; i < length; ++i)
                    to[i] = from[i];
            }
            written += length;
        }
    }
    return written;
}

bool LZSSCompress::IsKnownBlock(const void* src, uint32_t srcSize) {
    if (src == nullptr || srcSize == 0) return false;
    uint8_t method = *static_cast<const uint8_t*>(src);
    return method == kMethodStored || method == kMethodLzss;
}

}  // namespace Kiv
