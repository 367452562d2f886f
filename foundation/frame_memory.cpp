#include "foundation/frame_memory.h"

#include <cstring>

#include "platform/kiv/base/alloc.h"

namespace Utils {

FrameMemory::FrameMemory(uint32_t frameSize) : frameSize_(frameSize) {
    first_ = current_ = NewFrame();
}

FrameMemory::~FrameMemory() {
    FreeAll();
}

FrameMemory::Frame* FrameMemory::NewFrame() const {
    void* mem = Kiv::Alloc::New(sizeof(Frame) + size_t{frameSize_});
    if (mem == nullptr) return nullptr;
    Frame* f = static_cast<Frame*>(mem);
    f->data = static_cast<uint8_t*>(mem) + sizeof(Frame);
    f->used = 0;
    f->next = nullptr;
    return f;
}

void* FrameMemory::Alloc(uint32_t size, uint32_t alignment) {
    if (alignment == 0 || (alignment & (alignment - 1)) != 0) return nullptr;
    uint64_t need = uint64_t{size} + alignment - 1;
    if (current_ == nullptr || need > frameSize_) return nullptr;
    if (current_->used + need > frameSize_) {
        Frame* next = current_->next;
        if (next == nullptr) {
            next = NewFrame();
            if (next == nullptr) return nullptr;
            current_->next = next;
        }
        current_ = next;
    }
    uintptr_t at = reinterpret_cast<uintptr_t>(current_->data + current_->used);
    at = (at + alignment - 1) & ~uintptr_t{alignment - 1};
    current_->used += static_cast<uint32_t>(need);
    bytesHandedOut_ += need;
    ++allocations_;
    return reinterpret_cast<void*>(at);
}

char* FrameMemory::StrDup(const char* text) {
    if (text == nullptr) return nullptr;
    size_t length = std::strlen(text) + 1;
    if (length > frameSize_) return nullptr;
    void* copy = Alloc(static_cast<uint32_t>(length), 1);
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length);
    return static_cast<char*>(copy);
}

void FrameMemory::Rewind() {
    for (Frame* f = first_; f != nullptr; f = f->next)
        f->used = 0;
    current_ = first_;
    bytesHandedOut_ = 0;
    allocations_ = 0;
}

void FrameMemory::FreeAll() {
    Frame* f = first_;
    while (f != nullptr) {
        Frame* next = f->next;
        Kiv::Alloc::Delete(f);
        f = next;
    }
    first_ = current_ = nullptr;
    bytesHandedOut_ = 0;
    allocations_ = 0;
    frameSize_ = 0;
}

uint32_t FrameMemory::GetFrameCount() const {
    uint32_t n = 0;
    for (const Frame* f = first_; f != nullptr; f = f->next)
        ++n;
    return n;
}

}  // namespace Utils
