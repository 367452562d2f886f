// Test support: decodes DXT1, DXT3 and DXT5 blocks back into RGBA pixels (the bitmap's order), so
// that tests can compare what the compressor made with its source within a tolerance (the
// compressor's exact bytes differ between its versions).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace dxt_test {

inline void Color565(uint16_t c, int out[3]) {
    out[0] = ((c >> 11) & 31) * 255 / 31;  // red
    out[1] = ((c >> 5) & 63) * 255 / 63;   // green
    out[2] = (c & 31) * 255 / 31;          // blue
}

// Decodes a colour block into 16 RGBA pixels; fourColours forces the four-colour mode (DXT3
// and DXT5 blocks).
inline void DecodeColourBlock(const uint8_t* b, uint8_t px[16][4], bool fourColours) {
    const uint16_t c0 = static_cast<uint16_t>(b[0] | b[1] << 8);
    const uint16_t c1 = static_cast<uint16_t>(b[2] | b[3] << 8);
    int p[4][4];
    Color565(c0, p[0]);
    Color565(c1, p[1]);
    p[0][3] = p[1][3] = p[2][3] = p[3][3] = 255;
    const bool four = fourColours || c0 > c1;
    for (int k = 0; k < 3; ++k) {
        if (four) {
            p[2][k] = (2 * p[0][k] + p[1][k]) / 3;
            p[3][k] = (p[0][k] + 2 * p[1][k]) / 3;
        } else {
            p[2][k] = (p[0][k] + p[1][k]) / 2;
            p[3][k] = 0;
        }
    }
    if (!four) p[3][3] = 0;
    const uint32_t bits = b[4] | b[5] << 8 | b[6] << 16 | static_cast<uint32_t>(b[7]) << 24;
    for (int i = 0; i < 16; ++i) {
        const int* c = p[(bits >> (2 * i)) & 3];
        px[i][0] = static_cast<uint8_t>(c[0]);
        px[i][1] = static_cast<uint8_t>(c[1]);
        px[i][2] = static_cast<uint8_t>(c[2]);
        px[i][3] = static_cast<uint8_t>(c[3]);
    }
}

// blockBytes 8: DXT1; 16 with dxt5 false: DXT3; 16 with dxt5 true: DXT5.
inline std::vector<uint8_t> Decode(const uint8_t* data, uint32_t width, uint32_t height,
                                   uint32_t blockBytes, bool dxt5) {
    std::vector<uint8_t> out(size_t{width} * height * 4);
    const uint32_t bw = (width + 3) / 4;
    const uint32_t bh = (height + 3) / 4;
    for (uint32_t by = 0; by < bh; ++by) {
        for (uint32_t bx = 0; bx < bw; ++bx) {
            const uint8_t* b = data + (size_t{by} * bw + bx) * blockBytes;
            uint8_t px[16][4];
            DecodeColourBlock(blockBytes == 8 ? b : b + 8, px, blockBytes == 16);
            if (blockBytes == 16 && !dxt5) {
                for (int i = 0; i < 16; ++i) {
                    const int nibble = (b[i / 2] >> (4 * (i % 2))) & 15;
                    px[i][3] = static_cast<uint8_t>(nibble * 17);
                }
            } else if (blockBytes == 16) {
                int a[8];
                a[0] = b[0];
                a[1] = b[1];
                if (a[0] > a[1]) {
                    for (int k = 1; k < 7; ++k)
                        a[k + 1] = ((7 - k) * a[0] + k * a[1]) / 7;
                } else {
                    for (int k = 1; k < 5; ++k)
                        a[k + 1] = ((5 - k) * a[0] + k * a[1]) / 5;
                    a[6] = 0;
                    a[7] = 255;
                }
                uint64_t bits = 0;
                for (int k = 0; k < 6; ++k)
                    bits |= uint64_t{b[2 + k]} << (8 * k);
                for (int i = 0; i < 16; ++i)
                    px[i][3] = static_cast<uint8_t>(a[(bits >> (3 * i)) & 7]);
            }
            for (int i = 0; i < 16; ++i) {
                const uint32_t x = bx * 4 + i % 4;
                const uint32_t y = by * 4 + i / 4;
                if (x >= width || y >= height) continue;
                for (int k = 0; k < 4; ++k)
                    out[(size_t{y} * width + x) * 4 + k] = px[i][k];
            }
        }
    }
    return out;
}

// The largest difference of one byte between two images of the same size.
inline int MaxDifference(const std::vector<uint8_t>& a, const uint8_t* b, size_t channels = 4) {
    int worst = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (channels == 3 && i % 4 == 3) continue;
        worst = std::max(worst, std::abs(int{a[i]} - int{b[i]}));
    }
    return worst;
}

// The mean absolute difference of the bytes compared.
inline double MeanDifference(const std::vector<uint8_t>& a, const uint8_t* b, size_t channels = 4) {
    double sum = 0;
    size_t n = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (channels == 3 && i % 4 == 3) continue;
        sum += std::abs(int{a[i]} - int{b[i]});
        ++n;
    }
    return n == 0 ? 0 : sum / static_cast<double>(n);
}

}  // namespace dxt_test
