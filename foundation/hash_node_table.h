// Utils::IHashNode and HashNodeTable: a hash table of intrusive nodes. The node carries its own
// chain link and says how it hashes and orders; the table only links and unlinks, never
// allocates or frees a node. The compiler's symbols are such nodes, filed in tables of 61
// buckets (globals) or 31 (a class's members).
#pragma once

#include <cstdint>

class HashNodeTable;

namespace Utils {

class IHashNode {
public:
    IHashNode() = default;
    // A node still filed in a table takes itself out.
    virtual ~IHashNode();
    IHashNode(const IHashNode&) = delete;
    IHashNode& operator=(const IHashNode&) = delete;

    virtual uint32_t Hash() const = 0;
    // Negative, 0 or positive as this node orders before, with or after the other.
    virtual int Compare(const IHashNode& other) const = 0;

    // The table the node is filed in, or null.
    const HashNodeTable* GetTable() const { return table_; }

private:
    friend class ::HashNodeTable;
    IHashNode* next_ = nullptr;
    HashNodeTable* table_ = nullptr;
};

}  // namespace Utils

class HashNodeTable {
public:
    // A bucket count of 0 is taken as 1. When the bucket array cannot be had the table stays
    // empty and refuses insertions.
    explicit HashNodeTable(uint32_t bucketCount);
    // Takes every node out without freeing it.
    ~HashNodeTable();
    HashNodeTable(const HashNodeTable&) = delete;
    HashNodeTable& operator=(const HashNodeTable&) = delete;

    // Files the node in bucket Hash() mod the bucket count, before the first node that
    // compares greater. False when a node of the bucket compares equal, when the node is
    // already filed in a table (this one or another), or when it is null.
    bool Insert(Utils::IHashNode* node);
    // The filed node that compares equal to the probe (which need not be filed), or null.
    Utils::IHashNode* Find(const Utils::IHashNode& probe) const;
    // Takes the node out; false when it is not filed in this table.
    bool Remove(Utils::IHashNode* node);
    // Takes every node out without freeing any (their links are cleared); count 0.
    void Clear();

    // Walks every node, bucket by bucket, each chain in order; null at the end. After the
    // node at the position is removed, IterNext goes on with the node that followed it.
    Utils::IHashNode* IterBegin();
    Utils::IHashNode* IterNext();

    uint32_t Count() const { return count_; }
    uint32_t GetBucketCount() const { return bucketCount_; }

private:
    friend class Utils::IHashNode;

    Utils::IHashNode* AdvanceToNextBucket();
    bool Unlink(Utils::IHashNode* node, uint32_t bucket);
    // For a node whose hash cannot be asked (it changed, or the node is being destroyed).
    bool UnlinkFromAnyBucket(Utils::IHashNode* node);

    uint32_t bucketCount_ = 0;  // before buckets_: the constructor sets it first
    Utils::IHashNode** buckets_ = nullptr;
    uint32_t count_ = 0;
    Utils::IHashNode* iterNode_ = nullptr;
    int64_t iterBucket_ = -1;
    // Set when the node at the position was removed: the walk resumes at iterSuccessor_.
    bool iterResume_ = false;
    Utils::IHashNode* iterSuccessor_ = nullptr;
};
