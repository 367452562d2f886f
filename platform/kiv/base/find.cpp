#include "platform/kiv/base/find.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "platform/kiv/base/text.h"

namespace Kiv {

bool File::Find::Match(std::string_view pattern, std::string_view name) {
    if (pattern == "*.*" || pattern == "*") return true;
    // Iterative glob with one backtrack point: linear in practice, never exponential.
    size_t p = 0, n = 0, starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (p < pattern.size() &&
                   (pattern[p] == '?' || AsciiLower(pattern[p]) == AsciiLower(name[n]))) {
            ++p;
            ++n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool File::Find::Open(std::string_view pattern) {
    Close();
    std::string p(pattern);
    std::replace(p.begin(), p.end(), '\\', '/');
    size_t slash = p.rfind('/');
    std::string namePattern = slash == std::string::npos ? p : p.substr(slash + 1);
    folder_ = slash == std::string::npos ? std::string() : p.substr(0, slash);
    if (slash == 0) folder_ = "/";
    std::string dirPath = File::ResolveCase(folder_.empty() ? "." : folder_);
    if (!folder_.empty()) folder_ = dirPath;
    if (namePattern.empty()) namePattern = "*";

    DIR* dir = ::opendir(dirPath.c_str());
    if (dir == nullptr) return false;
    while (dirent* e = ::readdir(dir)) {
        std::string_view name(e->d_name);
        if (!Match(namePattern, name)) continue;
        Entry entry;
        entry.name = e->d_name;
        std::string full = dirPath == "/" ? "/" + entry.name : dirPath + "/" + entry.name;
        struct stat st;
        if (::lstat(full.c_str(), &st) == 0) {
            entry.symlink = S_ISLNK(st.st_mode);
            if (entry.symlink) {
                struct stat target;
                if (::stat(full.c_str(), &target) == 0) st = target;
            }
            if (S_ISDIR(st.st_mode)) entry.attributes |= kAttrDirectory;
            if (!(st.st_mode & S_IWUSR)) entry.attributes |= kAttrReadOnly;
            if (entry.attributes == 0) entry.attributes = kAttrNormal;
            entry.size = static_cast<uint64_t>(st.st_size);
        }
        entries_.push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(entries_.begin(), entries_.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    index_ = 0;
    return !entries_.empty();
}

bool File::Find::Next() {
    if (index_ < entries_.size()) ++index_;
    return index_ < entries_.size();
}

std::string File::Find::GetNameAndPath() const {
    if (folder_.empty()) return GetName();
    if (folder_ == "/") return "/" + GetName();
    return folder_ + "/" + GetName();
}

}  // namespace Kiv
