// 4x4 float matrices in the engine's layout: 16 floats, row-major, for row vectors (a point
// is transformed as v * M, so in A * B the transform A applies first).
#pragma once

// m = m * other. `other` may be m itself.
void Matrix4MultiplyInPlace(float* m, const float* other);
