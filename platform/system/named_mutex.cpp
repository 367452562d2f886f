#include "platform/system/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/system/named_object.h"

namespace Sys {

namespace {

int OpenLockFile(const std::string& path) {
    int fd;
    do {
        fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    } while (fd < 0 && errno == EINTR);
    return fd;
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
    std::string base = NamedObjectFolder() + "/" + NamedObjectKey(name);
    int mutexFd = OpenLockFile(base + ".mutex");
    int usersFd = mutexFd < 0 ? -1 : OpenLockFile(base + ".users");
    if (usersFd < 0) {
        if (mutexFd >= 0) ::close(mutexFd);
        return OpenResult::kFailed;
    }
    mutexFd_ = mutexFd;
    usersFd_ = usersFd;
    if (!Lock()) {
        Close();
        return OpenResult::kFailed;
    }
    // Under the mutex nobody else joins or leaves the users file's exclusive probe, so an
    // exclusive lock that succeeds means no running process holds its shared one.
    bool created = FileLock(usersFd_, LOCK_EX | LOCK_NB);
    if (!FileLock(usersFd_, LOCK_SH)) {
        Unlock();
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
        if (depth_ > 0 && mutexFd_ != -1) FileLock(mutexFd_, LOCK_UN);
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
