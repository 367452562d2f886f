// The compiler's store of names and string texts: every text is copied in NUL-ended and stays
// until the store goes, without merging equal texts. Small texts share frames of a frame
// allocator; a text too large for a frame (a string literal may be megabytes long) gets a
// block of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "foundation/frame_memory.h"

namespace GSCompiler {

class StringStore {
public:
    static constexpr uint32_t kFrameSize = 4096;

    StringStore() : frames_(kFrameSize) {}
    StringStore(const StringStore&) = delete;
    StringStore& operator=(const StringStore&) = delete;

    // A stable NUL-ended copy of the bytes (which may hold no NUL); null when memory runs out.
    char* Copy(std::string_view text);
    // Room for n bytes plus a NUL (set), to be filled by the caller.
    char* Reserve(size_t n);
    // Frees every text.
    void Clear();

private:
    Utils::FrameMemory frames_;
    std::vector<std::unique_ptr<char[]>> large_;
};

}  // namespace GSCompiler
