// The standard CRC-32 (reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF, final
// complement; zlib's), over bytes and over a text with its letters lower-cased. The compiler
// stamps libraries with the checksums of their source and of their name.
#pragma once

#include <cstddef>
#include <cstdint>

// 0 for an empty run (or a null pointer).
uint32_t Crc32(const void* bytes, size_t length);
// The CRC-32 of a NUL-terminated text with each ASCII letter lower-cased; 0 for an empty or
// null text.
uint32_t Crc32NoCase(const char* text);
