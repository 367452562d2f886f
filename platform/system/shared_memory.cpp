#include "platform/system/shared_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/system/named_object.h"

namespace Sys {

namespace {

std::string ObjectName(std::string_view name) {
    return "/" + NamedObjectKey(name);
}

}  // namespace

bool SharedMemory::Open(std::string_view name, size_t size) {
    Close();
    if (size == 0) return false;
    error_.clear();
    const std::string object = ObjectName(name);
    int fd;
    do {
        fd = ::shm_open(object.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error_ = "the shared memory " + object + " cannot be opened: " + std::strerror(errno);
        return false;
    }
    // Another user could have made the block first, to feed this user's processes its words.
    if (!IsOwnPrivateFile(fd, "the shared memory " + object, error_)) {
        ::close(fd);
        return false;
    }
    struct stat st;
    bool sized = ::fstat(fd, &st) == 0 && (static_cast<size_t>(st.st_size) >= size ||
                                           ::ftruncate(fd, static_cast<off_t>(size)) == 0);
    void* data =
        sized ? ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
    ::close(fd);
    if (data == MAP_FAILED) return false;
    data_ = data;
    size_ = size;
    return true;
}

void SharedMemory::Close() {
    if (data_ != nullptr) ::munmap(data_, size_);
    data_ = nullptr;
    size_ = 0;
}

bool SharedMemory::Remove(std::string_view name) {
    return ::shm_unlink(ObjectName(name).c_str()) == 0;
}

}  // namespace Sys
