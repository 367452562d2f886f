// A file's inode and modification time, to show that an operation left a file alone (neither
// rewritten in place nor replaced by a new file).
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace testsupport {

struct FileStamp {
    ino_t inode = 0;
    int64_t modified = 0;  // nanoseconds
    bool operator==(const FileStamp&) const = default;
};

// All zero when the file is missing.
inline FileStamp StampOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    return {st.st_ino, int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec};
}

}  // namespace testsupport
