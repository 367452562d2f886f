#include "foundation/paged_array.h"

#include <cstring>

#include "platform/kiv/base/alloc.h"

Kiv::PackedHeapMP& BlockArrayHeap() {
    // Never destroyed: arrays in static objects give their pages back after exit.
    static auto* heap = new Kiv::PackedHeapMP("#BlockArray");
    return *heap;
}

BlockArrayPages::~BlockArrayPages() {
    FreeAll();
}

void BlockArrayPages::FreeAll() {
    for (uint32_t i = 0; i < length_; ++i)
        BlockArrayHeap().Free(directory_[i]);
    Kiv::Alloc::Delete(directory_);
    directory_ = nullptr;
    length_ = 0;
}

void* BlockArrayPages::PageFor(uint32_t index, size_t pageBytes) {
    uint32_t page = index >> kPageShift;
    if (page >= length_) {
        uint32_t length = page + 1;  // index >> 10 leaves room for the + 1
        auto* grown = static_cast<void**>(Kiv::Alloc::New(sizeof(void*) * size_t{length}));
        if (grown == nullptr) return nullptr;
        if (length_ != 0) std::memcpy(grown, directory_, sizeof(void*) * length_);
        for (uint32_t i = length_; i < length; ++i)
            grown[i] = nullptr;
        Kiv::Alloc::Delete(directory_);
        directory_ = grown;
        length_ = length;
    }
    if (directory_[page] == nullptr) {
        void* mem = BlockArrayHeap().Alloc(pageBytes);
        if (mem == nullptr) return nullptr;
        std::memset(mem, 0, pageBytes);
        directory_[page] = mem;
    }
    return directory_[page];
}
