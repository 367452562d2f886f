#include "platform/kiv/scene/object_lod.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(ObjectLOD, DistanceByCalculationPointMultiplierAndOffset) {
    Kiv::ObjectLOD lod;
    Kiv::Sphere sphere{{0, 0, 0}, 5};
    const Kiv::Vector3 camera{0, 0, 20};
    struct Case {
        uint32_t point;
        float expected;
    };
    for (const Case& c : std::vector<Case>{{Kiv::ObjectLOD::kCentre, 20},
                                           {Kiv::ObjectLOD::kNear, 15},
                                           {Kiv::ObjectLOD::kFar, 25},
                                           {7, 20}}) {
        lod.Init({0, 50}, c.point);
        EXPECT_FLOAT_EQ(lod.FindLOD(sphere, camera), c.expected) << c.point;
    }
    lod.Init({0, 50}, Kiv::ObjectLOD::kNear);
    EXPECT_FLOAT_EQ(lod.FindLOD(sphere, {0, 0, 1}), 0);  // inside the sphere
    lod.Init({0, 50}, Kiv::ObjectLOD::kCentre);
    lod.SetMultiplier(2);
    lod.SetOffset(3);
    EXPECT_FLOAT_EQ(lod.FindLOD(sphere, camera), 43);
    EXPECT_FLOAT_EQ(lod.GetLastDistance(), 43);
}

TEST(ObjectLOD, IndexIsTheLastLevelNotBeyondTheDistance) {
    Kiv::ObjectLOD lod;
    lod.Init({0, 50, 50, 200}, Kiv::ObjectLOD::kCentre);
    struct Case {
        float distance;
        uint32_t records, expected;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    for (const Case& c : std::vector<Case>{{-1, 5, 0},
                                           {0, 5, 0},
                                           {49.9f, 5, 0},
                                           {50, 5, 2},
                                           {1000, 5, 3},
                                           {1000, 2, 1},
                                           {nan, 5, 0},
                                           {10, 0, 0}})
        EXPECT_EQ(lod.FindLODIndex(c.distance, c.records), c.expected) << c.distance;
}

}  // namespace
