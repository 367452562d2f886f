#include "foundation/matrix4.h"

#include <cstring>

void Matrix4MultiplyInPlace(float* m, const float* other) {
    float result[16];
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k)
                sum += m[row * 4 + k] * other[k * 4 + col];
            result[row * 4 + col] = sum;
        }
    }
    std::memcpy(m, result, sizeof result);
}
