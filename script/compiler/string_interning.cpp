#include "script/compiler/string_interning.h"

#include <algorithm>

#include "script/compiler/gs_symbols.h"

namespace GSCompiler {

uint32_t StringInterning::Intern(std::string_view text) {
    auto found = index_.find(text);
    if (found != index_.end()) return found->second;
    const uint32_t index = Count();
    texts_.emplace_back(text);
    std::string_view stored = texts_.back();
    index_.emplace(stored, index);
    // Unsigned byte order, which std::string_view's comparison is (char_traits<char> compares
    // as unsigned char).
    std::vector<uint32_t>& chain = buckets_[SymbolHash(stored) % kBuckets];
    auto at = std::upper_bound(chain.begin(), chain.end(), stored,
                               [this](std::string_view t, uint32_t i) { return t < texts_[i]; });
    chain.insert(at, index);
    return index;
}

void StringInterning::Clear() {
    texts_.clear();
    index_.clear();
    for (std::vector<uint32_t>& chain : buckets_)
        chain.clear();
}

}  // namespace GSCompiler
