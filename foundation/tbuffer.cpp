#include "foundation/tbuffer.h"

#include <algorithm>

namespace {
// Buffers above this size grow by half again (at least the write and a large step); smaller
// ones are left to the dynamic buffer's growth.
constexpr uint32_t kLargeBufferThreshold = 16384;
constexpr uint32_t kLargeGrowthExtra = 65536;
}  // namespace

TBuffer::TBuffer() : buffer_(new Kiv::DynamicBuffer), owns_(true) {}

TBuffer::TBuffer(Kiv::DynamicBuffer* buffer, bool owns) : buffer_(buffer), owns_(owns) {}

TBuffer::TBuffer(const void* data, uint32_t n) : TBuffer() {
    Write(data, n);
    Rewind();
}

TBuffer::~TBuffer() {
    if (owns_) delete buffer_;
}

void TBuffer::Reset() {
    ClearReadAhead();
    buffer_->Empty();
}

uint32_t TBuffer::Tell() {
    return buffer_->GetPosition() - unread_;
}

uint32_t TBuffer::Write(const void* data, uint32_t n) {
    DropReadAhead();
    uint64_t end = uint64_t{buffer_->GetPosition()} + n;
    if (end > buffer_->GetAllocated() && buffer_->GetAllocated() > kLargeBufferThreshold) {
        if (!buffer_->Grow(std::max(n + kLargeGrowthExtra, buffer_->GetAllocated() / 2))) {
            SetError(kErrorTooLong);
            return 0;
        }
    }
    if (!buffer_->Write(data, n)) {
        SetError(kErrorTooLong);
        return 0;
    }
    return n;
}

bool TBuffer::AtEnd() {
    return Tell() >= buffer_->GetLength();
}

bool TBuffer::SeekDevice(int64_t offset, int origin) {
    int64_t target;
    switch (origin) {
        case kFromCurrent:
            target = int64_t{buffer_->GetPosition()} - unread_ + offset;
            break;
        case kFromEnd:
            target = int64_t{buffer_->GetLength()} - offset;
            break;
        default:
            target = offset;
            break;
    }
    buffer_->Seek(static_cast<uint64_t>(std::max<int64_t>(target, 0)));
    return true;
}

uint32_t TBuffer::ReadDevice(void* dest, uint32_t n) {
    return buffer_->Read(dest, n);
}
