#include "platform/kiv/base/dynamic_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace Kiv {

DynamicBuffer::DynamicBuffer(uint32_t growStep) : growStep_(growStep == 0 ? 1 : growStep) {}

DynamicBuffer::~DynamicBuffer() {
    std::free(data_);
}

bool DynamicBuffer::Reserve(uint64_t bytes) {
    if (bytes <= allocated_) return true;
    if (bytes > limit_ || bytes > UINT32_MAX) return false;
    void* grown = std::realloc(data_, static_cast<size_t>(bytes));
    if (grown == nullptr) return false;
    data_ = static_cast<uint8_t*>(grown);
    allocated_ = static_cast<uint32_t>(bytes);
    return true;
}

uint32_t DynamicBuffer::Read(void* dest, uint32_t n) {
    if (pos_ >= length_) return 0;
    uint32_t count = std::min(n, length_ - pos_);
    if (count != 0) std::memcpy(dest, data_ + pos_, count);
    pos_ += count;
    return count;
}

bool DynamicBuffer::Write(const void* src, uint32_t n) {
    if (n == 0) return true;
    uint64_t end = uint64_t{pos_} + n;
    if (end > allocated_) {
        // Grow by half again (at least a step), in whole steps, so that a run of small writes
        // reallocates a number of times that grows with the log of the length, not the length.
        uint64_t want = std::max<uint64_t>(
            end, uint64_t{allocated_} + std::max<uint64_t>(growStep_, allocated_ / 2));
        want = (want + growStep_ - 1) / growStep_ * growStep_;
        if (want > limit_ || want > UINT32_MAX) want = end;
        if (!Reserve(want)) return false;
    }
    if (pos_ > length_) std::memset(data_ + length_, 0, pos_ - length_);
    std::memcpy(data_ + pos_, src, n);
    pos_ = static_cast<uint32_t>(end);
    length_ = std::max(length_, pos_);
    return true;
}

bool DynamicBuffer::Grow(uint32_t extra) {
    return Reserve(uint64_t{allocated_} + extra);
}

void DynamicBuffer::Empty() {
    length_ = 0;
    pos_ = 0;
}

uint32_t DynamicBuffer::Seek(uint64_t pos) {
    pos_ = static_cast<uint32_t>(std::min<uint64_t>(pos, allocated_));
    return pos_;
}

}  // namespace Kiv
