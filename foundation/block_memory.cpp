#include "foundation/block_memory.h"

#include <bit>
#include <cstring>

#include "platform/kiv/base/alloc.h"

namespace Utils {

namespace {

// Enough for any element type; a 4-byte start would misplace elements that hold pointers.
constexpr uint32_t kAreaAlignment = alignof(std::max_align_t);
constexpr uint32_t kBlockArrayStep = 4;

bool RoundUp(uint32_t value, uint32_t multiple, uint32_t& out) {
    uint64_t r = (uint64_t{value} + multiple - 1) / multiple * multiple;
    if (r > UINT32_MAX) return false;
    out = static_cast<uint32_t>(r);
    return true;
}

}  // namespace

BlockMemory::~BlockMemory() {
    FreeAll();
}

bool BlockMemory::Init(uint32_t elementSize, uint32_t elementsPerBlock, uint32_t releaseThreshold) {
    FreeAll();
    uint32_t size, count;
    if (elementSize == 0 || elementsPerBlock == 0) return false;
    if (!RoundUp(elementSize, 4, size) || !RoundUp(elementsPerBlock, 32, count)) return false;
    // Element offsets are computed in size_t and the area carries alignment slack.
    uint64_t area = uint64_t{size} * count;
    if (area > (SIZE_MAX >> 1) - kAreaAlignment) return false;
    blocks_ = static_cast<Block**>(Kiv::Alloc::New(sizeof(Block*)));
    if (blocks_ == nullptr) return false;
    blockCapacity_ = 1;
    elementSize_ = size;
    elementsPerBlock_ = count;
    bitmapWords_ = count / 32;
    releaseThreshold_ = releaseThreshold == kOneBlockSpare ? count : releaseThreshold;
    alignment_ = kAreaAlignment;
    liveCount_ = 0;
    current_ = nullptr;
    return true;
}

int BlockMemory::AddBlock() {
    if (blockCount_ == blockCapacity_) {
        if (blockCapacity_ > UINT32_MAX - kBlockArrayStep) return -1;
        uint32_t capacity = blockCapacity_ + kBlockArrayStep;
        auto* grown = static_cast<Block**>(Kiv::Alloc::New(sizeof(Block*) * size_t{capacity}));
        if (grown == nullptr) return -1;
        if (blockCount_ != 0) std::memcpy(grown, blocks_, sizeof(Block*) * blockCount_);
        Kiv::Alloc::Delete(blocks_);
        blocks_ = grown;
        blockCapacity_ = capacity;
    }
    size_t areaBytes = size_t{elementSize_} * elementsPerBlock_;
    auto* block = static_cast<Block*>(Kiv::Alloc::New(sizeof(Block)));
    void* raw = Kiv::Alloc::New(areaBytes + alignment_ - 1);
    auto* bitmap = static_cast<uint32_t*>(Kiv::Alloc::New(sizeof(uint32_t) * bitmapWords_));
    if (block == nullptr || raw == nullptr || bitmap == nullptr) {
        Kiv::Alloc::Delete(block);
        Kiv::Alloc::Delete(raw);
        Kiv::Alloc::Delete(bitmap);
        return -1;
    }
    uintptr_t start =
        (reinterpret_cast<uintptr_t>(raw) + alignment_ - 1) & ~uintptr_t{alignment_ - 1};
    block->raw = raw;
    block->start = reinterpret_cast<uint8_t*>(start);
    block->end = block->start + areaBytes;
    block->bitmap = bitmap;
    std::memset(bitmap, 0xFF, sizeof(uint32_t) * bitmapWords_);
    block->used = 0;

    uint32_t i = blockCount_++;
    while (i > 0 && reinterpret_cast<uintptr_t>(blocks_[i - 1]->start) > start) {
        blocks_[i] = blocks_[i - 1];
        --i;
    }
    blocks_[i] = block;
    return static_cast<int>(i);
}

void BlockMemory::FreeBlock(Block* block) {
    Kiv::Alloc::Delete(block->raw);
    Kiv::Alloc::Delete(block->bitmap);
    Kiv::Alloc::Delete(block);
}

void BlockMemory::ReleaseBlock(uint32_t index) {
    Block* block = blocks_[index];
    if (current_ == block) current_ = nullptr;
    FreeBlock(block);
    std::memmove(blocks_ + index, blocks_ + index + 1, sizeof(Block*) * (blockCount_ - index - 1));
    --blockCount_;
}

void BlockMemory::PickCurrentBlock() {
    // The fullest block with room; scanning from the end, a later block keeps a tie.
    Block* best = nullptr;
    for (uint32_t i = blockCount_; i-- > 0;) {
        Block* b = blocks_[i];
        if (b->used < elementsPerBlock_ && (best == nullptr || b->used > best->used)) best = b;
    }
    current_ = best;
}

int BlockMemory::FindBlock(uintptr_t address) const {
    uint32_t lo = 0, hi = blockCount_;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        const Block* b = blocks_[mid];
        if (address < reinterpret_cast<uintptr_t>(b->start)) {
            hi = mid;
        } else if (address >= reinterpret_cast<uintptr_t>(b->end)) {
            lo = mid + 1;
        } else {
            return static_cast<int>(mid);
        }
    }
    return -1;
}

