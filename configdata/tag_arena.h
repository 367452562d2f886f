// TagArena: memory for the nodes of a tree that is built in one go (a text parsed, a soup
// copied), handed out by moving a cursor through large blocks instead of one malloc a node.
//
// A node made in an arena holds a count on it; the arena gives its blocks back when the last
// such node and the last other reference have gone. A node's own memory is not reused when it
// goes alone: an arena suits trees that are read and then dropped whole, not trees that are
// edited node by node (those keep their nodes on the heap, and nodes added to a parsed tree by
// an edit are heap nodes beside its arena nodes).
//
// Allocate is for the one thread that builds the tree; counts may be taken and dropped on any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "configdata/reference_count.h"

class TagArena : public ReferenceCountMP {
public:
    // `expectedBytes` sizes the first block (a guess of what the tree will need); later blocks
    // double, up to kMaxBlock.
    explicit TagArena(size_t expectedBytes = 0);
    ~TagArena() override;

    // `bytes` of memory aligned to kAlign, for the arena's life. Throws std::bad_alloc.
    void* Allocate(size_t bytes) {
        bytes = (bytes + kAlign - 1) & ~(kAlign - 1);
        if (static_cast<size_t>(end_ - cursor_) < bytes) NewBlock(bytes);
        void* p = cursor_;
        cursor_ += bytes;
        if (cursor_ > populated_) PopulateMore();
        return p;
    }

    // The bytes of the blocks taken so far.
    size_t ReservedBytes() const { return reserved_; }

    static constexpr size_t kAlign = 8;
    static constexpr size_t kMinBlock = 4096;
    static constexpr size_t kMaxBlock = 16 * 1024 * 1024;
    // Blocks of this size and more come straight from the kernel.
    static constexpr size_t kMapFrom = 256 * 1024;
    // Pages are made present this many bytes ahead of the cursor at a time.
    static constexpr size_t kPopulateStep = 512 * 1024;

private:
    struct Block {
        Block* next;
        size_t size;
    };
    void NewBlock(size_t atLeast);
    void PopulateMore();

    Block* blocks_ = nullptr;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    char* populated_ = nullptr;  // the pages of the block up to here are present
    size_t nextBlock_;
    size_t reserved_ = 0;
};

// A node of type Node made in an arena: it holds a count on the arena and, when its own count
// ends, runs its destructor and drops that count instead of freeing itself.
template <typename Node>
class ArenaNode final : public Node {
public:
    template <typename... Args>
    explicit ArenaNode(TagArena& arena, Args&&... args)
        : Node(std::forward<Args>(args)...), arena_(&arena) {
        arena.AddReference();
    }

    // A new node in memory of the arena (at least sizeof(ArenaNode) bytes from Allocate),
    // under its first count.
    template <typename... Args>
    static ArenaNode* At(void* memory, TagArena& arena, Args&&... args) {
        return new (memory) ArenaNode(arena, std::forward<Args>(args)...);
    }

    void DeleteSelf() override {
        TagArena* arena = arena_;
        this->~ArenaNode();
        arena->ReleaseReference();
    }

private:
    TagArena* arena_;
};
