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

// How far each level follows the chain of earlier places with the same three bytes, and from
// which level a match is deferred when the next place starts a longer one.
constexpr uint32_t kChainLength[10] = {0, 2, 4, 8, 16, 32, 64, 128, 256, 1024};
constexpr int kFirstLazyLevel = 4;

uint32_t HashBits(uint32_t size) {
    return std::clamp<uint32_t>(static_cast<uint32_t>(std::bit_width(size)), kMinHashBits,
                                kMaxHashBits);
}

struct Match {
    uint32_t length = 0;
    uint32_t distance = 0;
};

// The places seen so far, chained by their first three bytes. Only the last kWindow places are
// reachable: a chain entry is followed only while it lies within the window, and the ring slot
// of a place is overwritten only by a place kWindow further on, by which time it is out of
// reach. A block shorter than the window needs a slot per place and no more.
class MatchFinder {
public:
    MatchFinder(const uint8_t* data, uint32_t size, uint32_t chainLength)
        : data_(data),
          size_(size),
          chainLength_(chainLength),
          hashShift_(32 - HashBits(size)),
          ring_(std::max<uint32_t>(1, std::min(size, kWindow))),
          head_(size_t{1} << HashBits(size), kNoPosition),
          prev_(ring_, kNoPosition) {}

    Match Find(uint32_t at) const {
        Match best;
        if (size_ - at < kMinMatch) return best;
        uint32_t limit = std::min(kMaxMatch, size_ - at);
        uint32_t candidate = head_[Hash3(data_ + at)];
        for (uint32_t steps = 0; steps < chainLength_ && candidate != kNoPosition; ++steps) {
            if (candidate >= at || at - candidate > kWindow) break;
            uint32_t length = 0;
            while (length < limit && data_[candidate + length] == data_[at + length])
                ++length;
            if (length > best.length) {
                best = {length, at - candidate};
                if (length == limit) break;
            }
            candidate = prev_[candidate % ring_];
        }
        if (best.length < kMinMatch) best = {};
        return best;
    }

    void Insert(uint32_t at) {
        if (size_ - at < kMinMatch) return;
        uint32_t& head = head_[Hash3(data_ + at)];
        prev_[at % ring_] = head;
        head = at;
    }

private:
    uint32_t Hash3(const uint8_t* p) const {
        uint32_t v = uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16;
        return (v * 2654435761u) >> hashShift_;
    }

    const uint8_t* data_;
    uint32_t size_;
    uint32_t chainLength_;
    uint32_t hashShift_;
    uint32_t ring_;
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
    MatchFinder finder(in, n, kChainLength[level]);
    GroupWriter writer(out, limit);
    const bool lazy = level >= kFirstLazyLevel;
    uint32_t at = 0;
    while (at < n) {
        Match match = finder.Find(at);
        finder.Insert(at);
        // A longer match starting one byte on is worth a literal first.
        while (lazy && match.length >= kMinMatch && match.length < kMaxMatch && at + 1 < n) {
            Match next = finder.Find(at + 1);
            if (next.length <= match.length) break;
            if (!writer.Literal(in[at])) return 0;
            ++at;
            finder.Insert(at);
            match = next;
        }
        if (match.length >= kMinMatch) {
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
