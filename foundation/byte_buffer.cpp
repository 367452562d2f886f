#include "foundation/byte_buffer.h"

#include <algorithm>
#include <cstring>

#include "platform/kiv/base/alloc.h"

bool ByteBuffer::AllocBlock(uint32_t capacity, void*& raw, uint8_t*& data) {
    raw = Kiv::Alloc::New(size_t{capacity} + 3);
    if (raw == nullptr) return false;
    data = reinterpret_cast<uint8_t*>((reinterpret_cast<uintptr_t>(raw) + 3) & ~uintptr_t{3});
    return true;
}

bool ByteBuffer::Init(uint32_t capacity) {
    Free();
    growStep_ = capacity;
    capacity_ = capacity;
    if (!AllocBlock(capacity, raw_, data_)) {
        capacity_ = 0;
        flags_ = kAllocFailed;
        return false;
    }
    return true;
}

void ByteBuffer::Reset() {
    Init(growStep_);
}

void ByteBuffer::Free() {
    Kiv::Alloc::Delete(raw_);
    raw_ = nullptr;
    data_ = nullptr;
    flags_ = growStep_ = cursor_ = size_ = capacity_ = 0;
}

bool ByteBuffer::EnsureSize(uint32_t n) {
    if (data_ == nullptr || (flags_ & kAllocFailed) != 0) {
        flags_ |= kAllocFailed;
        return false;
    }
    if (n >= capacity_) {
        // At least doubled, so that building a large image copies it a bounded number of times
        // rather than once per grow step.
        uint64_t capacity = std::max(uint64_t{n} + growStep_, 2 * uint64_t{capacity_});
        if (capacity > UINT32_MAX - 3) capacity = uint64_t{n} + growStep_;
        void* raw;
        uint8_t* data;
        if (capacity > UINT32_MAX - 3 || !AllocBlock(static_cast<uint32_t>(capacity), raw, data)) {
            flags_ |= kAllocFailed;
            return false;
        }
        if (size_ != 0) std::memcpy(data, data_, size_);
        Kiv::Alloc::Delete(raw_);
        raw_ = raw;
        data_ = data;
        capacity_ = static_cast<uint32_t>(capacity);
    }
    if (n > size_) {
        std::memset(data_ + size_, 0, n - size_);
        size_ = n;
    }
    return true;
}

bool ByteBuffer::Append(const void* bytes, uint32_t length) {
    if ((flags_ & kAllocFailed) != 0) return false;
    if (uint64_t{cursor_} + length > UINT32_MAX) {
        flags_ |= kAllocFailed;
        return false;
    }
    if (!EnsureSize(cursor_ + length)) return false;
    if (length != 0) std::memcpy(data_ + cursor_, bytes, length);
    cursor_ += length;
    return true;
}

bool ByteBuffer::AppendU8(uint8_t v) {
    return Append(&v, 1);
}

bool ByteBuffer::AppendU16(uint16_t v) {
    uint8_t b[2] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)};
    return Append(b, 2);
}

bool ByteBuffer::AppendU32(uint32_t v) {
    uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
    return Append(b, 4);
}

bool ByteBuffer::AppendBytes(const void* bytes, uint32_t length) {
    if (bytes == nullptr && length != 0) return false;
    return Append(bytes, length);
}

bool ByteBuffer::Read(void* out, uint32_t length) {
    if (uint64_t{cursor_} + length > size_) {
        flags_ |= kOutOfRange;
        return false;
    }
    if (length != 0) std::memcpy(out, data_ + cursor_, length);
    cursor_ += length;
    return true;
}

bool ByteBuffer::ReadU8(uint8_t& out) {
    return Read(&out, 1);
}

bool ByteBuffer::ReadU16(uint16_t& out) {
    uint8_t b[2];
    if (!Read(b, 2)) return false;
    out = static_cast<uint16_t>(b[0] | b[1] << 8);
    return true;
}

bool ByteBuffer::ReadU32(uint32_t& out) {
    uint8_t b[4];
    if (!Read(b, 4)) return false;
    out = uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
    return true;
}

bool ByteBuffer::ReadBytes(void* out, uint32_t length) {
    if (out == nullptr && length != 0) return false;
    return Read(out, length);
}

bool ByteBuffer::SetCursor(uint32_t position) {
    if (position > size_) {
        flags_ |= kOutOfRange;
        return false;
    }
    cursor_ = position;
    return true;
}
