// Collision queries. Segment queries on a 100k-triangle mesh through its compact box tree,
// beside a brute-force Moller-Trumbore loop over every triangle (the same answers, no tree).
// The build itself is measured too; the counters give its rate ("triangles_per_s") and the
// bytes the built tree keeps a triangle ("bytes_per_triangle"). Where Embree is installed, the
// same segments through its scene over the same triangles are printed beside as the reference.
#include <benchmark/benchmark.h>

#include <cmath>
#include <limits>
#include <vector>

#include "bench/ratio.h"
#include "mesh/axis_box_tree.h"
#include "mesh/indexed_mesh_definition.h"
#include "mesh/testing/idxm_writer.h"

#ifdef HALVEX_HAVE_EMBREE
#include <embree3/rtcore.h>
#endif

namespace {

using Kiv::Vector3;

// A 224 x 224 grid (100,352 triangles), bent into hills so that the tree has depth to use.
struct Terrain {
    HalvexIndexedMeshDefinition def;
    std::unique_ptr<CollisionGeometrySharingInterface> geometry;
    std::unique_ptr<HXAxisBoxTree> tree;
    std::vector<std::array<Vector3, 3>> triangles;
    std::vector<std::pair<Vector3, Vector3>> segments;
    bool ok = false;

    Terrain() {
        meshtesting::IdxmFile f = meshtesting::GridMesh(224);
        for (auto& s : f.subMeshes)
            for (size_t v = 0; v < s.geometry.vertices.size(); v += 5) {
                float x = s.geometry.vertices[v], y = s.geometry.vertices[v + 1];
                s.geometry.vertices[v + 2] = 3 * std::sin(x * 0.1f) * std::cos(y * 0.13f);
            }
        Kiv::Display display;
        Kiv::MaterialManager materials;
        materials.RegisterType("m.onetex");
        def.OpenBytes(meshtesting::WriteIdxm(f), "terrain.im");
        ok = def.Load(&display, &materials) == 0;
        if (!ok) return;
        tree = BuildCollisionTree(def, &geometry);
        for (uint32_t c = 0; c < def.GetNumSubMeshes(); ++c)
            for (uint32_t t = 0; 3 * t + 2 < def.GetIndexCount(c); ++t) {
                std::array<Vector3, 3> tri;
                if (geometry->GetTriangle(HXAxisBoxTree::MakeReference(c, t), tri.data()))
                    triangles.push_back(tri);
            }
        for (int k = 0; k < 256; ++k) {
            float x = std::fmod(k * 37.77f, 224.0f), y = std::fmod(k * 91.31f, 224.0f);
            segments.push_back({Vector3{x, y, 20}, Vector3{x + 3, y - 2, -20}});
        }
    }
};

Terrain& Land() {
    static Terrain terrain;
    return terrain;
}

void BM_TreeSegmentQuery(benchmark::State& state) {
    Terrain& t = Land();
    if (!t.ok) return state.SkipWithError("the terrain does not load");
    size_t k = 0, hits = 0;
    for (auto _ : state) {
        const auto& s = t.segments[k++ % t.segments.size()];
        HXSegmentHit hit = t.tree->SegmentQuery(s.first, s.second);
        hits += hit.reference != -1;
        benchmark::DoNotOptimize(hit);
    }
    state.counters["hit_share"] = static_cast<double>(hits) / static_cast<double>(k);
    state.counters["triangles"] = static_cast<double>(t.triangles.size());
}
BENCHMARK(BM_TreeSegmentQuery);

void BM_BruteForceSegmentQuery(benchmark::State& state) {
    Terrain& t = Land();
    if (!t.ok) return state.SkipWithError("the terrain does not load");
    size_t k = 0;
    for (auto _ : state) {
        const auto& s = t.segments[k++ % t.segments.size()];
        Vector3 direction = s.second - s.first;
        float best = std::numeric_limits<float>::max();
        for (const auto& tri : t.triangles)
            RayTriangleTwoSided(s.first, direction, tri[0], tri[1], tri[2], &best);
        benchmark::DoNotOptimize(best);
    }
}
BENCHMARK(BM_BruteForceSegmentQuery)->Unit(benchmark::kMicrosecond);
HALVEX_BENCH_COMPARE("BM_TreeSegmentQuery", "BM_BruteForceSegmentQuery");

#ifdef HALVEX_HAVE_EMBREE
// The terrain's triangles in an Embree scene, built once.
struct EmbreeScene {
    RTCDevice device = rtcNewDevice(nullptr);
    RTCScene scene = rtcNewScene(device);
    explicit EmbreeScene(const Terrain& t) {
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        auto* vertices = static_cast<float*>(
            rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                    3 * sizeof(float), 3 * t.triangles.size()));
        auto* indices = static_cast<unsigned*>(
            rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                    3 * sizeof(unsigned), t.triangles.size()));
        for (size_t i = 0; i < t.triangles.size(); ++i)
            for (int k = 0; k < 3; ++k) {
                const Vector3& v = t.triangles[i][k];
                vertices[9 * i + 3 * k] = v.x;
                vertices[9 * i + 3 * k + 1] = v.y;
                vertices[9 * i + 3 * k + 2] = v.z;
                indices[3 * i + k] = static_cast<unsigned>(3 * i + k);
            }
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(scene, geometry);
        rtcReleaseGeometry(geometry);
        rtcCommitScene(scene);
    }
    ~EmbreeScene() {
        rtcReleaseScene(scene);
        rtcReleaseDevice(device);
    }
};

void BM_EmbreeSegmentQuery(benchmark::State& state) {
    Terrain& t = Land();
    if (!t.ok) return state.SkipWithError("the terrain does not load");
    static EmbreeScene embree(t);
    RTCIntersectContext context;
    rtcInitIntersectContext(&context);
    size_t k = 0, hits = 0;
    for (auto _ : state) {
        const auto& s = t.segments[k++ % t.segments.size()];
        const Vector3 d = s.second - s.first;
        RTCRayHit rh{};
        rh.ray.org_x = s.first.x;
        rh.ray.org_y = s.first.y;
        rh.ray.org_z = s.first.z;
        rh.ray.dir_x = d.x;
        rh.ray.dir_y = d.y;
        rh.ray.dir_z = d.z;
        rh.ray.tnear = 0;
        rh.ray.tfar = 1;  // the segment: the direction is its whole length
        rh.ray.mask = 0xFFFFFFFFu;
        rh.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(embree.scene, &context, &rh);
        hits += rh.hit.geomID != RTC_INVALID_GEOMETRY_ID;
        benchmark::DoNotOptimize(rh);
    }
    state.counters["hit_share"] = static_cast<double>(hits) / static_cast<double>(k);
}
BENCHMARK(BM_EmbreeSegmentQuery);
HALVEX_BENCH_COMPARE("BM_TreeSegmentQuery", "BM_EmbreeSegmentQuery");
#endif

void BM_TreeBuild(benchmark::State& state) {
    Terrain& t = Land();
    if (!t.ok) return state.SkipWithError("the terrain does not load");
    size_t bytes = 0;
    for (auto _ : state) {
        std::unique_ptr<CollisionGeometrySharingInterface> geometry;
        auto tree = BuildCollisionTree(t.def, &geometry);
        bytes = tree->GetMemorySize();
        benchmark::DoNotOptimize(tree.get());
    }
    double n = static_cast<double>(t.triangles.size());
    state.counters["triangles_per_s"] = benchmark::Counter(
        n * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes_per_triangle"] = static_cast<double>(bytes) / n;
}
BENCHMARK(BM_TreeBuild)->Unit(benchmark::kMillisecond);

}  // namespace
