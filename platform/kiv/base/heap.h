// The engine's named pool heaps. PackedHeap serves one thread at a time; PackedHeapMP may be
// shared between threads. Here both are malloc-backed: the name is kept for diagnostics and
// the counters let tests see that every block handed out came back.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>

namespace Kiv {

class PackedHeap {
public:
    explicit PackedHeap(std::string_view name) : name_(name) {}
    virtual ~PackedHeap() = default;
    PackedHeap(const PackedHeap&) = delete;
    PackedHeap& operator=(const PackedHeap&) = delete;

    // nullptr when the memory cannot be had.
    void* Alloc(size_t bytes) {
        void* p = std::malloc(bytes == 0 ? 1 : bytes);
        if (p != nullptr) live_.fetch_add(1, std::memory_order_relaxed);
        return p;
    }
    void Free(void* block) {
        if (block == nullptr) return;
        live_.fetch_sub(1, std::memory_order_relaxed);
        std::free(block);
    }

    const std::string& GetName() const { return name_; }
    // Blocks handed out and not yet freed.
    long LiveBlocks() const { return live_.load(std::memory_order_relaxed); }

private:
    std::string name_;
    std::atomic<long> live_{0};
};

// The thread-safe variant (malloc is thread-safe already; the type records the intent).
class PackedHeapMP : public PackedHeap {
public:
    using PackedHeap::PackedHeap;
};

}  // namespace Kiv
