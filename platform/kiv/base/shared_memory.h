// The engine's named shared memory: a block of a fixed size that processes share by name.
// Create makes or opens it; Attach gives its bytes until Detach.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/system/shared_memory.h"

namespace Kiv {

class SharedMemory {
public:
    SharedMemory(std::string_view name, size_t size) : name_(name), size_(size) {}
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;

    // Makes the block when no process has it yet (its bytes then read as zeros) or opens the
    // existing one. False on failure.
    bool Create() { return block_.Open(name_, size_); }
    // The block's bytes, null when it is not created.
    void* Attach() { return block_.Data(); }
    void Detach() { block_.Close(); }

    const std::string& GetName() const { return name_; }
    // Why Create failed, for the user.
    const std::string& GetError() const { return block_.GetError(); }
    size_t GetSize() const { return size_; }

private:
    std::string name_;
    size_t size_;
    Sys::SharedMemory block_;
};

}  // namespace Kiv
