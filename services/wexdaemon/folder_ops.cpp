#include "services/wexdaemon/folder_ops.h"

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>

#include "services/wexdaemon/crash_point.h"

namespace wexd {

namespace {

std::atomic<bool> gExchangeUnsupported{false};

std::string Join(const std::string& folder, const std::string& name) {
    return folder + "/" + name;
}

std::string Reason(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

bool CopyFile(const std::string& from, const std::string& to, mode_t mode, std::string& error) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (in == -1) {
        error = Reason("cannot read", from);
        return false;
    }
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode & 0777);
    if (out == -1) {
        error = Reason("cannot create", to);
        ::close(in);
        return false;
    }
    bool ok = true;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = Reason("cannot read", from);
            ok = false;
            break;
        }
        if (n == 0) break;
        for (ssize_t done = 0; done < n;) {
            ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) {
                error = Reason("cannot write", to);
                ok = false;
                break;
            }
            done += w;
        }
        if (!ok) break;
    }
    ::close(in);
    if (::close(out) != 0 && ok) {
        error = Reason("cannot write", to);
        ok = false;
    }
    return ok;
}

bool CopyLevel(const std::string& from, const std::string& to, int depth,
               std::vector<std::string>& skipped, std::string& error) {
    if (depth > kMaxTreeDepth) {
        error = "folders nested too deeply under " + from;
        return false;
    }
    if (::mkdir(to.c_str(), 0755) != 0) {
        error = Reason("cannot make", to);
        return false;
    }
    for (const std::string& name : ListFolder(from)) {
        std::string source = Join(from, name);
        std::string target = Join(to, name);
        struct stat st {};
        if (::lstat(source.c_str(), &st) != 0) {
            error = Reason("cannot read", source);
            return false;
        }
        if (S_ISDIR(st.st_mode)) {
            if (!CopyLevel(source, target, depth + 1, skipped, error)) return false;
        } else if (S_ISREG(st.st_mode)) {
            if (!CopyFile(source, target, st.st_mode, error)) return false;
            CrashPoint("copy.file");
        } else {
            skipped.push_back(source);
        }
    }
    return true;
}

bool RemoveLevel(const std::string& path, int depth) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0 || errno == ENOENT;
    if (depth > kMaxTreeDepth) return false;
    bool ok = true;
    for (const std::string& name : ListFolder(path))
        ok = RemoveLevel(Join(path, name), depth + 1) && ok;
    return (::rmdir(path.c_str()) == 0 || errno == ENOENT) && ok;
}

