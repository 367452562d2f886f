#include "foundation/hash_table.h"

#include <cstring>

namespace {

int CompareText(const char* a, const char* b) {
    return std::strcmp(a, b);  // strcmp orders bytes as unsigned char
}

}  // namespace

uint32_t HashString(const char* text) {
    uint32_t h = 0;
    if (text == nullptr) return h;
    for (const char* p = text; *p != '\0'; ++p)
        h = h * 3 + static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(*p)));
    return h;
}

bool StringHashTable::Insert(const char* key, void* value) {
    if (key == nullptr) return false;
    return InsertOrdered(HashString(key), key, value, CompareText) == 1;
}

bool StringHashTable::Find(const char* key, void** value) const {
    if (key == nullptr) return false;
    const Node* n = FindOrdered(HashString(key), key, CompareText);
    if (n == nullptr) return false;
    if (value != nullptr) *value = n->value;
    return true;
}
