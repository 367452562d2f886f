#include "platform/kiv/scene/geometry.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/kiv/scene/particle.h"

namespace {

using Kiv::Matrix3;
using Kiv::OrientedBox;
using Kiv::Quaternion;
using Kiv::Vector3;

// A quarter turn about z, row-vector form: the x axis goes to y.
TEST(Geometry, QuaternionFromRowMajorMatrixAndBack) {
    Matrix3 quarter{{0, 1, 0, -1, 0, 0, 0, 0, 1}};
    EXPECT_EQ(quarter.Transform({1, 0, 0}), (Vector3{0, 1, 0}));
    Quaternion q = Quaternion::FromMatrix(quarter);
    EXPECT_NEAR(q.z, std::sqrt(0.5f), 1e-6);
    EXPECT_NEAR(q.w, std::sqrt(0.5f), 1e-6);
    Matrix3 back = q.ToMatrix();
    for (int i = 0; i < 9; ++i)
        EXPECT_NEAR(back.m[i], quarter.m[i], 1e-6) << i;
    // Every branch of the conversion: half turns about each axis.
    for (Matrix3 half :
         {Matrix3{{1, 0, 0, 0, -1, 0, 0, 0, -1}}, Matrix3{{-1, 0, 0, 0, 1, 0, 0, 0, -1}},
          Matrix3{{-1, 0, 0, 0, -1, 0, 0, 0, 1}}}) {
        Matrix3 r = Quaternion::FromMatrix(half).ToMatrix();
        for (int i = 0; i < 9; ++i)
            EXPECT_NEAR(r.m[i], half.m[i], 1e-6) << i;
    }
}

TEST(Geometry, OrientedBoxFitsATiltedSlabAndHoldsEveryPoint) {
    std::vector<Vector3> pts;
    for (float a = 0; a <= 10; a += 1)
        for (float b = 0; b <= 1; b += 1)
            pts.push_back({a, a + b * 0.1f, b * 0.1f});
    OrientedBox box;
    box.Fit(pts);
    for (const Vector3& p : pts)
        EXPECT_TRUE(box.Contains(p, 1e-3f));
    Vector3 c[8];
    box.CalcCorners(c);
    OrientedBox again;
    again.Fit(std::vector<Vector3>(c, c + 8));
    for (const Vector3& p : pts)
        EXPECT_TRUE(again.Contains(p, 1e-3f));
    EXPECT_NEAR(box.halfExtents.x, std::sqrt(200.0f) / 2, 0.1);  // along the diagonal
    box.Fit({});
    EXPECT_TRUE(box.IsZero());
}

TEST(Particle, FindByNameCopyAndCount) {
    auto root = std::make_unique<Kiv::ParticleBone>(Kiv::PString("root"));
    auto* arm = root->AddChild(std::make_unique<Kiv::ParticleBone>(Kiv::PString("arm")));
    arm->AddChild(std::make_unique<Kiv::ParticleBone>(Kiv::PString("hand")));
    EXPECT_EQ(root->FindByName(Kiv::PString("hand"))->GetParent(), arm);
    EXPECT_EQ(root->FindByName(Kiv::PString("foot")), nullptr);
    auto copy = root->Copy();
    EXPECT_EQ(copy->CountAll(), 3u);
    EXPECT_TRUE(copy->FindByName(Kiv::PString("hand"))->IsBone());
    EXPECT_NE(copy->FindByName(Kiv::PString("hand")), root->FindByName(Kiv::PString("hand")));
}

}  // namespace
