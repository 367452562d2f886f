#include "platform/kiv/base/file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/kiv/base/text.h"

namespace Kiv {
namespace {

std::string Slashes(std::string_view path) {
    std::string p(path);
    std::replace(p.begin(), p.end(), '\\', '/');
    return p;
}

bool LExists(const std::string& p) {
    struct stat st;
    return ::lstat(p.c_str(), &st) == 0;
}

std::string Lowered(std::string_view name) {
    std::string lower(name);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

// The names of one listed folder, by their lower-cased form; each with every spelling met, in
// byte order (the first is the one a lookup finds).
using FolderNames = std::unordered_map<std::string, std::vector<std::string>>;

// The folder listings kept by the FolderListingScopes of this thread.
struct ListingCache {
    int depth = 0;
    std::map<std::string, FolderNames> folders;
};
thread_local ListingCache tListings;

bool ListFolder(const std::string& folder, FolderNames& names) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return false;
    while (dirent* e = ::readdir(dir))
        names[Lowered(e->d_name)].emplace_back(e->d_name);
    ::closedir(dir);
    for (auto& [lower, spellings] : names)
        std::sort(spellings.begin(), spellings.end());
    return true;
}

// The folder of a path and its last component, as ResolveCase splits them.
std::string FolderPart(const std::string& path, std::string_view& name) {
    size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) {
        name = path;
        return std::string();
    }
    name = std::string_view(path).substr(slash + 1);
    std::string folder = path.substr(0, slash);
    if (folder.empty()) folder = "/";
    return folder;
}

// A name this thread made or removed in a folder a scope keeps.
void NoteName(const std::string& path, bool present) {
    if (tListings.depth == 0) return;
    std::string_view name;
    std::string folder = FolderPart(path, name);
    auto it = tListings.folders.find(folder);
    if (it == tListings.folders.end() || name.empty()) return;
    std::vector<std::string>& spellings = it->second[Lowered(name)];
    auto at = std::lower_bound(spellings.begin(), spellings.end(), name);
    bool there = at != spellings.end() && *at == name;
    if (present && !there) spellings.insert(at, std::string(name));
    if (!present && there) spellings.erase(at);
}

// The entry of `folder` whose name equals `name` ignoring case, first in byte order.
bool FindIgnoringCase(const std::string& folder, std::string_view name, std::string& found) {
    if (tListings.depth > 0) {
        auto it = tListings.folders.find(folder);
        if (it == tListings.folders.end()) {
            FolderNames names;
            if (!ListFolder(folder, names)) return false;
            it = tListings.folders.emplace(folder, std::move(names)).first;
        }
        auto match = it->second.find(Lowered(name));
        if (match == it->second.end() || match->second.empty()) return false;
        found = match->second.front();
        return true;
    }
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) return false;
    std::vector<std::string> matches;
    while (dirent* e = ::readdir(dir)) {
        if (EqualsIgnoreCase(e->d_name, name)) matches.emplace_back(e->d_name);
    }
    ::closedir(dir);
    if (matches.empty()) return false;
    found = *std::min_element(matches.begin(), matches.end());
    return true;
}

}  // namespace

File::FolderListingScope::FolderListingScope() {
    ++tListings.depth;
}

File::FolderListingScope::~FolderListingScope() {
    if (--tListings.depth == 0) tListings.folders.clear();
}

std::string File::ResolveCase(std::string_view path) {
    std::string p = Slashes(path);
    if (p.empty() || LExists(p)) return p;

    std::string out;
    size_t i = 0;
    if (p[0] == '/') {
        while (i < p.size() && p[i] == '/')
            out += p[i++];
    }
    while (i < p.size()) {
        size_t j = p.find('/', i);
        if (j == std::string::npos) j = p.size();
        std::string_view comp(p.data() + i, j - i);
        std::string candidate = out + std::string(comp);
        if (comp.empty() || comp == "." || comp == ".." || LExists(candidate)) {
            out = candidate;
        } else {
            std::string folder = out;
            while (folder.size() > 1 && folder.back() == '/')
                folder.pop_back();
            std::string found;
            if (!FindIgnoringCase(folder, comp, found)) {
                // Nothing to map: the rest stays as written.
                return out + p.substr(i);
            }
            out += found;
        }
        if (j < p.size()) out += '/';
        i = j + 1;
    }
    return out;
}

bool File::Open(std::string_view path, uint32_t mode, uint32_t flags) {
    Close();
    std::string p = ResolveCase(path);
    int oflags = O_CLOEXEC;
    if (mode & 0x100) {
        oflags |= O_RDWR | O_CREAT | O_TRUNC;
    } else {
        oflags |= O_RDONLY;
    }
    int fd;
    do {
        fd = ::open(p.c_str(), oflags, 0644);
    } while (fd == -1 && errno == EINTR);
    if (fd == -1) return false;
    if (oflags & O_CREAT) NoteName(p, true);
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    path_ = std::move(p);
    mode_ = mode;
    flags_ = flags;
    return true;
}

