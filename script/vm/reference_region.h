// The one address region of script instances. A script reference is a 32-bit word on the
// stack, in member words and in array elements, so it cannot hold a 64-bit address: it is the
// byte offset of one class part inside this region. The region is reserved once (4 GiB of
// address space, nothing committed), committed as it grows, and offset 0 is never handed out,
// so 0 stays the null reference. Blocks are reused through free lists by size.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

namespace GSRuntime {

// A script reference: 0 is null.
using Ref = uint32_t;

// What every check of a reference reads, where a load finds it without going through the
// region object: the committed bytes and the live-block bitmap of the one region.
extern std::atomic<uint64_t> g_regionCommitted;
extern uint64_t* g_regionLiveBits;

class ReferenceRegion {
public:
    static constexpr uint64_t kReservedBytes = uint64_t{1} << 32;
    static constexpr uint32_t kAlignment = 8;
    static constexpr uint32_t kCommitStep = 1u << 20;

    // The process-wide region, reserved on first use. Every reference the interpreter follows
    // is checked against it, so the common path is a load.
    static ReferenceRegion& Get() {
        ReferenceRegion* r = instance_.load(std::memory_order_acquire);
        return r != nullptr ? *r : Create();
    }

    // A block of at least `bytes` bytes, 8-aligned, its offset; 0 when the region is full or
    // the memory cannot be committed.
    uint32_t Alloc(uint32_t bytes);
    // Gives back a block of Alloc with the size it was asked for.
    void Free(uint32_t offset, uint32_t bytes);

    char* Base() const { return base_; }
    // Whether the `bytes` bytes from `offset` lie in the committed part of the region.
    static bool IsCommitted(uint32_t offset, uint32_t bytes) {
        return uint64_t{offset} + bytes <= g_regionCommitted.load(std::memory_order_relaxed);
    }
    char* At(uint32_t offset) const { return base_ + offset; }
    // The offset of an address inside the region.
    uint32_t OffsetOf(const void* address) const {
        return static_cast<uint32_t>(static_cast<const char*>(address) - base_);
    }
    // Blocks handed out and not yet given back.
    long LiveBlocks() const;
    // Whether `offset` is the start of a block handed out and not yet given back. A word the
    // code verifier could not settle may be any number: this tells a live block from one given
    // back, from the inside of another block and from what lies past the committed part,
    // without reading the block itself.
    static bool IsLiveBlock(uint32_t offset) {
        if (offset % kAlignment != 0 || g_regionLiveBits == nullptr) return false;
        uint64_t bit = offset / kAlignment;
        uint64_t word =
            std::atomic_ref<uint64_t>(g_regionLiveBits[bit / 64]).load(std::memory_order_relaxed);
        return (word >> (bit % 64) & 1) != 0;
    }

    ReferenceRegion(const ReferenceRegion&) = delete;
    ReferenceRegion& operator=(const ReferenceRegion&) = delete;

private:
    ReferenceRegion();
    static ReferenceRegion& Create();
    static std::atomic<ReferenceRegion*> instance_;
    static uint32_t Rounded(uint32_t bytes) { return (bytes + kAlignment - 1) & ~(kAlignment - 1); }
    static constexpr uint32_t kSmallClasses = 512;  // exact free lists up to 4 KiB

    void MarkLive(uint32_t offset, bool live);

    char* base_ = nullptr;
    uint64_t* live_bits_ = nullptr;  // one bit per 8 bytes of the region, reserved with it
    uint64_t used_ = 0;              // bump position
    uint64_t committed_ = 0;         // bytes readable and writable from the base
    long live_ = 0;
    std::vector<uint32_t> small_[kSmallClasses];
    std::multimap<uint32_t, uint32_t> large_;  // size -> offset
    mutable std::mutex lock_;
};

}  // namespace GSRuntime
