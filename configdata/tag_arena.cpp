#include "configdata/tag_arena.h"

#include <algorithm>
#include <cstdlib>
#include <new>

#include "configdata/bulk_memory.h"

TagArena::TagArena(size_t expectedBytes)
    : nextBlock_(std::clamp(expectedBytes, kMinBlock, kMaxBlock)) {}

TagArena::~TagArena() {
    while (blocks_ != nullptr) {
        Block* next = blocks_->next;
        if (blocks_->size >= kMapFrom)
            bulkmemory::Unmap(blocks_, blocks_->size);
        else
            std::free(blocks_);
        blocks_ = next;
    }
}

void TagArena::NewBlock(size_t atLeast) {
    size_t size = std::max(nextBlock_, atLeast + sizeof(Block) + kAlign);
    // A small block comes from the heap, whose pages are likely present already; a large one
    // from the kernel, its pages made present ahead of the cursor.
    Block* block;
    if (size >= kMapFrom) {
        size = (size + 4095) & ~size_t{4095};
        block = static_cast<Block*>(bulkmemory::Map(size));
    } else {
        block = static_cast<Block*>(std::malloc(size));
        if (block == nullptr) throw std::bad_alloc();
    }
    block->next = blocks_;
    block->size = size;
    blocks_ = block;
    reserved_ += size;
    // The header is two words, so what follows it keeps kAlign.
    cursor_ = reinterpret_cast<char*>(block + 1);
    end_ = reinterpret_cast<char*>(block) + size;
    populated_ = size >= kMapFrom ? cursor_ : end_;
    nextBlock_ = std::min(nextBlock_ * 2, kMaxBlock);
}

void TagArena::PopulateMore() {
    char* upTo = std::min(end_, cursor_ + kPopulateStep);
    if (upTo > populated_) bulkmemory::Populate(populated_, static_cast<size_t>(upTo - populated_));
    populated_ = upTo;
}
