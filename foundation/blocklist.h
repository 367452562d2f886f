// BlockList: a list kept in a ring of fixed-size blocks, each holding a count and N entries by
// value. Appending never moves entries of other blocks and no single large allocation is
// needed, which suits lists whose length is not known in advance (main-lock holders, queued
// calls, KUID lists, delayed-init clients). Blocks come from the engine allocator.
//
// Entries are plain values (trivially copyable): they are moved with memmove inside a block.
// A list belongs to one owner, which locks it where it is shared.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "platform/kiv/base/alloc.h"

template <typename T, uint32_t N>
class BlockList {
    static_assert(std::is_trivially_copyable_v<T>, "entries are moved bytewise inside a block");
    static_assert(N > 0);

public:
    struct Block {
        Block* next;
        Block* prev;
        uint32_t count;
        T entries[N];
    };

    // A cursor: the entry, the list it walks and the current block. A null entry is the end.
    class Iterator {
    public:
        Iterator() = default;
        Iterator(T* entry, const BlockList* list, Block* block)
            : entry_(entry), list_(list), block_(block) {}

        bool IsEnd() const { return entry_ == nullptr; }
        T& operator*() const { return *entry_; }
        T* operator->() const { return entry_; }
        T* Get() const { return entry_; }
        Block* GetBlock() const { return block_; }
        bool operator==(const Iterator& o) const { return entry_ == o.entry_; }
        bool operator!=(const Iterator& o) const { return entry_ != o.entry_; }

        // One entry on: after a block's last entry to the next block's first; the end at the
        // end of the ring.
        Iterator& Next() {
            if (entry_ == nullptr) return *this;
            uint32_t i = static_cast<uint32_t>(entry_ - block_->entries);
            if (i + 1 < block_->count) {
                ++entry_;
            } else if (block_->next != list_->head_) {
                block_ = block_->next;
                entry_ = block_->entries;
            } else {
                entry_ = nullptr;
            }
            return *this;
        }
        Iterator& operator++() { return Next(); }

        // n entries forward across blocks (backward when negative); the end iterator when it
        // runs off either end.
        Iterator& Advance(int64_t n) {
            while (entry_ != nullptr && n != 0) {
                int64_t i = entry_ - block_->entries;
                if (n > 0) {
                    int64_t room = int64_t{block_->count} - 1 - i;
                    if (n <= room) {
                        entry_ += n;
                        return *this;
                    }
                    n -= room + 1;
                    if (block_->next == list_->head_) {
                        entry_ = nullptr;
                        return *this;
                    }
                    block_ = block_->next;
                    entry_ = block_->entries;
                } else {
                    if (-n <= i) {
                        entry_ += n;
                        return *this;
                    }
                    n += i + 1;
                    if (block_ == list_->head_) {
                        entry_ = nullptr;
                        return *this;
                    }
                    block_ = block_->prev;
                    entry_ = block_->entries + block_->count - 1;
                }
            }
            return *this;
        }

    private:
        friend class BlockList;
        T* entry_ = nullptr;
        const BlockList* list_ = nullptr;
        Block* block_ = nullptr;
    };

    BlockList() = default;
    ~BlockList() { FreeAll(); }
    BlockList(const BlockList&) = delete;
    BlockList& operator=(const BlockList&) = delete;
    BlockList(BlockList&& o) noexcept : head_(o.head_) { o.head_ = nullptr; }
    BlockList& operator=(BlockList&& o) noexcept {
        if (this != &o) {
            FreeAll();
            head_ = o.head_;
            o.head_ = nullptr;
        }
        return *this;
    }

    // Stores the value after the last entry; returns its index in its block.
    uint32_t Append(const T& value) {
        Block* last;
        if (head_ == nullptr) {
            last = NewBlock();
            last->next = last->prev = last;
            head_ = last;
        } else {
            last = head_->prev;
            if (last->count == N) {
                Block* b = NewBlock();
                b->prev = last;
                b->next = head_;
                last->next = b;
                head_->prev = b;
                last = b;
            }
        }
        uint32_t index = last->count++;
        last->entries[index] = value;
        return index;
    }

