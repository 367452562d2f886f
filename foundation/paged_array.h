// BlockArray<T>: a paged array of 1024 entries a page, whose pages are taken on demand from the
// process-wide packed heap "#BlockArray" and start zeroed. A large sparse index space (a world
// list's slots) costs only the pages it touches; entries never move once their page exists.
// Nothing locks: each array belongs to one owner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "platform/kiv/base/heap.h"

// The heap every paged array takes its pages from.
Kiv::PackedHeapMP& BlockArrayHeap();

// The page directory, untyped: pages are `pageBytes` long.
class BlockArrayPages {
public:
    static constexpr uint32_t kPageShift = 10;
    static constexpr uint32_t kPageEntries = 1u << kPageShift;

    BlockArrayPages() = default;
    ~BlockArrayPages();
    BlockArrayPages(const BlockArrayPages&) = delete;
    BlockArrayPages& operator=(const BlockArrayPages&) = delete;

    // The number of directory entries (pages that may exist).
    uint32_t GetDirectoryLength() const { return length_; }
    bool HasPage(uint32_t page) const { return page < length_ && directory_[page] != nullptr; }
    // Returns every page to the heap and frees the directory.
    void FreeAll();

protected:
    // The page that holds `index`, made (zeroed) when missing; null when the directory or
    // the page cannot be had, in which case nothing changes.
    void* PageFor(uint32_t index, size_t pageBytes);
    // The page that holds `index` if it exists; never makes one.
    void* PageIfPresent(uint32_t index) const {
        uint32_t page = index >> kPageShift;
        return page < length_ ? directory_[page] : nullptr;
    }

private:
    void** directory_ = nullptr;
    uint32_t length_ = 0;
};

template <typename T>
class BlockArray : public BlockArrayPages {
    static_assert(std::is_trivially_copyable_v<T>, "pages start as zero bytes");

public:
    static constexpr size_t kPageBytes = sizeof(T) * kPageEntries;

    // The page that holds `index` (entry index & 1023 of it); null when it cannot be had.
    T* PageFor(uint32_t index) {
        return static_cast<T*>(BlockArrayPages::PageFor(index, kPageBytes));
    }
    // The entry at `index`, making its page when missing; null when the page cannot be had.
    T* At(uint32_t index) {
        T* page = PageFor(index);
        return page == nullptr ? nullptr : page + (index & (kPageEntries - 1));
    }
    // The entry's value; a zero value when its page does not exist (no page is made).
    T Get(uint32_t index) const {
        auto* page = static_cast<const T*>(PageIfPresent(index));
        return page == nullptr ? T{} : page[index & (kPageEntries - 1)];
    }
};
