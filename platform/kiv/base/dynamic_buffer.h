// The engine's growable byte buffer: the device behind the memory stream TBuffer.
//
// It holds an allocation, a data length (bytes written so far) and a position. Reads stop at
// the data length and return the count delivered; seeks are clamped to the allocated length;
// a write past the data end zero-fills the gap first. Allocation failure is reported by the
// write's result rather than thrown, so the stream can record it as its own error.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Kiv {

class DynamicBuffer {
public:
    static constexpr uint32_t kDefaultGrowStep = 4096;

    explicit DynamicBuffer(uint32_t growStep = kDefaultGrowStep);
    ~DynamicBuffer();
    DynamicBuffer(const DynamicBuffer&) = delete;
    DynamicBuffer& operator=(const DynamicBuffer&) = delete;

    // Copies up to n bytes from the position, never past the data length; advances the
    // position by the count delivered.
    uint32_t Read(void* dest, uint32_t n);
    // Writes n bytes at the position and advances it. False when the memory cannot be had, in
    // which case nothing changes.
    bool Write(const void* src, uint32_t n);
    // Enlarges the allocation by `extra` bytes. False when the memory cannot be had.
    bool Grow(uint32_t extra);
    // Empties the data; the allocation is kept for reuse.
    void Empty();
    // Moves to pos, clamped to the allocated length; returns the new position.
    uint32_t Seek(uint64_t pos);

    uint32_t GetPosition() const { return pos_; }
    uint32_t GetAllocated() const { return allocated_; }
    uint32_t GetLength() const { return length_; }
    uint8_t* GetData() { return data_; }
    const uint8_t* GetData() const { return data_; }

    // An allocation ceiling standing in for exhausted memory, so that failure paths are tested.
    void SetAllocationLimit(uint64_t bytes) { limit_ = bytes; }

private:
    bool Reserve(uint64_t bytes);

    uint8_t* data_ = nullptr;
    uint32_t allocated_ = 0;
    uint32_t length_ = 0;
    uint32_t pos_ = 0;
    uint32_t growStep_;
    uint64_t limit_ = UINT32_MAX;
};

}  // namespace Kiv
