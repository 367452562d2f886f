#include "script/compiler/string_interning.h"

#include "script/compiler/gs_symbols.h"

namespace GSCompiler {

uint32_t StringInterning::Intern(std::string_view text) {
    auto found = index_.find(text);
    if (found != index_.end()) return found->second;
    const uint32_t index = Count();
    texts_.emplace_back(text);
    std::string_view stored = texts_.back();
    index_.emplace(stored, index);
    buckets_[SymbolHash(stored) % kBuckets].push_back(index);
    return index;
}

void StringInterning::Clear() {
    texts_.clear();
    index_.clear();
    for (std::vector<uint32_t>& chain : buckets_)
        chain.clear();
}

}  // namespace GSCompiler
