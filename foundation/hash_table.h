// Chained hash tables of the script compiler and runtime: HashTable is the shared layout (a
// bucket array of chain heads, each chain kept in ascending key order, an entry count and a
// walking position), StringHashTable files entries by a text key and PtrHashTable
// (ptr_hash_table.h) by a 32-bit word. Values are untyped pointers; nodes come one by one from
// the engine allocator. Nothing locks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/kiv/base/alloc.h"

// The text hash of the tables: h = h * 3 + each byte taken as a signed char, in 32-bit
// unsigned arithmetic. Symbol nodes use it too, so that a name files the same everywhere.
uint32_t HashString(const char* text);

// The bucket array of a chained table: `count` empty chain heads, a count of 0 taken as 1.
// Null, with the count set to 0, when the array cannot be had.
template <typename Node>
Node** AllocChainHeads(uint32_t& count) {
    if (count == 0) count = 1;
    auto* heads = static_cast<Node**>(Kiv::Alloc::New(sizeof(Node*) * size_t{count}));
    if (heads == nullptr) {
        count = 0;
        return nullptr;
    }
    for (uint32_t i = 0; i < count; ++i)
        heads[i] = nullptr;
    return heads;
}

template <typename Key>
class HashTable {
public:
    struct Node {
        Key key;
        void* value;
        Node* next;
    };

    HashTable(const HashTable&) = delete;
    HashTable& operator=(const HashTable&) = delete;

    // Frees every node (values are the owner's), empties every bucket.
    void Clear() { FreeNodes(false); }
    // Frees every node and each node's value block (allocated with Kiv::Alloc::New).
    void ClearFreeValues() { FreeNodes(true); }

    uint32_t Count() const { return count_; }
    uint32_t GetBucketCount() const { return bucketCount_; }

    // Walks every entry: bucket by bucket from the lowest, each chain in key order. Null at
    // the end. Nodes never move, so inserting while walking is safe (an entry filed behind
    // the position is met, one before it is not); clearing ends the walk.
    const Node* IterBegin() {
        iterNode_ = nullptr;
        iterBucket_ = -1;
        return AdvanceToNextBucket();
    }
    const Node* IterNext() {
        if (iterNode_ == nullptr) return nullptr;
        if (iterNode_->next != nullptr) return iterNode_ = iterNode_->next;
        return AdvanceToNextBucket();
    }

protected:
    // A bucket count of 0 is taken as 1. When the bucket array cannot be had the table stays
    // empty and refuses insertions.
    explicit HashTable(uint32_t bucketCount) { AllocBuckets(bucketCount); }
    ~HashTable() {
        FreeNodes(false);
        Kiv::Alloc::Delete(buckets_);
    }

    void AllocBuckets(uint32_t bucketCount) {
        bucketCount_ = bucketCount;
        buckets_ = AllocChainHeads<Node>(bucketCount_);
    }

    void FreeBuckets() {
        FreeNodes(false);
        Kiv::Alloc::Delete(buckets_);
        buckets_ = nullptr;
        bucketCount_ = 0;
    }

    // Links a new node into the chain of `hash`, before the first larger key. `compare`
    // (a, b) orders keys like strcmp. 1 stored, 0 an equal key exists, -1 no memory.
    template <typename Compare>
    int InsertOrdered(uint32_t hash, Key key, void* value, Compare compare) {
        if (buckets_ == nullptr) return -1;
        Node** link = &buckets_[hash % bucketCount_];
        while (*link != nullptr) {
            int c = compare(key, (*link)->key);
            if (c == 0) return 0;
            if (c < 0) break;
            link = &(*link)->next;
        }
        auto* node = static_cast<Node*>(Kiv::Alloc::New(sizeof(Node)));
        if (node == nullptr) return -1;
        node->key = key;
        node->value = value;
        node->next = *link;
        *link = node;
        ++count_;
        return 1;
    }

    template <typename Compare>
    const Node* FindOrdered(uint32_t hash, Key key, Compare compare) const {
        if (buckets_ == nullptr) return nullptr;
        for (const Node* n = buckets_[hash % bucketCount_]; n != nullptr; n = n->next) {
            int c = compare(key, n->key);
            if (c == 0) return n;
            if (c < 0) break;
        }
        return nullptr;
    }

private:
    void FreeNodes(bool freeValues) {
        for (uint32_t i = 0; i < bucketCount_; ++i) {
            Node* n = buckets_[i];
            while (n != nullptr) {
                Node* next = n->next;
                if (freeValues) Kiv::Alloc::Delete(n->value);
                Kiv::Alloc::Delete(n);
                n = next;
            }
            buckets_[i] = nullptr;
        }
        count_ = 0;
        iterNode_ = nullptr;
        iterBucket_ = -1;
    }

    const Node* AdvanceToNextBucket() {
        while (++iterBucket_ < static_cast<int64_t>(bucketCount_)) {
            if (buckets_[iterBucket_] != nullptr) return iterNode_ = buckets_[iterBucket_];
        }
        iterNode_ = nullptr;
        return nullptr;
    }

    Node** buckets_ = nullptr;
    uint32_t bucketCount_ = 0;
    uint32_t count_ = 0;
    const Node* iterNode_ = nullptr;
    int64_t iterBucket_ = -1;
};

// Entries keyed by NUL-terminated text. The table keeps the key pointer, not a copy: the
// text must outlive its entry.
class StringHashTable : public HashTable<const char*> {
public:
    explicit StringHashTable(uint32_t bucketCount) : HashTable(bucketCount) {}

    // False, storing nothing, for a null key, when an equal key is filed already or when the
    // node cannot be had.
    bool Insert(const char* key, void* value);
    // The value filed under the key through `value` (when given); false when there is none.
    bool Find(const char* key, void** value = nullptr) const;
};
