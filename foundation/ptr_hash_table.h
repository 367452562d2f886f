// PtrHashTable: the word-keyed chained hash table, 97 buckets, filed by (key >> 1) mod 97 with
// chains in ascending key order. The compiler's label table keeps one.
#pragma once

#include <cstdint>

#include "foundation/hash_table.h"

class PtrHashTable : public HashTable<uint32_t> {
public:
    static constexpr uint32_t kBuckets = 97;

    PtrHashTable() : HashTable(kBuckets) {}

    // 1 stored; 0 when the key is filed already (nothing stored); -1 when the node cannot be
    // had.
    int Insert(uint32_t key, void* value);
    // The value filed under the key through `value` (when given); false when there is none.
    bool Find(uint32_t key, void** value = nullptr) const;
    // Frees every node and the bucket array, then starts again with 97 empty buckets.
    void Reset();

    static uint32_t BucketOf(uint32_t key) { return (key >> 1) % kBuckets; }
};