bool SameFile(const std::string& a, const std::string& b) {
    int fa = ::open(a.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    int fb = ::open(b.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    bool same = fa != -1 && fb != -1;
    char ba[16384];
    char bb[sizeof ba];
    while (same) {
        ssize_t na = ::read(fa, ba, sizeof ba);
        if (na < 0 && errno == EINTR) continue;
        if (na < 0) {
            same = false;
            break;
        }
        // Read exactly as much of the other, so a short read on one side is no difference.
        ssize_t nb = 0;
        while (nb < na) {
            ssize_t n = ::read(fb, bb + nb, static_cast<size_t>(na - nb));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            nb += n;
        }
        if (nb != na || std::memcmp(ba, bb, static_cast<size_t>(na)) != 0) {
            same = false;
            break;
        }
        if (na == 0) {
            // Both ended together only when the other has nothing more either.
            char extra;
            ssize_t n;
            do {
                n = ::read(fb, &extra, 1);
            } while (n < 0 && errno == EINTR);
            same = n == 0;
            break;
        }
    }
    if (fa != -1) ::close(fa);
    if (fb != -1) ::close(fb);
    return same;
}

bool SameLevel(const std::string& a, const std::string& b, int depth) {
    if (depth > kMaxTreeDepth) return false;
    std::vector<std::string> names = ListFolder(a);
    if (names != ListFolder(b)) return false;
    for (const std::string& name : names) {
        std::string pa = Join(a, name);
        std::string pb = Join(b, name);
        struct stat sa {};
        struct stat sb {};
        if (::lstat(pa.c_str(), &sa) != 0 || ::lstat(pb.c_str(), &sb) != 0) return false;
        if ((sa.st_mode & S_IFMT) != (sb.st_mode & S_IFMT)) return false;
        if (S_ISDIR(sa.st_mode)) {
            if (!SameLevel(pa, pb, depth + 1)) return false;
        } else if (S_ISREG(sa.st_mode)) {
            if (sa.st_size != sb.st_size || !SameFile(pa, pb)) return false;
        } else {
            // Links and other entries are never copied into a store folder; one standing in
            // either tree is a difference.
            return false;
        }
    }
    return true;
}

}  // namespace

bool SameTree(const std::string& a, const std::string& b) {
    return IsFolder(a) && IsFolder(b) && SameLevel(a, b, 0);
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0;
}

bool ExchangePaths(const std::string& a, const std::string& b) {
    if (gExchangeUnsupported.load(std::memory_order_relaxed)) {
        errno = EINVAL;
        return false;
    }
    return ::renameat2(AT_FDCWD, a.c_str(), AT_FDCWD, b.c_str(), RENAME_EXCHANGE) == 0;
}

void SetExchangeUnsupported(bool unsupported) {
    gExchangeUnsupported.store(unsupported, std::memory_order_relaxed);
}

bool CopyTree(const std::string& from, const std::string& to, std::vector<std::string>& skipped,
              std::string& error) {
    if (!IsFolder(from)) {
        error = "no folder " + from;
        return false;
    }
    return CopyLevel(from, to, 0, skipped, error);
}

bool RemoveTree(const std::string& path) {
    return RemoveLevel(path, 0);
}

namespace {

uint64_t TreeBytes(const std::string& folder, int depth) {
    if (depth > kMaxTreeDepth) return 0;
    uint64_t total = 0;
    for (const std::string& name : ListFolder(folder)) {
        std::string path = folder + "/" + name;
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode))
            total += TreeBytes(path, depth + 1);
        else if (S_ISREG(st.st_mode))
            total += static_cast<uint64_t>(st.st_size);
    }
    return total;
}

}  // namespace

uint32_t FolderFileBytes(const std::string& folder) {
    return static_cast<uint32_t>(std::min<uint64_t>(TreeBytes(folder, 0), 0xFFFFFFFEu));
}

std::vector<std::string> ListFolder(const std::string& folder) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = ::readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool GetEntryId(const std::string& path, EntryId& out) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return false;
    out.device = st.st_dev;
    out.inode = st.st_ino;
    return true;
}

bool MakePrivateFile(const std::string& path, bool* empty) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd == -1) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok && (st.st_mode & 0077) != 0) ok = ::fchmod(fd, st.st_mode & 0700) == 0;
    if (empty != nullptr) *empty = st.st_size == 0;
    ::close(fd);
    return ok;
}

bool MakePrivate(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return false;
    return (st.st_mode & 0077) == 0 || ::chmod(path.c_str(), st.st_mode & 0700) == 0;
}

bool WriteFileAtomically(const std::string& path, const std::string& bytes) {
    std::string twin = path + ".partial";
    int fd = ::open(twin.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd == -1) return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        ssize_t w = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0)
            ok = false;
        else
            done += static_cast<size_t>(w);
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok && ::rename(twin.c_str(), path.c_str()) == 0) return true;
    ::unlink(twin.c_str());
    return false;
}

bool ReadSmallFile(const std::string& path, std::string& bytes, size_t limit) {
    bytes.clear();
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd == -1) return false;
    char buffer[4096];
    bool ok = true;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (bytes.size() + static_cast<size_t>(n) > limit) {
            ok = false;
            break;
        }
        bytes.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
}

}  // namespace wexd
