#include "script/vm/reference_region.h"

#include <sys/mman.h>

namespace GSRuntime {

std::atomic<uint64_t> g_regionCommitted{0};
uint64_t* g_regionLiveBits = nullptr;

std::atomic<ReferenceRegion*> ReferenceRegion::instance_{nullptr};

ReferenceRegion& ReferenceRegion::Create() {
    static ReferenceRegion* region = new ReferenceRegion();  // lives to the end of the process
    instance_.store(region, std::memory_order_release);
    return *region;
}

ReferenceRegion::ReferenceRegion() {
    void* p = mmap(nullptr, kReservedBytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE,
                   -1, 0);
    base_ = p == MAP_FAILED ? nullptr : static_cast<char*>(p);
    // Pages of the bitmap are only backed once a block near them is marked.
    void* bits = mmap(nullptr, kReservedBytes / kAlignment / 8, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    live_bits_ = bits == MAP_FAILED ? nullptr : static_cast<uint64_t*>(bits);
    if (live_bits_ == nullptr && base_ != nullptr) {
        munmap(base_, kReservedBytes);  // no block could be told live: hand out none
        base_ = nullptr;
    }
    used_ = 16;  // offset 0 is the null reference
    g_regionLiveBits = base_ != nullptr ? live_bits_ : nullptr;
}

void ReferenceRegion::MarkLive(uint32_t offset, bool live) {
    uint64_t bit = offset / kAlignment;
    std::atomic_ref<uint64_t> word(live_bits_[bit / 64]);
    uint64_t mask = uint64_t{1} << (bit % 64);
    if (live)
        word.fetch_or(mask, std::memory_order_relaxed);
    else
        word.fetch_and(~mask, std::memory_order_relaxed);
}

uint32_t ReferenceRegion::Alloc(uint32_t bytes) {
    if (base_ == nullptr || bytes == 0 || bytes > 0x7FFFFFF0u) return 0;
    uint32_t size = Rounded(bytes);
    std::lock_guard<std::mutex> guard(lock_);
    uint32_t cls = size / kAlignment;
    if (cls < kSmallClasses) {
        if (!small_[cls].empty()) {
            uint32_t off = small_[cls].back();
            small_[cls].pop_back();
            ++live_;
            MarkLive(off, true);
            return off;
        }
    } else {
        auto it = large_.lower_bound(size);
        if (it != large_.end() && it->first == size) {
            uint32_t off = it->second;
            large_.erase(it);
            ++live_;
            MarkLive(off, true);
            return off;
        }
    }
    if (used_ + size > kReservedBytes) return 0;
    if (used_ + size > committed_) {
        uint64_t want = (used_ + size + kCommitStep - 1) / kCommitStep * kCommitStep;
        if (want > kReservedBytes) want = kReservedBytes;
        if (mprotect(base_ + committed_, want - committed_, PROT_READ | PROT_WRITE) != 0) return 0;
        std::atomic_ref<uint64_t>(committed_).store(want, std::memory_order_relaxed);
        g_regionCommitted.store(want, std::memory_order_release);
    }
    uint32_t off = static_cast<uint32_t>(used_);
    used_ += size;
    ++live_;
    MarkLive(off, true);
    return off;
}

void ReferenceRegion::Free(uint32_t offset, uint32_t bytes) {
    if (offset == 0) return;
    uint32_t size = Rounded(bytes);
    std::lock_guard<std::mutex> guard(lock_);
    --live_;
    MarkLive(offset, false);
    uint32_t cls = size / kAlignment;
    if (cls < kSmallClasses)
        small_[cls].push_back(offset);
    else
        large_.emplace(size, offset);
}

long ReferenceRegion::LiveBlocks() const {
    std::lock_guard<std::mutex> guard(lock_);
    return live_;
}

}  // namespace GSRuntime
