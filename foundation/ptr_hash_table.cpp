#include "foundation/ptr_hash_table.h"

namespace {

int CompareWord(uint32_t a, uint32_t b) {
    return a < b ? -1 : a > b ? 1 : 0;
}

}  // namespace

int PtrHashTable::Insert(uint32_t key, void* value) {
    return InsertOrdered(key >> 1, key, value, CompareWord);
}

bool PtrHashTable::Find(uint32_t key, void** value) const {
    const Node* n = FindOrdered(key >> 1, key, CompareWord);
    if (n == nullptr) return false;
    if (value != nullptr) *value = n->value;
    return true;
}

void PtrHashTable::Reset() {
    FreeBuckets();
    AllocBuckets(kBuckets);
}
