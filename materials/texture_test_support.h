// Test support: image files and texture descriptions written for the texture tests.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace texture_test {

// An uncompressed TGA, rows from the top, of w by h pixels of 3 or 4 channels; `pixel` gives
// each pixel's red, green, blue and alpha.
inline std::string Tga(uint32_t w, uint32_t h, int channels,
                       const std::function<uint32_t(uint32_t x, uint32_t y)>& pixel) {
    std::string s(18, '\0');
    s[2] = 2;  // uncompressed true colour
    s[12] = static_cast<char>(w & 0xFF);
    s[13] = static_cast<char>(w >> 8);
    s[14] = static_cast<char>(h & 0xFF);
    s[15] = static_cast<char>(h >> 8);
    s[16] = static_cast<char>(channels * 8);
    s[17] = static_cast<char>(0x20 | (channels == 4 ? 8 : 0));  // top-left origin
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const uint32_t rgba = pixel(x, y);
            s += static_cast<char>((rgba >> 8) & 0xFF);   // blue
            s += static_cast<char>((rgba >> 16) & 0xFF);  // green
            s += static_cast<char>((rgba >> 24) & 0xFF);  // red
            if (channels == 4) s += static_cast<char>(rgba & 0xFF);
        }
    }
    return s;
}

// A smooth picture: red across, green down, blue 128, alpha the given value.
inline std::string GradientTga(uint32_t w, uint32_t h, int channels = 3, uint8_t alpha = 255) {
    return Tga(w, h, channels, [=](uint32_t x, uint32_t y) {
        const uint32_t r = x * 255 / (w > 1 ? w - 1 : 1);
        const uint32_t g = y * 255 / (h > 1 ? h - 1 : 1);
        return r << 24 | g << 16 | 128u << 8 | alpha;
    });
}

}  // namespace texture_test
