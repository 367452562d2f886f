// A mutex that processes share by name, over two lock files in the named-object folder.
//
// The first file's exclusive lock is the mutex between processes; a mutex inside the object
// keeps the threads of this process out of each other's way, since threads that share a
// descriptor never exclude each other by file locks. Every process that has the mutex open
// holds a shared lock on the second file, so the name "exists" exactly while some running
// process uses it: whatever a process left behind when it died counts as new for the next one,
// and the last user to close removes the files. Both files are opened close-on-exec, so a
// launched program holds nothing of them. They are made 0600 for this user, never through a
// symbolic link, and a file of the name that another user owns or may use is refused: another
// user could otherwise hold the mutex, or stand in for the processes it guards.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

namespace Sys {

class NamedMutex {
public:
    enum class OpenResult { kFailed, kCreated, kExisted };

    NamedMutex() = default;
    ~NamedMutex() { Close(); }
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;

    // Opens the mutex of that name and joins its users. kCreated when no other running process
    // used the name; the caller then owns the mutex when it asked to (initiallyOwned), as the
    // first user has to set up what the mutex guards before anyone else looks. A process that
    // finds the name in use never owns it on return.
    OpenResult Create(std::string_view name, bool initiallyOwned);
    bool IsOpen() const { return mutexFd_ != -1; }

    // Waits without a limit for the mutex; re-entrant for the owning thread. False when the
    // mutex is not open or the lock failed.
    bool Lock();
    void Unlock();
    // For std::lock_guard.
    void lock() { Lock(); }
    void unlock() { Unlock(); }

    // True when no other process uses the name. Call it while holding the mutex (so that no
    // one joins meanwhile).
    bool IsOnlyUser();

    // Releases the mutex if held and leaves the users; the last user removes the lock files.
    void Close();
    // Why the last Create failed, for the user; empty when it did not.
    const std::string& GetError() const { return error_; }

private:
    std::recursive_mutex local_;
    int depth_ = 0;  // this object's holds, guarded by local_
    int mutexFd_ = -1;
    int usersFd_ = -1;
    std::string mutexPath_;
    std::string usersPath_;
    std::string error_;
};

}  // namespace Sys
