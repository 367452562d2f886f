// ACSRawDataCore: the value bytes of a tag, shared by counted references (ACSRawDataRef).
//
// A block is either owned (freed with the core) or borrowed from another counted object, which
// the core keeps alive: the bytes of a loaded soup file and the bytes of a node handed out by
// ACSChunk::GetRawData are borrowed that way, without a copy.
#pragma once

#include <cstdint>

#include "configdata/reference_count.h"

class ACSRawDataRef;

class ACSRawDataCore : public ReferenceCountMP {
public:
    ~ACSRawDataCore() override;

    // Takes over a block from Kiv::Alloc::New; a size of 0 frees it and gives an empty
    // reference.
    static ACSRawDataRef Adopt(void* block, uint32_t size);
    // Copies n bytes into a new owned block; n of 0 or no source gives an empty reference.
    static ACSRawDataRef Copy(const void* source, uint32_t n);
    // Refers to n bytes that `owner` keeps alive, holding a reference to it; n of 0 or no
    // bytes gives an empty reference.
    static ACSRawDataRef Borrow(const void* data, uint32_t n, const ReferenceCountMP* owner);

    const uint8_t* GetData() const { return data_; }
    uint32_t GetSize() const { return size_; }
    bool OwnsData() const { return owns_; }

private:
    ACSRawDataCore(const void* data, uint32_t size, bool owns, const ReferenceCountMP* owner);

    const uint8_t* data_;
    uint32_t size_;
    bool owns_;
    CountedRef<const ReferenceCountMP> owner_;
};

// A counted reference to raw data; an empty reference has no bytes.
class ACSRawDataRef : public CountedRef<ACSRawDataCore> {
public:
    ACSRawDataRef() = default;
    ACSRawDataRef(CountedRef<ACSRawDataCore> r)  // NOLINT: a raw-data reference is one
        : CountedRef<ACSRawDataCore>(std::move(r)) {}

    const uint8_t* GetData() const { return Get() ? Get()->GetData() : nullptr; }
    uint32_t GetSize() const { return Get() ? Get()->GetSize() : 0; }
};

// Copies n bytes into new raw data (empty for n of 0 or no source).
inline ACSRawDataRef MakeRawData(const void* source, uint32_t n) {
    return ACSRawDataCore::Copy(source, n);
}
