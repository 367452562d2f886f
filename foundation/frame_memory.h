// Utils::FrameMemory: a bump allocator over a chain of fixed-size frames that is freed as a
// whole. The script compiler keeps names and message lines in one; nothing is given back on
// its own, so an allocation is a bounds check and an add. One instance belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Utils {

class FrameMemory {
public:
    static constexpr uint32_t kDefaultFrameSize = 2048;

    // Sets up the first frame; when it cannot be had every Alloc answers null.
    explicit FrameMemory(uint32_t frameSize = kDefaultFrameSize);
    virtual ~FrameMemory();
    FrameMemory(const FrameMemory&) = delete;
    FrameMemory& operator=(const FrameMemory&) = delete;

    // `size` bytes at an address that is a multiple of `alignment` (a power of two). The frame
    // gives up size + alignment - 1 bytes whatever the address turns out to be. Null when that
    // span is larger than a frame, when the alignment is not a power of two, when a new frame
    // cannot be had, and after FreeAll.
    void* Alloc(uint32_t size, uint32_t alignment);
    // A copy of a NUL-terminated text (equal texts are not merged); null for a null text or
    // when Alloc cannot serve it.
    char* StrDup(const char* text);

    // Forgets everything handed out but keeps the frames, which later allocations fill again
    // in chain order.
    void Rewind();
    // Frees every frame and clears the counters and the frame size: Alloc answers null from
    // then on.
    void FreeAll();

    uint32_t GetFrameSize() const { return frameSize_; }
    // The sum of the spans given up (size + alignment - 1 each) and their number.
    uint64_t GetBytesHandedOut() const { return bytesHandedOut_; }
    uint32_t GetAllocationCount() const { return allocations_; }
    uint32_t GetFrameCount() const;

private:
    struct Frame {
        uint8_t* data;
        uint32_t used;
        Frame* next;
    };

    Frame* NewFrame() const;

    Frame* first_ = nullptr;
    Frame* current_ = nullptr;
    uint64_t bytesHandedOut_ = 0;
    uint32_t allocations_ = 0;
    uint32_t frameSize_ = 0;
};

}  // namespace Utils
