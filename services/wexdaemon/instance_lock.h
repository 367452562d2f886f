// The lock that makes one daemon the owner of a database: an exclusive flock on
// "assets.wbi.lock" beside the index, held for the daemon's life. Clients may start the daemon
// many times over while one is coming up; every copy that finds the lock taken leaves quietly.
// The lock goes with the process, so a daemon that dies frees it at once.
#pragma once

#include <string>

namespace wexd {

class InstanceLock {
public:
    enum class Result { kAcquired, kHeldElsewhere, kFailed };

    InstanceLock() = default;
    ~InstanceLock() { Release(); }
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Opens (making it when missing) and locks the file without waiting.
    Result TryAcquire(const std::string& path, std::string& error);
    void Release();
    bool IsHeld() const { return fd_ != -1; }

private:
    int fd_ = -1;
};

}  // namespace wexd
