// The file-system steps the asset store is made of, each one call that either happens whole or
// not at all (a rename, an exchange), plus copying and removing folder trees. Walks never
// follow symbolic links (an asset folder holding a link could lead anywhere; links are
// skipped and reported) and stop at kMaxTreeDepth levels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace wexd {

constexpr int kMaxTreeDepth = 128;

// Renames `from` to `to` only when `to` does not exist.
bool RenameNoReplace(const std::string& from, const std::string& to);
// Swaps two existing entries in one step, so that each path always names a complete folder.
bool ExchangePaths(const std::string& a, const std::string& b);
// Tests only: while set, ExchangePaths fails with EINVAL as on a file system that cannot
// exchange, so that the way around it is run (and cut off) like the exchange itself.
void SetExchangeUnsupported(bool unsupported);

// Copies the folder tree `from` into the new folder `to` (which must not exist). Symbolic
// links are skipped and named in `skipped`. False (with a reason) on any failure; what was
// made of `to` is then left for the caller to remove.
bool CopyTree(const std::string& from, const std::string& to, std::vector<std::string>& skipped,
              std::string& error);
// Removes a file or a folder with everything in it; links are removed, never followed. True
// when nothing is left (also when there was nothing).
bool RemoveTree(const std::string& path);

// True when the two folder trees hold the same names, each the same kind of entry, and files
// of the same bytes (permissions and times do not count). False also when either cannot be
// read whole or nests deeper than kMaxTreeDepth.
bool SameTree(const std::string& a, const std::string& b);

// The bytes of the regular files below the folder (links not followed, kMaxTreeDepth levels),
// held at 0xFFFFFFFE so that it never reads as "not installed".
uint32_t FolderFileBytes(const std::string& folder);
// The names in a folder (no "." or ".."), sorted; empty when it cannot be read.
std::vector<std::string> ListFolder(const std::string& folder);
bool IsFolder(const std::string& path);
bool IsFile(const std::string& path);

// The identity of a file-system entry, which a rename keeps: how an interrupted swap tells
// which of two paths the staged folder has reached.
struct EntryId {
    uint64_t device = 0;
    uint64_t inode = 0;
    bool operator==(const EntryId&) const = default;
};
bool GetEntryId(const std::string& path, EntryId& out);

// Makes sure the file exists and is its owner's alone (mode 0600, or narrower as it was),
// creating it empty when missing; never follows a link. `empty` tells whether it holds
// nothing. False (errno set) when it cannot be opened.
bool MakePrivateFile(const std::string& path, bool* empty = nullptr);
// Takes the group's and others' access from a file or folder.
bool MakePrivate(const std::string& path);

// Writes a small file through a temporary twin, flushed, then renamed over `path`.
bool WriteFileAtomically(const std::string& path, const std::string& bytes);
bool ReadSmallFile(const std::string& path, std::string& bytes, size_t limit);

}  // namespace wexd