    // The first entry equal to the value, or the end.
    Iterator Find(const T& value) const {
        for (Iterator it = Begin(); !it.IsEnd(); it.Next()) {
            if (*it == value) return it;
        }
        return End();
    }

    // Removes the entry, shifting the rest of its block down; a block left empty is freed.
    // Returns the iterator of the entry that now follows.
    Iterator Erase(Iterator it) {
        if (it.IsEnd()) return it;
        Block* b = it.block_;
        uint32_t i = static_cast<uint32_t>(it.entry_ - b->entries);
        if (b->count == 1) return FreeEmptiedBlock(b);
        std::memmove(static_cast<void*>(b->entries + i), b->entries + i + 1,
                     sizeof(T) * (b->count - i - 1));
        --b->count;
        if (i < b->count) return Iterator(b->entries + i, this, b);
        return FirstOfNextBlock(b);
    }

    // Removes the entry by moving its block's last entry into its place (order not kept); a
    // block left empty is freed, as Erase does.
    Iterator EraseUnordered(Iterator it) {
        if (it.IsEnd()) return it;
        Block* b = it.block_;
        uint32_t i = static_cast<uint32_t>(it.entry_ - b->entries);
        if (b->count == 1) return FreeEmptiedBlock(b);
        --b->count;
        if (i < b->count) {
            b->entries[i] = b->entries[b->count];
            return Iterator(b->entries + i, this, b);
        }
        return FirstOfNextBlock(b);
    }

    void FreeAll() {
        if (head_ == nullptr) return;
        Block* b = head_;
        do {
            Block* next = b->next;
            Kiv::Alloc::Delete(b);
            b = next;
        } while (b != head_);
        head_ = nullptr;
    }

    uint32_t Count() const {
        if (head_ == nullptr) return 0;
        uint32_t n = 0;
        const Block* b = head_;
        do {
            n += b->count;
            b = b->next;
        } while (b != head_);
        return n;
    }
    bool IsEmpty() const { return head_ == nullptr; }

    Iterator Begin() const { return head_ ? Iterator(head_->entries, this, head_) : End(); }
    Iterator End() const { return Iterator(nullptr, this, nullptr); }
    Iterator Last() const {
        if (head_ == nullptr) return End();
        Block* b = head_->prev;
        return Iterator(b->entries + b->count - 1, this, b);
    }
    // Begin advanced by i.
    Iterator At(uint32_t i) const { return Begin().Advance(i); }

    // Range-for support.
    struct RangeIt {
        Iterator it;
        T& operator*() const { return *it; }
        RangeIt& operator++() {
            it.Next();
            return *this;
        }
        bool operator!=(const RangeIt& o) const { return it != o.it; }
    };
    RangeIt begin() const { return {Begin()}; }
    RangeIt end() const { return {End()}; }

    const Block* GetHead() const { return head_; }

private:
    Block* NewBlock() {
        void* mem = Kiv::Alloc::New(sizeof(Block));
        if (mem == nullptr) throw std::bad_alloc();
        Block* b = static_cast<Block*>(mem);
        b->next = b->prev = nullptr;
        b->count = 0;
        for (uint32_t i = 0; i < N; ++i)
            new (&b->entries[i]) T();
        return b;
    }

    Iterator FirstOfNextBlock(Block* b) const {
        if (b->next == head_) return End();
        return Iterator(b->next->entries, this, b->next);
    }

    Iterator FreeEmptiedBlock(Block* b) {
        Block* next = b->next;
        bool wasLast = next == head_;
        if (next == b) {
            head_ = nullptr;
        } else {
            b->prev->next = next;
            next->prev = b->prev;
            if (head_ == b) head_ = next;
        }
        Kiv::Alloc::Delete(b);
        if (head_ == nullptr || wasLast) return End();
        return Iterator(next->entries, this, next);
    }

    Block* head_ = nullptr;
};

// The list of pointers or 32-bit values used by most owners: 13 entries, a 64-byte block.
template <typename T>
using SmallBlockList = BlockList<T, 13>;
