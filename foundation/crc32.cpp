#include "foundation/crc32.h"

#include <zlib.h>

#include <algorithm>

#include "platform/kiv/base/text.h"

namespace {

uLong Update(uLong crc, const unsigned char* p, size_t length) {
    // zlib takes a 32-bit length; longer runs go in pieces.
    while (length > 0) {
        uInt piece = static_cast<uInt>(std::min<size_t>(length, 1u << 30));
        crc = crc32(crc, p, piece);
        p += piece;
        length -= piece;
    }
    return crc;
}

}  // namespace

uint32_t Crc32(const void* bytes, size_t length) {
    if (bytes == nullptr) return 0;
    return static_cast<uint32_t>(
        Update(crc32(0, Z_NULL, 0), static_cast<const unsigned char*>(bytes), length));
}

uint32_t Crc32NoCase(const char* text) {
    if (text == nullptr) return 0;
    uLong crc = crc32(0, Z_NULL, 0);
    unsigned char chunk[256];
    size_t n = 0;
    for (const char* p = text; *p != '\0'; ++p) {
        chunk[n++] = static_cast<unsigned char>(Kiv::AsciiLower(*p));
        if (n == sizeof chunk) {
            crc = Update(crc, chunk, n);
            n = 0;
        }
    }
    return static_cast<uint32_t>(Update(crc, chunk, n));
}
