#include "configdata/tdb_soup_body.h"

#include <new>

namespace {
constexpr std::align_val_t kBlockAlignment{TDBSoupBody::kAlignment};
}  // namespace

CountedRef<TDBSoupBody> TDBSoupBody::Allocate(uint32_t size) {
    auto* bytes = static_cast<uint8_t*>(
        ::operator new[](size == 0 ? 1 : size, kBlockAlignment, std::nothrow));
    if (bytes == nullptr) return {};
    auto* body = new (std::nothrow) TDBSoupBody(bytes, size);
    if (body == nullptr) {
        ::operator delete[](bytes, kBlockAlignment);
        return {};
    }
    return CountedRef<TDBSoupBody>::Adopt(body);
}

TDBSoupBody::~TDBSoupBody() {
    ::operator delete[](bytes_, kBlockAlignment);
}
