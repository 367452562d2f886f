#include "configdata/soup_format.h"

#include <cstring>

#include "configdata/acs_chunk.h"

namespace {

// Memory types and their type bytes, both ways. Writing takes the first row of a memory type
// (any type not listed is written as empty, with its raw data); reading takes the first row of
// a byte (so text-like reads back as text; a byte not listed reads as empty).
struct SoupTypeRow {
    uint32_t memoryType;
    uint8_t typeByte;
};
constexpr SoupTypeRow kSoupTypes[] = {
    {kTagContainer, kSoupByteContainer}, {kTagInt, kSoupByteInt},       {kTagFloat, kSoupByteFloat},
    {kTagText, kSoupByteText},           {kTagTextLike, kSoupByteText}, {kTagRaw, kSoupByteRaw},
    {kTagKUID, kSoupByteKUID},           {kTagEmpty, kSoupByteEmpty},
};

uint32_t ReadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

}  // namespace

uint8_t SoupTypeByteFor(uint32_t memoryType) {
    for (const SoupTypeRow& row : kSoupTypes)
        if (row.memoryType == memoryType) return row.typeByte;
    return kSoupByteEmpty;
}

uint32_t SoupMemoryTypeFor(uint8_t typeByte) {
    if (typeByte == kSoupByteAlignedRaw) return kTagRaw;
    for (const SoupTypeRow& row : kSoupTypes)
        if (row.typeByte == typeByte) return row.memoryType;
    return kTagEmpty;
}

bool ParseSoupChunk(const uint8_t* body, uint32_t position, uint32_t end, SoupChunk& out) {
    if (position > end || end - position < kSoupMinChunk) return false;
    uint64_t remaining = end - position;
    const uint8_t* p = body + position;
    uint64_t n = ReadU32(p);
    if (n < 2 || n + 4 > remaining) return false;
    uint32_t l = p[4];
    if (l == 0 || n < uint64_t{l} + 2) return false;
    if (p[4 + l] != 0) return false;
    const char* name = reinterpret_cast<const char*>(p + 5);
    out.position = position;
    out.next = static_cast<uint32_t>(position + 4 + n);
    out.name = std::string_view(name, ::strnlen(name, l - 1));
    out.typeByte = p[5 + l];
    out.dataOffset = position + 6 + l;
    out.dataSize = static_cast<uint32_t>(n - l - 2);
    return true;
}
