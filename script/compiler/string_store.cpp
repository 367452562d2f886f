#include "script/compiler/string_store.h"

#include <cstring>
#include <new>

namespace GSCompiler {

char* StringStore::Reserve(size_t n) {
    char* p = nullptr;
    if (n < kFrameSize / 4) {
        p = static_cast<char*>(frames_.Alloc(static_cast<uint32_t>(n + 1), 1));
    } else {
        // Large texts would waste most of a frame each: a block of their own.
        large_.emplace_back(new (std::nothrow) char[n + 1]);
        p = large_.back().get();
        if (p == nullptr) large_.pop_back();
    }
    if (p != nullptr) p[n] = '\0';
    return p;
}

char* StringStore::Copy(std::string_view text) {
    char* p = Reserve(text.size());
    if (p != nullptr && !text.empty()) std::memcpy(p, text.data(), text.size());
    return p;
}

void StringStore::Clear() {
    frames_.Rewind();
    large_.clear();
}

}  // namespace GSCompiler
