// Growable arrays of plain entries: {count, capacity, data}, with the capacity rounded up to a
// multiple of a fixed step each time it grows (the old entries copied, the old block freed).
// The instances the program uses: WordArray (4-byte entries, steps of 8), ByteVector (bytes,
// steps of 128), PtrArray (pointers, steps of 128 entries) and TextBuffer (the text
// configuration form's byte buffer, steps of 4096). Growth never fails silently: a request
// that would overflow or cannot get memory answers false and leaves the array as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "platform/kiv/base/alloc.h"

namespace detail {

// Makes `data` (with `used` entries of `entrySize` bytes) hold at least `need` entries, the
// new capacity `need` rounded up to a multiple of `step`. True when the capacity suffices.
bool GrowArray(void*& data, uint32_t& capacity, uint32_t used, uint32_t need, uint32_t step,
               size_t entrySize);

}  // namespace detail

template <typename T, uint32_t Step>
class GrowableArray {
    static_assert(std::is_trivially_copyable_v<T>, "entries are copied bytewise when it grows");
    static_assert(Step > 0);

public:
    using ValueType = T;

    GrowableArray() = default;
    ~GrowableArray() { Kiv::Alloc::Delete(data_); }
    GrowableArray(const GrowableArray&) = delete;
    GrowableArray& operator=(const GrowableArray&) = delete;

    // Room for n entries at least; the count is unchanged.
    bool Reserve(uint32_t n) {
        void* data = data_;
        bool ok = detail::GrowArray(data, capacity_, count_, n, Step, sizeof(T));
        data_ = static_cast<T*>(data);
        return ok;
    }
    // Sets the count after reserving; new entries read as zero.
    bool Resize(uint32_t n) {
        if (!Reserve(n)) return false;
        if (n > count_)
            std::memset(static_cast<void*>(data_ + count_), 0, sizeof(T) * (n - count_));
        count_ = n;
        return true;
    }
    bool PushBack(const T& value) {
        if (count_ == UINT32_MAX || !Reserve(count_ + 1)) return false;
        data_[count_++] = value;
        return true;
    }
    void Clear() { count_ = 0; }

    uint32_t Count() const { return count_; }
    uint32_t Capacity() const { return capacity_; }
    T* Data() { return data_; }
    const T* Data() const { return data_; }
    T& operator[](uint32_t i) { return data_[i]; }
    const T& operator[](uint32_t i) const { return data_[i]; }

private:
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;
    T* data_ = nullptr;
};

using WordArray = GrowableArray<uint32_t, 8>;
using ByteVector = GrowableArray<uint8_t, 128>;
using PtrArray = GrowableArray<void*, 128>;

class TextBuffer : public GrowableArray<char, 4096> {
public:
    bool AppendByte(char b) { return PushBack(b); }
};
