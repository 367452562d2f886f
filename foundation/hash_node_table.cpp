#include "foundation/hash_node_table.h"

#include "foundation/hash_table.h"
#include "platform/kiv/base/alloc.h"

namespace Utils {

IHashNode::~IHashNode() {
    // Hash() cannot be called from here: the derived part is gone.
    if (table_ != nullptr) table_->UnlinkFromAnyBucket(this);
}

}  // namespace Utils

using Utils::IHashNode;

HashNodeTable::HashNodeTable(uint32_t bucketCount)
    : bucketCount_(bucketCount), buckets_(AllocChainHeads<IHashNode>(bucketCount_)) {}

HashNodeTable::~HashNodeTable() {
    Clear();
    Kiv::Alloc::Delete(buckets_);
}

bool HashNodeTable::Insert(IHashNode* node) {
    if (node == nullptr || node->table_ != nullptr || buckets_ == nullptr) return false;
    IHashNode** link = &buckets_[node->Hash() % bucketCount_];
    int c = 1;
    while (*link != nullptr && (c = node->Compare(**link)) > 0)
        link = &(*link)->next_;
    if (*link != nullptr && c == 0) return false;
    node->next_ = *link;
    *link = node;
    node->table_ = this;
    ++count_;
    return true;
}

IHashNode* HashNodeTable::Find(const IHashNode& probe) const {
    if (buckets_ == nullptr) return nullptr;
    IHashNode* n = buckets_[probe.Hash() % bucketCount_];
    int c = 1;
    while (n != nullptr && (c = probe.Compare(*n)) > 0)
        n = n->next_;
    return n != nullptr && c == 0 ? n : nullptr;
}

bool HashNodeTable::Unlink(IHashNode* node, uint32_t bucket) {
    for (IHashNode** link = &buckets_[bucket]; *link != nullptr; link = &(*link)->next_) {
        if (*link != node) continue;
        *link = node->next_;
        if (node == iterNode_) {
            iterNode_ = nullptr;
            iterResume_ = true;
            iterSuccessor_ = node->next_;
        } else if (iterResume_ && node == iterSuccessor_) {
            iterSuccessor_ = node->next_;
        }
        node->next_ = nullptr;
        node->table_ = nullptr;
        --count_;
        return true;
    }
    return false;
}

bool HashNodeTable::Remove(IHashNode* node) {
    if (node == nullptr || node->table_ != this) return false;
    return Unlink(node, node->Hash() % bucketCount_) || UnlinkFromAnyBucket(node);
}

bool HashNodeTable::UnlinkFromAnyBucket(IHashNode* node) {
    for (uint32_t b = 0; b < bucketCount_; ++b) {
        if (Unlink(node, b)) return true;
    }
    return false;
}

void HashNodeTable::Clear() {
    for (uint32_t b = 0; b < bucketCount_; ++b) {
        IHashNode* n = buckets_[b];
        while (n != nullptr) {
            IHashNode* next = n->next_;
            n->next_ = nullptr;
            n->table_ = nullptr;
            n = next;
        }
        buckets_[b] = nullptr;
    }
    count_ = 0;
    iterNode_ = nullptr;
    iterBucket_ = -1;
    iterResume_ = false;
}

IHashNode* HashNodeTable::IterBegin() {
    iterNode_ = nullptr;
    iterBucket_ = -1;
    iterResume_ = false;
    return AdvanceToNextBucket();
}

IHashNode* HashNodeTable::IterNext() {
    if (iterResume_) {
        iterResume_ = false;
        if (iterSuccessor_ != nullptr) return iterNode_ = iterSuccessor_;
        return AdvanceToNextBucket();
    }
    if (iterNode_ == nullptr) return nullptr;
    if (iterNode_->next_ != nullptr) return iterNode_ = iterNode_->next_;
    return AdvanceToNextBucket();
}

IHashNode* HashNodeTable::AdvanceToNextBucket() {
    while (++iterBucket_ < static_cast<int64_t>(bucketCount_)) {
        if (buckets_[iterBucket_] != nullptr) return iterNode_ = buckets_[iterBucket_];
    }
    iterNode_ = nullptr;
    return nullptr;
}
