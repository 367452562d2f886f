// The strings of one library image: every text an instruction or a table refers to is interned
// once and known by its index (the order of first interning). The string table is written in
// bucket order: 61 buckets by the compiler's text hash, each chain in ascending unsigned byte
// order; an index by text beside the buckets keeps interning fast.
#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace GSCompiler {

class StringInterning {
public:
    static constexpr uint32_t kBuckets = 61;

    StringInterning() : buckets_(kBuckets) {}

    // The index of the text, interned now when it is new.
    uint32_t Intern(std::string_view text);
    uint32_t Count() const { return static_cast<uint32_t>(texts_.size()); }
    std::string_view Text(uint32_t index) const { return texts_[index]; }
    // Calls `visit(index, text)` bucket by bucket, each chain in ascending unsigned byte order
    // (std::string_view's comparison: char_traits<char> compares as unsigned char). A chain is
    // sorted here, once, rather than kept sorted while interning, which would move a growing
    // chain on every new text.
    template <typename Visit>
    void ForEachInBucketOrder(Visit visit) const {
        std::vector<uint32_t> sorted;
        for (const std::vector<uint32_t>& chain : buckets_) {
            sorted.assign(chain.begin(), chain.end());
            std::sort(sorted.begin(), sorted.end(), [this](uint32_t a, uint32_t b) {
                return std::string_view(texts_[a]) < std::string_view(texts_[b]);
            });
            for (uint32_t index : sorted)
                visit(index, std::string_view(texts_[index]));
        }
    }
    void Clear();

private:
    std::deque<std::string> texts_;
    std::unordered_map<std::string_view, uint32_t> index_;
    std::vector<std::vector<uint32_t>> buckets_;
};

}  // namespace GSCompiler