void* BlockMemory::Alloc() {
    if (elementsPerBlock_ == 0) return nullptr;
    if (current_ == nullptr) {
        int i = AddBlock();
        if (i < 0) return nullptr;
        current_ = blocks_[i];
    }
    Block* b = current_;
    for (uint32_t w = bitmapWords_; w-- > 0;) {
        uint32_t word = b->bitmap[w];
        if (word == 0) continue;
        uint32_t bit = static_cast<uint32_t>(std::countl_zero(word));
        b->bitmap[w] = word & ~(0x80000000u >> bit);
        ++b->used;
        ++liveCount_;
        uint8_t* element = b->start + (size_t{w} * 32 + bit) * elementSize_;
        if (b->used == elementsPerBlock_) PickCurrentBlock();
        std::memset(element, 0, elementSize_);
        return element;
    }
    return nullptr;  // the current block is never full; kept for safety
}

bool BlockMemory::Free(void* element) {
    if (element == nullptr || elementsPerBlock_ == 0) return false;
    if (liveCount_ % 16 == 0) PickCurrentBlock();
    uintptr_t address = reinterpret_cast<uintptr_t>(element);
    int found = FindBlock(address);
    if (found < 0) return false;
    Block* b = blocks_[found];
    size_t offset = address - reinterpret_cast<uintptr_t>(b->start);
    size_t index = offset / elementSize_;
    if (index * elementSize_ != offset) return false;  // not the start of an element
    uint32_t& word = b->bitmap[index / 32];
    uint32_t mask = 0x80000000u >> (index % 32);
    if ((word & mask) != 0) return false;
    word |= mask;
    --b->used;
    --liveCount_;
    if (b->used == 0) {
        // Free elements in the other blocks, now that this one is empty.
        int64_t spare = int64_t{blockCount_ - 1} * elementsPerBlock_ - int64_t(liveCount_);
        if (spare > int64_t{releaseThreshold_}) {
            ReleaseBlock(static_cast<uint32_t>(found));
            PickCurrentBlock();
        }
    }
    return true;
}

void BlockMemory::Reset() {
    if (blockCount_ == 0) return;
    while (blockCount_ > 1)
        ReleaseBlock(blockCount_ - 1);
    Block* first = blocks_[0];
    std::memset(first->bitmap, 0xFF, sizeof(uint32_t) * bitmapWords_);
    first->used = 0;
    current_ = first;
    liveCount_ = 0;
}

void BlockMemory::FreeAll() {
    for (uint32_t i = 0; i < blockCount_; ++i)
        FreeBlock(blocks_[i]);
    Kiv::Alloc::Delete(blocks_);
    blocks_ = nullptr;
    blockCount_ = blockCapacity_ = 0;
    current_ = nullptr;
    releaseThreshold_ = elementsPerBlock_ = bitmapWords_ = elementSize_ = alignment_ = 0;
    liveCount_ = 0;
}

const uint8_t* BlockMemory::GetBlockStart(uint32_t i) const {
    return i < blockCount_ ? blocks_[i]->start : nullptr;
}

}  // namespace Utils
