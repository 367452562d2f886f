// The messages of a results log and the ring of blocks that keeps them. Blocks hold 13
// messages each, so appending never moves an earlier message and a log of thousands needs no
// reallocation; an empty ring has no block.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

#include "configdata/property.h"
#include "platform/kiv/base/text.h"

// Severities of messages. Other values are kept and written but counted nowhere.
enum ResultsSeverity : uint32_t {
    kResultsInfo = 1,
    kResultsWarning = 2,
    kResultsError = 3,
    kResultsSuccess = 4,
};

// One message: its severity, its text and its parameter (as a rule the KUID of the asset
// concerned; may be empty). A copy shares the parameter.
struct ResultsLogEntry {
    uint32_t severity = 0;
    Kiv::String text;
    HalvexPropertyRef parameter;
};

class ResultsEntryRing {
public:
    static constexpr uint32_t kPerBlock = 13;

    ResultsEntryRing() = default;
    ~ResultsEntryRing() { Clear(); }
    ResultsEntryRing(const ResultsEntryRing&) = delete;
    ResultsEntryRing& operator=(const ResultsEntryRing&) = delete;

    // Stores the entry after the last one; a new block only when the last block is full.
    void Append(ResultsLogEntry entry);
    // Destroys every entry and frees every block.
    void Clear();

    uint32_t Count() const { return count_; }
    uint32_t CountBlocks() const;

    // The entry at that index, or null past the end.
    const ResultsLogEntry* At(uint32_t index) const;

    // Calls visit(const ResultsLogEntry&) for the entries from index `first` on, in the order
    // they were added; nothing when `first` is at or past the end. Positioning walks the
    // blocks by their counts.
    template <typename Visit>
    void ForEachFrom(uint32_t first, Visit&& visit) const {
        if (head_ == nullptr || first >= count_) return;
        const Block* b = head_;
        while (first >= b->count) {
            first -= b->count;
            b = b->next;
        }
        do {
            for (uint32_t i = first; i < b->count; ++i)
                visit(*b->At(i));
            first = 0;
            b = b->next;
        } while (b != head_);
    }

private:
    struct Block {
        Block* next;
        Block* prev;
        uint32_t count;
        alignas(ResultsLogEntry) unsigned char storage[kPerBlock * sizeof(ResultsLogEntry)];

        ResultsLogEntry* At(uint32_t i) {
            return std::launder(reinterpret_cast<ResultsLogEntry*>(storage) + i);
        }
        const ResultsLogEntry* At(uint32_t i) const {
            return std::launder(reinterpret_cast<const ResultsLogEntry*>(storage) + i);
        }
    };

    Block* head_ = nullptr;
    uint32_t count_ = 0;
};
