// Kiv::File::Find: lists the entries of one folder that match a wildcard pattern, in sorted
// order. The pattern rules are the Windows ones the product's data was written for: '*' any
// run of characters, '?' any one character, letters compared ignoring case, and "*.*" every
// name (with or without a dot). "." and ".." are listed when the pattern matches them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/kiv/base/file.h"

namespace Kiv {

class File::Find {
public:
    static constexpr uint32_t kAttrReadOnly = 0x01;
    static constexpr uint32_t kAttrDirectory = 0x10;
    static constexpr uint32_t kAttrNormal = 0x80;

    // Lists the entries matching pattern ("folder/*.txt"; a pattern without a folder lists the
    // working directory). True when at least one matched; the first is then current.
    bool Open(std::string_view pattern);
    // Moves to the next entry; false when there is none.
    bool Next();
    void Close() {
        entries_.clear();
        index_ = 0;
    }

    bool IsValid() const { return index_ < entries_.size(); }
    const std::string& GetName() const { return entries_[index_].name; }
    std::string GetNameAndPath() const;
    const std::string& GetFolder() const { return folder_; }
    uint32_t GetAttributes() const { return entries_[index_].attributes; }
    bool IsDirectory() const { return (GetAttributes() & kAttrDirectory) != 0; }
    bool IsSymbolicLink() const { return entries_[index_].symlink; }
    uint64_t GetSize() const { return entries_[index_].size; }

    // The wildcard rule on its own.
    static bool Match(std::string_view pattern, std::string_view name);

private:
    struct Entry {
        std::string name;
        uint32_t attributes = 0;
        bool symlink = false;
        uint64_t size = 0;
    };
    std::string folder_;
    std::vector<Entry> entries_;
    size_t index_ = 0;
};

}  // namespace Kiv
