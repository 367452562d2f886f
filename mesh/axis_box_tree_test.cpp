#include "mesh/axis_box_tree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "mesh/mesh_test_support.h"

namespace {

using Kiv::Vector3;
using meshtesting::GridMesh;
using meshtesting::QuadSubMesh;
using meshtesting::WriteIdxm;

// Triangles given directly: reference = triangle number (chunk 0).
class Soup : public HXAxisBoxTreeExternalGeometry {
public:
    std::vector<std::array<Vector3, 3>> triangles;
    bool GetTriangle(uint32_t reference, Vector3 corners[3]) const override {
        uint32_t t = reference & 0x7FFF;
        if ((reference >> 15) != 0 || t >= triangles.size()) return false;
        for (int k = 0; k < 3; ++k)
            corners[k] = triangles[t][k];
        return true;
    }
    std::unique_ptr<HXAxisBoxTree> Tree(uint32_t leafSize = 64) const {
        auto tree = std::make_unique<HXAxisBoxTree>(this);
        tree->StartBuild(leafSize);
        for (uint32_t t = 0; t < triangles.size(); ++t)
            tree->AddTriangle(0, 3 * t);
        tree->FinishBuild();
        return tree;
    }
};

// A row of n unit triangles facing +z, at x = 2k.
Soup Row(uint32_t n) {
    Soup s;
    for (uint32_t k = 0; k < n; ++k) {
        float x = 2.0f * k;
        s.triangles.push_back({Vector3{x, 0, 0}, Vector3{x + 1, 0, 0}, Vector3{x, 1, 0}});
    }
    return s;
}

TEST(AxisBoxTree, LeavesSplitsAndCountedTriangles) {
    EXPECT_EQ(Row(64).Tree()->GetNodes().size(), 1u);  // one leaf
    struct Case {
        uint32_t items, left;
    };
    for (const Case& c : std::vector<Case>{{66, 32}, {67, 33}, {65, 32}}) {
        auto tree = Row(c.items).Tree();
        const auto& nodes = tree->GetNodes();
        ASSERT_EQ(nodes.size(), 3u) << c.items;
        EXPECT_EQ(nodes[1].second, static_cast<int32_t>(c.left)) << c.items;
        EXPECT_EQ(nodes[2].second, static_cast<int32_t>(c.items - c.left)) << c.items;
    }
    Soup s = Row(3);
    s.triangles[1][1] = s.triangles[1][0];  // two equal corners: no area
    auto tree = s.Tree();
    EXPECT_EQ(tree->GetAddCalls(), 3u);
    EXPECT_EQ(tree->GetLeafEntryCount(), 2u);
}

// The split goes along the axis whose halves overlap least for the node's extent, not simply the
// longest one.
TEST(AxisBoxTree, TheSplitAxisIsTheOneWhoseHalvesOverlapLeast) {
    Soup layers;  // wide triangles in two layers of y: x is longest, only y parts them
    for (int k = 0; k < 68; ++k) {
        float y = k < 34 ? 0.0f : 50.0f, z = 0.01f * k;
        layers.triangles.push_back({Vector3{0, y, z}, Vector3{100, y, z}, Vector3{50, y + 1, z}});
    }
    struct Case {
        const char* what;
        Soup soup;
        int apart, overlapping;  // axes
    } cases[] = {{"a row along x", Row(68), 0, 1}, {"two layers of y", layers, 1, 0}};
    for (const Case& c : cases) {
        auto tree = c.soup.Tree();
        ASSERT_EQ(tree->GetNodes().size(), 3u) << c.what;
        Vector3 lo[2], hi[2];
        tree->GetNodeBox(1, &lo[0], &hi[0]);
        tree->GetNodeBox(2, &lo[1], &hi[1]);
        const float leftMax[3] = {hi[0].x, hi[0].y, hi[0].z};
        const float rightMin[3] = {lo[1].x, lo[1].y, lo[1].z};
        // Apart along the chosen axis (within the compact boxes' widening).
        EXPECT_LT(leftMax[c.apart], rightMin[c.apart] + 0.01f) << c.what;
        EXPECT_GT(leftMax[c.overlapping], rightMin[c.overlapping] + 0.5f) << c.what;
    }
}

TEST(AxisBoxTree, CompactBoxesHoldTheirTriangles) {
    // Scattered triangles; and small ones far along x, whose y centres lie within one step of
    // the shared centre scale while a half-extent step is tiny: their boxes need more than
    // 65535 steps and are capped there.
    Soup scattered, faraway;
    for (int k = 0; k < 500; ++k) {
        float x = std::sin(k * 1.7f) * 1000, y = std::cos(k * 0.3f) * 3, z = k * 0.01f;
        scattered.triangles.push_back(
            {Vector3{x, y, z}, Vector3{x + 0.5f, y, z + 0.1f}, Vector3{x, y + 0.25f, z}});
        x = 1000 + 0.0002f * static_cast<float>(k % 25);
        y = 0.015f + 0.0001f * static_cast<float>(k / 25);
        faraway.triangles.push_back(
            {Vector3{x, y, 0}, Vector3{x + 0.001f, y, 0}, Vector3{x, y + 0.001f, 0.0001f}});
    }
    struct Case {
        const char* what;
        const Soup& soup;
        bool capped;
    } cases[] = {{"scattered", scattered, false}, {"far and small", faraway, true}};
    for (const Case& c : cases) {
        auto tree = c.soup.Tree(8);
        bool capped = false;
        for (const auto& node : tree->GetNodes())
            for (uint16_t half : node.half)
                capped = capped || half == 65535;
        EXPECT_EQ(capped, c.capped) << c.what;
        EXPECT_EQ(tree->HasLooseBoxes(), c.capped) << c.what;
        // A box that did not hold its triangles would hide them from a segment through them.
        // Every triangle is found by a segment through its centre.
        for (size_t t = 0; t < c.soup.triangles.size(); ++t) {
            const auto& corners = c.soup.triangles[t];
            Vector3 centre = (corners[0] + corners[1] + corners[2]) * (1.0f / 3);
            Vector3 n = (corners[1] - corners[0]).Cross(corners[2] - corners[0]);
            n = n * (1.0f / n.Length());
            HXSegmentHit hit = tree->SegmentQuery(centre + n * 0.001f, centre - n * 0.001f);
            ASSERT_NE(hit.reference, -1) << c.what << " " << t;
        }
    }
}

TEST(AxisBoxTree, SegmentQueriesFindTheNearestHit) {
    // Two parallel squares facing +z at z = 0 and z = 2.
    Soup s;
    for (float z : {0.0f, 2.0f}) {
        s.triangles.push_back({Vector3{0, 0, z}, Vector3{1, 0, z}, Vector3{1, 1, z}});
        s.triangles.push_back({Vector3{0, 0, z}, Vector3{1, 1, z}, Vector3{0, 1, z}});
    }
    auto tree = s.Tree(4);
    HXSegmentHit hit = tree->SegmentQuery({0.25f, 0.75f, 5}, {0.25f, 0.75f, -5});
    ASSERT_NE(hit.reference, -1);
    EXPECT_EQ(hit.reference, 3);  // the upper square's second triangle
    EXPECT_NEAR(hit.fraction, 0.3f, 1e-6);
    EXPECT_NEAR(hit.point.z, 2.0f, 1e-5);
    EXPECT_NEAR(hit.normal.z, 1.0f, 1e-6);
    EXPECT_EQ(hit.spare, -1);

    struct Miss {
        const char* label;
        Vector3 a, b;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (const Miss& m : std::vector<Miss>{{"beside", {3, 3, 5}, {3, 3, -5}},
                                           {"short of it", {0.5f, 0.5f, 5}, {0.5f, 0.5f, 3}},
                                           {"zero length", {0.5f, 0.5f, 1}, {0.5f, 0.5f, 1}},
                                           {"not a number", {nan, 0.5f, 5}, {0.5f, 0.5f, -5}},
                                           {"infinite", {0.5f, 0.5f, inf}, {0.5f, 0.5f, -5}}}) {
        HXSegmentHit miss = tree->SegmentQuery(m.a, m.b);
        EXPECT_EQ(miss.reference, -1) << m.label;
        EXPECT_EQ(miss.fraction, -1.0f) << m.label;
    }
    Soup none;
    HXSegmentHit empty = none.Tree()->SegmentQuery({0, 0, 1}, {0, 0, -1});
    EXPECT_EQ(empty.reference, -1);
    EXPECT_EQ(empty.fraction, -1.0f);
}

TEST(AxisBoxTree, TreeOverAMeshFindsWhatBruteForceFinds) {
    MeshTestEnv env;
    HalvexIndexedMeshDefinition def;
    // Hills, so that slanted segments meet the surface at many depths.
    meshtesting::IdxmFile grid = GridMesh(24);
    for (auto& sub : grid.subMeshes)
        for (size_t v = 0; v < sub.geometry.vertices.size(); v += 5)
            sub.geometry.vertices[v + 2] = 2 * std::sin(sub.geometry.vertices[v] * 0.7f) *
                                           std::cos(sub.geometry.vertices[v + 1] * 0.5f);
    grid.subMeshes.push_back(QuadSubMesh(201, 40.0f));
    grid.subMeshes.back().geometry.indices.resize(2);  // two indices: no triangle
    grid.subMeshes.back().geometry.faceCount = 1;
    grid.subMeshes.back().geometry.faceNormals = {0, 0, 1};
    ASSERT_EQ(env.Load(def, WriteIdxm(grid)), 0u);
    std::unique_ptr<CollisionGeometrySharingInterface> geometry;
    auto tree = BuildCollisionTree(def, &geometry);
    EXPECT_EQ(tree->GetLeafEntryCount(), 2u * 24 * 24);
    for (int k = 0; k < 60; ++k) {
        float x = std::fmod(k * 7.77f, 26.0f) - 1, y = std::fmod(k * 3.31f, 24.0f);
        Vector3 start{x, y, 6}, end{x + 2.5f, y - 1.5f, -6};
        HXSegmentHit hit = tree->SegmentQuery(start, end);
        float best = std::numeric_limits<float>::max();
        int found = -1;
        for (uint32_t t = 0; t < 2 * 24 * 24; ++t) {
            Vector3 c[3];
            ASSERT_TRUE(geometry->GetTriangle(HXAxisBoxTree::MakeReference(0, t), c));
            float before = best;
            if (RayTriangleTwoSided(start, end - start, c[0], c[1], c[2], &best) && best < before &&
                best <= 1.0f)
                found = static_cast<int>(t);
            else if (best > 1.0f)
                best = before;
        }
        EXPECT_EQ(hit.reference, found) << k;
        if (found >= 0) {
            EXPECT_NEAR(hit.fraction, best, 1e-4) << k;
        }
    }
}

TEST(RayTriangle, OneAndTwoSidedForms) {
    Vector3 a{0, 0, 0}, b{1, 0, 0}, c{0, 1, 0};
    float best = 100;
    EXPECT_TRUE(RayTriangleOneSided({0.2f, 0.2f, 1}, {0, 0, -1}, a, b, c, &best));
    EXPECT_FLOAT_EQ(best, 1.0f);
    best = 100;
    EXPECT_FALSE(RayTriangleOneSided({0.2f, 0.2f, -1}, {0, 0, 1}, a, b, c, &best));  // its back
    EXPECT_TRUE(RayTriangleTwoSided({0.2f, 0.2f, -1}, {0, 0, 1}, a, b, c, &best));
    EXPECT_FLOAT_EQ(best, 1.0f);
    EXPECT_FALSE(RayTriangleTwoSided({0.9f, 0.9f, 1}, {0, 0, -1}, a, b, c, &best));  // outside
    EXPECT_FALSE(RayTriangleTwoSided({0, 0, 1}, {1, 0, 0}, a, b, c, &best));         // parallel
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(RayTriangleTwoSided({nan, 0.2f, 1}, {0, 0, -1}, a, b, c, &best));
    best = 0.5f;
    EXPECT_TRUE(RayTriangleTwoSided({0.2f, 0.2f, 1}, {0, 0, -1}, a, b, c, &best));
    EXPECT_FLOAT_EQ(best, 0.5f);  // a farther hit leaves the best as it was
}

TEST(PointMap, FindsExactlyWhatWasInserted) {
    HXMapKDTree map;
    std::vector<int32_t> found;
    const float p[3] = {1, 2, 3};
    EXPECT_EQ(map.Lookup(p, found), 0u);
    map.Insert(p, 7);
    map.Insert(p, 8);
    EXPECT_EQ(map.Lookup(p, found), 2u);
    const float near[3] = {1, 2, std::nextafter(3.0f, 4.0f)};
    EXPECT_EQ(map.Lookup(near, found), 0u);
    // The 11th pending insertion into a small built part rebuilds at the next lookup.
    for (int k = 0; k < 8; ++k) {
        const float q[3] = {float(k), 0, 0};
        map.Insert(q, k);
    }
    map.Lookup(p, found);  // ten pending: not yet
    EXPECT_EQ(map.GetBuiltSize(), 0u);
    const float eleventh[3] = {9, 9, 9};
    map.Insert(eleventh, 9);
    map.Lookup(p, found);
    EXPECT_EQ(map.GetBuiltSize(), 11u);
    EXPECT_EQ(map.GetPendingSize(), 0u);
    for (int k = 0; k < 2000; ++k) {
        const float q[3] = {float(k % 37), float(k % 11), float(k) + 0.5f};
        map.Insert(q, 100 + k);
    }
    for (int k = 0; k < 2000; k += 97) {
        const float q[3] = {float(k % 37), float(k % 11), float(k) + 0.5f};
        ASSERT_EQ(map.Lookup(q, found), 1u) << k;
        EXPECT_EQ(found[0], 100 + k);
    }
    EXPECT_EQ(map.Lookup(p, found), 2u);
    EXPECT_TRUE(map.Remove(p));
    EXPECT_EQ(map.Lookup(p, found), 1u);
}

TEST(PointMap, RebuildModesDecideWhenPendingPointsAreBuilt) {
    struct Case {
        const char* what;
        int mode;
        bool lazy;
        size_t builtFirst;  // points built before the pending ones come
        size_t inserted;
        bool lookUp;
        size_t built;  // the built part at the end
    } cases[] = {
        {"never", HXMapKDTree::kNever, true, 0, 2000, true, 0},
        {"always", HXMapKDTree::kAlways, true, 0, 1, true, 1},
        {"lazy waits for a lookup", HXMapKDTree::kAlways, true, 0, 3, false, 0},
        {"eager builds at insertion", HXMapKDTree::kAlways, false, 0, 3, false, 3},
        {"a count: not at it", 5, true, 0, 5, true, 0},
        {"a count: past it", 5, true, 0, 6, true, 6},
        {"automatic: 8 x 12 is not above 100", HXMapKDTree::kAutomatic, true, 100, 12, true, 100},
        {"automatic: 8 x 13 is", HXMapKDTree::kAutomatic, true, 100, 13, true, 113},
        {"automatic: over 1000 always", HXMapKDTree::kAutomatic, true, 20000, 1001, true, 21001},
        {"automatic: 1000 into 20000 is not", HXMapKDTree::kAutomatic, true, 20000, 1000, true,
         20000},
    };
    std::vector<int32_t> found;
    for (const Case& c : cases) {
        HXMapKDTree map;
        for (size_t k = 0; k < c.builtFirst; ++k) {
            const float q[3] = {float(k), 1, 0};
            map.Insert(q, static_cast<int32_t>(k));
        }
        map.Build();
        map.SetRebuildModes(c.mode, HXMapKDTree::kNever);
        map.SetLazy(c.lazy);
        for (size_t k = 0; k < c.inserted; ++k) {
            const float q[3] = {float(k), 2, 0};
            map.Insert(q, static_cast<int32_t>(k));
        }
        const float last[3] = {float(c.inserted - 1), 2, 0};
        if (c.lookUp) {
            // Built or pending, a point is found.
            EXPECT_EQ(map.Lookup(last, found), 1u) << c.what;
        }
        EXPECT_EQ(map.GetBuiltSize(), c.built) << c.what;
        EXPECT_EQ(map.GetPendingSize(), c.builtFirst + c.inserted - c.built) << c.what;
    }
}

TEST(PointMap, AProgressThatSaysNoCancelsTheBuild) {
    HXMapKDTree map;
    uint32_t calls = 0;
    map.SetProgress([&](uint32_t nodes, uint32_t total) {
        ++calls;
        EXPECT_GE(total, nodes);
        return false;
    });
    for (int k = 0; k < 3000; ++k) {
        const float q[3] = {float(k), 0, 0};
        map.Insert(q, k);
    }
    map.Build();
    EXPECT_TRUE(map.WasCancelled());
    EXPECT_EQ(calls, 1u);  // the first answer stops it
}

TEST(PointMap, MemoryChainReusesItsBlocks) {
    HXMemoryChain chain(100);
    for (int k = 0; k < 25; ++k)
        ASSERT_NE(chain.Allocate(20), nullptr);
    EXPECT_EQ(chain.GetBlockCount(), 5u);
    EXPECT_EQ(chain.Allocate(101), nullptr);
    chain.Rewind();
    for (int k = 0; k < 25; ++k)
        chain.Allocate(20);
    EXPECT_EQ(chain.GetBlockCount(), 5u);
}

}  // namespace
