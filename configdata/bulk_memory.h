// Large blocks of memory straight from the kernel, their pages made present in batches (one
// call for many pages) rather than by one fault each as they are first touched: a first parse
// touches every page of the text it reads and of the tree it builds, and in a fresh process
// those faults cost more than the parse itself.
#pragma once

#include <cstddef>

namespace bulkmemory {

// `bytes` of zeroed memory, rounded up to whole pages, none present yet, in large pages where
// the system allows; throws std::bad_alloc.
void* Map(size_t bytes);
void Unmap(void* block, size_t bytes);
// Makes the pages of [from, from + bytes) present for writing; only a hint (nothing happens
// where the kernel cannot).
void Populate(void* from, size_t bytes);

}  // namespace bulkmemory
