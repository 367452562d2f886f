#include "foundation/matrix4.h"

#include <gtest/gtest.h>

namespace {

TEST(Matrix4, MultipliesRowMajorOnTheRight) {
    // A scale by 2 then a translation by (1, 2, 3), row-vector style: (1, 1, 1) goes to
    // (3, 4, 5).
    float m[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 1};
    const float translate[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1};
    Matrix4MultiplyInPlace(m, translate);
    const float want[16] = {2, 0, 0, 0, 0, 2, 0, 0, 0, 0, 2, 0, 1, 2, 3, 1};
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(m[i], want[i]) << i;
}

TEST(Matrix4, SquaringInPlaceReadsTheOriginal) {
    float m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = static_cast<float>(i + 1);
    Matrix4MultiplyInPlace(m, m);
    // Rows of 1..16 times its columns: the corners of the square.
    EXPECT_FLOAT_EQ(m[0], 90);    // 1*1 + 2*5 + 3*9 + 4*13
    EXPECT_FLOAT_EQ(m[3], 120);   // 1*4 + 2*8 + 3*12 + 4*16
    EXPECT_FLOAT_EQ(m[12], 426);  // 13*1 + 14*5 + 15*9 + 16*13
    EXPECT_FLOAT_EQ(m[15], 600);  // 13*4 + 14*8 + 15*12 + 16*16
}

}  // namespace
