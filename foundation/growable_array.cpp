#include "foundation/growable_array.h"

namespace detail {

bool GrowArray(void*& data, uint32_t& capacity, uint32_t used, uint32_t need, uint32_t step,
               size_t entrySize) {
    if (need <= capacity) return true;
    uint64_t rounded = (uint64_t{need} + step - 1) / step * step;
    if (rounded > UINT32_MAX || rounded > SIZE_MAX / entrySize) return false;
    void* grown = Kiv::Alloc::New(static_cast<size_t>(rounded) * entrySize);
    if (grown == nullptr) return false;
    if (used != 0) std::memcpy(grown, data, size_t{used} * entrySize);
    Kiv::Alloc::Delete(data);
    data = grown;
    capacity = static_cast<uint32_t>(rounded);
    return true;
}

}  // namespace detail
