#include "validation/results_entry_ring.h"

void ResultsEntryRing::Append(ResultsLogEntry entry) {
    Block* last = head_ != nullptr ? head_->prev : nullptr;
    if (last == nullptr || last->count == kPerBlock) {
        auto* b = new Block;
        b->count = 0;
        if (last == nullptr) {
            b->next = b->prev = b;
            head_ = b;
        } else {
            b->prev = last;
            b->next = head_;
            last->next = b;
            head_->prev = b;
        }
        last = b;
    }
    new (last->storage + last->count * sizeof(ResultsLogEntry)) ResultsLogEntry(std::move(entry));
    ++last->count;
    ++count_;
}

void ResultsEntryRing::Clear() {
    if (head_ == nullptr) return;
    Block* b = head_;
    do {
        Block* next = b->next;
        for (uint32_t i = 0; i < b->count; ++i)
            b->At(i)->~ResultsLogEntry();
        delete b;
        b = next;
    } while (b != head_);
    head_ = nullptr;
    count_ = 0;
}

uint32_t ResultsEntryRing::CountBlocks() const {
    if (head_ == nullptr) return 0;
    uint32_t n = 0;
    const Block* b = head_;
    do {
        ++n;
        b = b->next;
    } while (b != head_);
    return n;
}

const ResultsLogEntry* ResultsEntryRing::At(uint32_t index) const {
    if (index >= count_) return nullptr;
    const Block* b = head_;
    while (index >= b->count) {
        index -= b->count;
        b = b->next;
    }
    return b->At(index);
}
