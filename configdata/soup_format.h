// The byte layout of the binary soup "ACS$": the header, the chunk that carries one child, and
// the table of type bytes that the writer and the reader share.
//
//   header  u32 magic "ACS$", u32 version (1 written; 0 = text in the local code page),
//           u32 reserved 0, u32 body size (bytes after this field)
//   body    the root's children as one run of chunks, no padding
//   chunk   u32 N (bytes after this field), u8 L (name length with its NUL, 1..255),
//           L bytes of name ending in NUL, u8 type byte, N - L - 2 bytes of data
//           (for a container, the run of its children's chunks)
//
// All numbers little-endian.
#pragma once

#include <cstdint>
#include <string_view>

constexpr uint32_t kSoupMagic = 0x24534341;  // the bytes "ACS$"
constexpr uint32_t kSoupWrittenVersion = 1;
constexpr uint32_t kSoupLocalTextVersion = 0;
constexpr uint32_t kSoupHeaderSize = 16;
// A chunk needs its length word, the name-length byte and at least a NUL and a type byte;
// fewer bytes at the end of a run are stray and ignored.
constexpr uint32_t kSoupMinChunk = 6;
constexpr uint32_t kSoupMaxNameBytes = 255;  // L, the NUL included
// The body size is read as a signed word; nothing larger can be written.
constexpr uint32_t kSoupMaxBodySize = 0x7FFFFFFF;

// Type bytes of chunks.
enum SoupTypeByte : uint8_t {
    kSoupByteContainer = 0,
    kSoupByteInt = 1,
    kSoupByteFloat = 2,
    kSoupByteText = 3,
    kSoupByteRaw = 4,
    kSoupByteEmpty = 5,
    kSoupByteAlignedRaw = 12,  // never written: raw bytes whose start moves up to 16-alignment
    kSoupByteKUID = 13,
};
constexpr uint32_t kSoupRawAlignment = 16;

// The type byte written for a node of the given memory type.
uint8_t SoupTypeByteFor(uint32_t memoryType);
// The memory type made from a type byte (byte 12 gives raw; unknown bytes give empty).
uint32_t SoupMemoryTypeFor(uint8_t typeByte);

// One chunk as found in a body. Positions are offsets in the body.
struct SoupChunk {
    uint32_t position;      // of the length word
    uint32_t next;          // of the following chunk
    std::string_view name;  // up to the first NUL of the name bytes
    uint8_t typeByte;
    uint32_t dataOffset;
    uint32_t dataSize;
};

// Reads the chunk at `position` of a run that ends at `end` (at most the body's size). False
// when fewer than kSoupMinChunk bytes remain or the chunk is malformed: N < 2, N + 4 beyond
// the run, L = 0, N < L + 2, or a name whose last byte is not NUL. Sizes are compared in 64
// bits, so lengths near 2^32 cannot wrap.
bool ParseSoupChunk(const uint8_t* body, uint32_t position, uint32_t end, SoupChunk& out);
