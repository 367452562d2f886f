// A block of memory that processes share by name: a POSIX shared-memory object under the key
// of the name (named_object.h), mapped read-write.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace Sys {

class SharedMemory {
public:
    SharedMemory() = default;
    ~SharedMemory() { Close(); }
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Maps size bytes of the object of that name, making the object (0600) when it is missing or
    // shorter (new bytes read as zeros). False on failure (size 0 included), and for an object
    // that another user owns or may use: GetError says why.
    bool Open(std::string_view name, size_t size);
    void* Data() const { return data_; }
    size_t Size() const { return size_; }
    bool IsOpen() const { return data_ != nullptr; }
    // Unmaps the block; the object stays for the other processes.
    void Close();

    // Removes the object of that name; processes that have it mapped keep their mapping.
    static bool Remove(std::string_view name);
    // Why the last Open failed, for the user; empty when it did not.
    const std::string& GetError() const { return error_; }

private:
    void* data_ = nullptr;
    size_t size_ = 0;
    std::string error_;
};

}  // namespace Sys
