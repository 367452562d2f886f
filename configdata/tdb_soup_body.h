// TDBSoupBody: the loaded bytes of a binary soup, in one 16-byte aligned block shared by
// counted references. Values taken from a soup hold the block itself, not the file object with
// its overlay of edits: a value copied into a tree that is then added back to the same file
// therefore keeps only bytes alive, and no file keeps itself alive through its own edits.
#pragma once

#include <cstdint>

#include "configdata/reference_count.h"

class TDBSoupBody : public ReferenceCountMP {
public:
    // Memory addresses in the block align as their offsets do (aligned raw data relies on it).
    static constexpr uint32_t kAlignment = 16;

    // A block of `size` bytes (at least 1), or none when the memory cannot be had.
    static CountedRef<TDBSoupBody> Allocate(uint32_t size);
    ~TDBSoupBody() override;

    uint8_t* GetBytes() { return bytes_; }
    const uint8_t* GetBytes() const { return bytes_; }
    uint32_t GetSize() const { return size_; }

private:
    TDBSoupBody(uint8_t* bytes, uint32_t size) : bytes_(bytes), size_(size) {}

    uint8_t* bytes_;
    uint32_t size_;
};
