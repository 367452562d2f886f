#include "services/wexdaemon/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace wexd {

InstanceLock::Result InstanceLock::TryAcquire(const std::string& path, std::string& error) {
    Release();
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd == -1) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return Result::kFailed;
    }
    int r;
    do {
        r = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (r != 0 && errno == EINTR);
    if (r != 0) {
        int e = errno;
        ::close(fd);
        if (e == EWOULDBLOCK) return Result::kHeldElsewhere;
        error = "cannot lock " + path + ": " + std::strerror(e);
        return Result::kFailed;
    }
    fd_ = fd;
    return Result::kAcquired;
}

void InstanceLock::Release() {
    if (fd_ == -1) return;
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
    fd_ = -1;
}

}  // namespace wexd
