// Engine allocation entry points. Malloc-backed; the named packed heaps build on these.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <new>
#include <utility>

namespace Kiv {

struct Alloc {
    // Raw blocks; New returns nullptr when the memory cannot be had.
    static void* New(size_t bytes) { return std::malloc(bytes == 0 ? 1 : bytes); }
    static void Delete(void* block) { std::free(block); }

    // Constructs a T in a block from New; nullptr when the memory cannot be had.
    template <typename T, typename... Args>
    static T* Create(Args&&... args) {
        void* mem = New(sizeof(T));
        return mem ? new (mem) T(std::forward<Args>(args)...) : nullptr;
    }
    template <typename T>
    static void Destroy(T* object) {
        if (object != nullptr) {
            object->~T();
            Delete(object);
        }
    }
};

}  // namespace Kiv
