#include "configdata/acs_raw_data.h"

#include <cstring>

#include "platform/kiv/base/alloc.h"

ACSRawDataCore::ACSRawDataCore(const void* data, uint32_t size, bool owns,
                               const ReferenceCountMP* owner)
    : data_(static_cast<const uint8_t*>(data)),
      size_(size),
      owns_(owns),
      owner_(CountedRef<const ReferenceCountMP>::Share(owner)) {}

ACSRawDataCore::~ACSRawDataCore() {
    if (owns_) Kiv::Alloc::Delete(const_cast<uint8_t*>(data_));
}

ACSRawDataRef ACSRawDataCore::Adopt(void* block, uint32_t size) {
    if (size == 0) {
        Kiv::Alloc::Delete(block);
        return {};
    }
    if (block == nullptr) return {};
    return CountedRef<ACSRawDataCore>::Adopt(new ACSRawDataCore(block, size, true, nullptr));
}

ACSRawDataRef ACSRawDataCore::Copy(const void* source, uint32_t n) {
    if (source == nullptr || n == 0) return {};
    void* block = Kiv::Alloc::New(n);
    if (block == nullptr) return {};
    std::memcpy(block, source, n);
    return Adopt(block, n);
}

ACSRawDataRef ACSRawDataCore::Borrow(const void* data, uint32_t n, const ReferenceCountMP* owner) {
    if (data == nullptr || n == 0) return {};
    return CountedRef<ACSRawDataCore>::Adopt(new ACSRawDataCore(data, n, false, owner));
}
