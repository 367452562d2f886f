// Test support: the bytes of an uncompressed 24-bit BMP (BITMAPINFOHEADER), for image fixtures.
// The header may claim any size; the pixel bytes that follow are given apart.
#pragma once

#include <cstdint>
#include <string>

namespace testsupport {

// A BMP header claiming w x h, followed by `pixelBytes` bytes of 0x40.
inline std::string BmpHeader(int32_t w, int32_t h, size_t pixelBytes) {
    std::string s(54, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    s[0] = 'B';
    s[1] = 'M';
    put32(2, static_cast<uint32_t>(54 + pixelBytes));
    put32(10, 54);
    put32(14, 40);
    put32(18, static_cast<uint32_t>(w));
    put32(22, static_cast<uint32_t>(h));
    s[26] = 1;
    s[28] = 24;
    return s + std::string(pixelBytes, '\x40');
}

// A whole BMP of w x h (rows padded to four bytes).
inline std::string Bmp(uint32_t w, uint32_t h) {
    const uint32_t row = (w * 3 + 3) & ~3u;
    return BmpHeader(static_cast<int32_t>(w), static_cast<int32_t>(h), size_t{row} * h);
}

}  // namespace testsupport
