// Utils::BlockMemory: a pool of fixed-size elements kept in blocks, each with a bitmap of its
// free elements. The script compiler takes its symbols and syntax-tree nodes from such pools.
// Allocation comes from a "current" block (the fullest one that still has room, so that
// nearly empty blocks drain and can be released); freeing finds the block by a binary search
// over the blocks sorted by address. One instance belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Utils {

class BlockMemory {
public:
    // The release threshold meaning "one block's worth of spare elements".
    static constexpr uint32_t kOneBlockSpare = UINT32_MAX;

    BlockMemory() = default;
    virtual ~BlockMemory();
    BlockMemory(const BlockMemory&) = delete;
    BlockMemory& operator=(const BlockMemory&) = delete;

    // Sets the pool up (freeing whatever it held): the element size is rounded up to a
    // multiple of 4 and the elements per block up to a multiple of 32. An emptied block is
    // released once the other blocks hold more than `releaseThreshold` free elements. False
    // for a zero size or count, for sizes whose block would overflow, and when the block
    // array cannot be had.
    bool Init(uint32_t elementSize, uint32_t elementsPerBlock,
              uint32_t releaseThreshold = kOneBlockSpare);

    // One zero-filled element; null when a block cannot be had or the pool is not set up.
    void* Alloc();
    // Takes an element back. False, changing nothing, for a pointer that is not the start of
    // an element of this pool or for an element that is already free.
    bool Free(void* element);
    // Keeps the first block (by address), marks all its elements free and releases the
    // others. Does nothing when the pool holds no block.
    void Reset();
    // Releases every block and the block array and clears every setting: Init again before
    // further use.
    void FreeAll();

    uint32_t GetElementSize() const { return elementSize_; }
    uint32_t GetElementsPerBlock() const { return elementsPerBlock_; }
    uint32_t GetBlockCount() const { return blockCount_; }
    size_t GetLiveCount() const { return liveCount_; }
    // The address range [start, end) of the elements of block i (blocks are sorted by it).
    const uint8_t* GetBlockStart(uint32_t i) const;

private:
    struct Block {
        void* raw;
        uint8_t* start;
        uint8_t* end;
        uint32_t* bitmap;  // 1 = free; element i is bit 31 - i % 32 of word i / 32
        uint32_t used;
    };

    int AddBlock();
    void ReleaseBlock(uint32_t index);
    static void FreeBlock(Block* block);
    void PickCurrentBlock();
    int FindBlock(uintptr_t address) const;

    Block** blocks_ = nullptr;
    uint32_t blockCount_ = 0;
    uint32_t blockCapacity_ = 0;
    Block* current_ = nullptr;
    uint32_t releaseThreshold_ = 0;
    uint32_t elementsPerBlock_ = 0;
    uint32_t bitmapWords_ = 0;
    uint32_t elementSize_ = 0;
    uint32_t alignment_ = 0;
    size_t liveCount_ = 0;
};

}  // namespace Utils
