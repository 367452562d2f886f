#include "foundation/tsubfile.h"

#include <algorithm>

TSubFile::TSubFile(TStream* parent, uint32_t start, uint32_t end)
    : parent_(parent), start_(start), end_(end), current_(parent->Tell()) {}

uint32_t TSubFile::Write(const void* data, uint32_t n) {
    if (n == 0) return 0;
    DropReadAhead();
    // Another reader of the parent may have moved it since this window last used it.
    if (parent_->Tell() != current_) parent_->SetPosition(current_);
    uint32_t written = parent_->Write(data, n);
    current_ += written;
    return written;
}

uint32_t TSubFile::ReadDevice(void* dest, uint32_t n) {
    if (current_ > end_) return 0;
    n = std::min(n, end_ - current_);
    if (n == 0) return 0;
    if (parent_->Tell() != current_) parent_->SetPosition(current_);
    uint32_t got = parent_->ReadBytes(dest, n);
    current_ += got;
    return got;
}

bool TSubFile::SeekDevice(int64_t offset, int origin) {
    int64_t base;
    switch (origin) {
        case kFromCurrent:
            base = int64_t{current_} - unread_;
            break;
        case kFromEnd:
            base = end_;
            break;
        default:
            base = start_;
            break;
    }
    int64_t target = base + offset;
    if (target == current_) return true;
    target = std::clamp<int64_t>(target, start_, end_);
    current_ = static_cast<uint32_t>(target);
    parent_->SetPosition(current_);
    return true;
}

bool TSubFile::AtEnd() {
    if (unread_ != 0) return false;
    return current_ >= end_;
}