bool File::Open(const PString& folder, std::string_view name, uint32_t mode, uint32_t flags) {
    std::string p(folder.view());
    if (!p.empty() && p.back() != '/' && p.back() != '\\') p += '/';
    p += name;
    return Open(p, mode, flags);
}

void File::Close() {
    if (fd_ != -1) {
        ::close(fd_);
        fd_ = -1;
    }
}

uint32_t File::Read(void* dest, uint32_t n) {
    if (fd_ == -1) return 0;
    uint32_t done = 0;
    auto* out = static_cast<char*>(dest);
    while (done < n) {
        ssize_t got = ::read(fd_, out + done, n - done);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<uint32_t>(got);
    }
    return done;
}

uint32_t File::Write(const void* src, uint32_t n) {
    if (fd_ == -1) return 0;
    uint32_t done = 0;
    const auto* in = static_cast<const char*>(src);
    while (done < n) {
        ssize_t put = ::write(fd_, in + done, n - done);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<uint32_t>(put);
    }
    return done;
}

bool File::Seek(int64_t offset, int origin) {
    if (fd_ == -1) return false;
    int whence = origin == kFromCurrent ? SEEK_CUR : (origin == kFromEnd ? SEEK_END : SEEK_SET);
    return ::lseek(fd_, offset, whence) != static_cast<off_t>(-1);
}

uint64_t File::Tell() const {
    if (fd_ == -1) return 0;
    off_t pos = ::lseek(fd_, 0, SEEK_CUR);
    return pos < 0 ? 0 : static_cast<uint64_t>(pos);
}

uint64_t File::GetSize() const {
    struct stat st;
    if (fd_ == -1 || ::fstat(fd_, &st) != 0) return 0;
    return static_cast<uint64_t>(st.st_size);
}

bool File::Eof() const {
    return fd_ == -1 || Tell() >= GetSize();
}

bool File::ReadLine(std::string& line, size_t maxLength, bool* truncated) {
    line.clear();
    if (truncated) *truncated = false;
    if (fd_ == -1) return false;
    char chunk[512];
    bool any = false;
    for (;;) {
        uint32_t got = Read(chunk, sizeof chunk);
        if (got == 0) break;
        any = true;
        const char* nl = static_cast<const char*>(std::memchr(chunk, '\n', got));
        size_t take = nl ? static_cast<size_t>(nl - chunk) : got;
        size_t room = maxLength - std::min(maxLength, line.size());
        if (take > room) {
            // Cut here; the rest of the line is read by the next call.
            line.append(chunk, room);
            Seek(-static_cast<int64_t>(got - room), kFromCurrent);
            if (truncated) *truncated = true;
            return true;
        }
        line.append(chunk, take);
        if (nl != nullptr) {
            Seek(-static_cast<int64_t>(got - take - 1), kFromCurrent);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return true;
        }
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

bool File::WriteLine(std::string_view text) {
    std::string out(text);
    out += "\r\n";
    return Write(out.data(), static_cast<uint32_t>(out.size())) == out.size();
}

int File::Exists(std::string_view path) {
    if (path.empty()) return -1;
    std::string p = ResolveCase(path);
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? 0 : -1;
}

bool File::IsDirectory(std::string_view path) {
    std::string p = ResolveCase(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool File::IsRegularFile(std::string_view path) {
    std::string p = ResolveCase(path);
    struct stat st;
    return !p.empty() && ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool File::Md(std::string_view path) {
    std::string p = ResolveCase(path);
    if (p.empty()) return false;
    for (size_t i = 1; i <= p.size(); ++i) {
        if (i == p.size() || p[i] == '/') {
            std::string part = p.substr(0, i);
            if (::mkdir(part.c_str(), 0755) == 0)
                NoteName(part, true);
            else if (errno != EEXIST)
                return false;
        }
    }
    return IsDirectory(p);
}

bool File::Delete(std::string_view path) {
    std::string p = ResolveCase(path);
    if (p.empty() || ::unlink(p.c_str()) != 0) return false;
    NoteName(p, false);
    return true;
}

bool File::Rmd(std::string_view path) {
    std::string p = ResolveCase(path);
    if (p.empty() || ::rmdir(p.c_str()) != 0) return false;
    NoteName(p, false);
    return true;
}

bool File::Rename(std::string_view from, std::string_view to) {
    std::string a = ResolveCase(from);
    std::string b = ResolveCase(to);
    if (a.empty() || b.empty() || ::rename(a.c_str(), b.c_str()) != 0) return false;
    NoteName(a, false);
    NoteName(b, true);
    return true;
}

bool File::Load(std::string_view path, std::string& contents) {
    File f;
    contents.clear();
    if (!f.Open(path, kModeRead)) return false;
    uint64_t size = f.GetSize();
    if (size > UINT32_MAX) return false;
    contents.resize(static_cast<size_t>(size));
    uint32_t got = f.Read(contents.data(), static_cast<uint32_t>(size));
    contents.resize(got);
    return got == size;
}

}  // namespace Kiv
