#include "platform/system/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/system/named_object.h"

namespace Sys {

namespace {

// The lock file, made for this user alone; a link in its place is not followed, and a file
// another user made or may use is refused (`error` says why).
int OpenLockFile(const std::string& path, std::string& error) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = path + " cannot be opened: " + std::strerror(errno);
        return -1;
    }
    if (!IsOwnPrivateFile(fd, path, error)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// True when the open file is the one the path names now.
bool IsFileAtPath(int fd, const std::string& path) {
    struct stat open;
    struct stat named;
    return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
           open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

bool FileLock(int fd, int operation) {
    int r;
    do {
        r = ::flock(fd, operation);
    } while (r != 0 && errno == EINTR);
    return r == 0;
}

}  // namespace

NamedMutex::OpenResult NamedMutex::Create(std::string_view name, bool initiallyOwned) {
    Close();
    error_.clear();
    std::string base = NamedObjectFolder() + "/" + NamedObjectKey(name);
    mutexPath_ = base + ".mutex";
    usersPath_ = base + ".users";
    // The last user removes the files (Close). A process that opened the mutex file just
    // before may then hold a lock on a file no longer in the folder: it looks again until the
    // file it locked is the one the name leads to.
    for (;;) {
        mutexFd_ = OpenLockFile(mutexPath_, error_);
        if (mutexFd_ < 0 || !Lock()) {
            Close();
            return OpenResult::kFailed;
        }
        if (IsFileAtPath(mutexFd_, mutexPath_)) break;
        Unlock();
        ::close(mutexFd_);
        mutexFd_ = -1;
    }
    // Under the mutex nobody else joins, leaves or removes the users file, so an exclusive
    // lock on it that succeeds means no running process holds its shared one.
    usersFd_ = OpenLockFile(usersPath_, error_);
    bool created = usersFd_ >= 0 && FileLock(usersFd_, LOCK_EX | LOCK_NB);
    if (usersFd_ < 0 || !FileLock(usersFd_, LOCK_SH)) {
        Close();
        return OpenResult::kFailed;
    }
    if (!(created && initiallyOwned)) Unlock();
    return created ? OpenResult::kCreated : OpenResult::kExisted;
}

bool NamedMutex::Lock() {
    if (mutexFd_ == -1) return false;
    local_.lock();
    if (depth_ == 0 && !FileLock(mutexFd_, LOCK_EX)) {
        local_.unlock();
        return false;
    }
    ++depth_;
    return true;
}

void NamedMutex::Unlock() {
    // Only the owning thread can get past the try_lock with a hold of its own to release.
    if (!local_.try_lock()) return;
    if (depth_ > 0) {
        if (--depth_ == 0) FileLock(mutexFd_, LOCK_UN);
        local_.unlock();  // the hold being released
    }
    local_.unlock();  // the try_lock
}

bool NamedMutex::IsOnlyUser() {
    if (usersFd_ == -1) return false;
    bool only = FileLock(usersFd_, LOCK_EX | LOCK_NB);
    // Converting a file lock drops the old one first, also when the new one is refused:
    // take the shared lock back either way.
    FileLock(usersFd_, LOCK_SH);
    return only;
}

void NamedMutex::Close() {
    {
        std::lock_guard<std::recursive_mutex> hold(local_);
        if (mutexFd_ != -1 && usersFd_ != -1) {
            // The last user takes the files with it, holding the mutex while it does.
            if (depth_ > 0 || FileLock(mutexFd_, LOCK_EX)) {
                if (IsOnlyUser()) {
                    ::unlink(usersPath_.c_str());
                    ::unlink(mutexPath_.c_str());
                }
                FileLock(mutexFd_, LOCK_UN);
            }
        } else if (depth_ > 0 && mutexFd_ != -1) {
            FileLock(mutexFd_, LOCK_UN);
        }
        // Holds taken by this thread are dropped with the file lock.
        while (depth_ > 0) {
            --depth_;
            local_.unlock();
        }
    }
    if (mutexFd_ != -1) ::close(mutexFd_);
    if (usersFd_ != -1) ::close(usersFd_);
    mutexFd_ = -1;
    usersFd_ = -1;
}

}  // namespace Sys
