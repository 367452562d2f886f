#include "configdata/bulk_memory.h"

#include <sys/mman.h>

#include <cstdint>
#include <new>

#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif

namespace bulkmemory {

void* Map(size_t bytes) {
    void* block =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
    // Large pages where the system gives them on request: a first parse fills these blocks
    // front to back, and one fault per 2 MiB instead of one per 4 KiB page is most of what a
    // cold parse costs beyond the parse itself. Only a hint, like Populate.
    ::madvise(block, bytes, MADV_HUGEPAGE);
    return block;
}

void Unmap(void* block, size_t bytes) {
    if (block != nullptr) ::munmap(block, bytes);
}

void Populate(void* from, size_t bytes) {
    constexpr size_t kPage = 4096;
    auto start = reinterpret_cast<uintptr_t>(from) & ~(kPage - 1);
    auto end = reinterpret_cast<uintptr_t>(from) + bytes;
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE);
}

}  // namespace bulkmemory
