// ByteBuffer: a growable, 4-aligned byte buffer with a write/read cursor, in which the script
// compiler builds function code and library images. Failures are sticky flags rather than
// results: once an allocation has failed every later append is skipped, so a whole image can
// be built and judged once at the end. Values are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

class ByteBuffer {
public:
    static constexpr uint32_t kAllocFailed = 1;  // every later append is skipped
    static constexpr uint32_t kOutOfRange = 2;   // a read or cursor move past the size was refused

    ByteBuffer() = default;
    // Init(capacity): the grow step is the initial capacity.
    explicit ByteBuffer(uint32_t capacity) { Init(capacity); }
    ~ByteBuffer() { Free(); }
    ByteBuffer(const ByteBuffer&) = delete;
    ByteBuffer& operator=(const ByteBuffer&) = delete;

    // Frees any old block, clears flags, cursor and size, and allocates `capacity` bytes; the
    // grow step becomes `capacity` too. False (flag kAllocFailed) when the block cannot be had.
    bool Init(uint32_t capacity);
    // Starts again empty with a block of the grow step.
    void Reset();
    // Frees the block and zeroes every field; appends then fail until Init.
    void Free();

    // Makes room for n bytes (when n reaches the capacity, a new one of n + the grow step or
    // twice the old, whichever is larger; contents kept) and raises the size to n when it is below;
    // bytes between the old size and n read as zero. On failure, or once kAllocFailed is set, sets
    // kAllocFailed and changes nothing else.
    bool EnsureSize(uint32_t n);

    // Writes at the cursor and moves it on, raising the size as needed; writing below the
    // size overwrites. Nothing happens once kAllocFailed is set. True when written.
    bool AppendU8(uint8_t v);
    bool AppendU16(uint16_t v);
    bool AppendU32(uint32_t v);
    bool AppendBytes(const void* bytes, uint32_t length);

    // Reads at the cursor and moves it on. Past the size: sets kOutOfRange and leaves both
    // `out` and the cursor.
    bool ReadU8(uint8_t& out);
    bool ReadU16(uint16_t& out);
    bool ReadU32(uint32_t& out);
    bool ReadBytes(void* out, uint32_t length);

    // Moves the cursor (to patch earlier bytes, or to read); beyond the size sets kOutOfRange
    // and leaves it.
    bool SetCursor(uint32_t position);

    uint32_t GetFlags() const { return flags_; }
    bool HasFailed() const { return (flags_ & kAllocFailed) != 0; }
    uint32_t GetGrowStep() const { return growStep_; }
    uint32_t GetCursor() const { return cursor_; }
    uint32_t GetSize() const { return size_; }
    uint32_t GetCapacity() const { return capacity_; }
    const uint8_t* GetData() const { return data_; }
    uint8_t* GetData() { return data_; }

private:
    bool Append(const void* bytes, uint32_t length);
    bool Read(void* out, uint32_t length);
    // A block of `capacity` bytes with 4-aligned data; false when it cannot be had.
    bool AllocBlock(uint32_t capacity, void*& raw, uint8_t*& data);

    uint32_t flags_ = 0;
    uint32_t growStep_ = 0;
    uint32_t cursor_ = 0;
    uint32_t size_ = 0;
    uint32_t capacity_ = 0;
    uint8_t* data_ = nullptr;
    void* raw_ = nullptr;
};
