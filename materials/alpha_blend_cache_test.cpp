#include "materials/alpha_blend_cache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

using Kiv::AlphaBlendCacheUnsorted;
using Kiv::Display;
using Kiv::GeometryChunk;
using Kiv::HalvexAlphaBlendCache;
using Kiv::Vector3;

// Records every draw and the display's states at the time.
struct Recorder : Kiv::AlphaBlendRenderer {
    struct Draw {
        const GeometryChunk* chunk;
        uint32_t first, second;
        std::vector<uint16_t> indices;  // empty: the whole chunk
        Display::States states;
    };
    std::vector<Draw> draws;

    void RenderChunk(Display& display, const GeometryChunk& chunk, uint32_t first,
                     uint32_t second) override {
        draws.push_back({&chunk, first, second, {}, display.GetStates()});
    }
    void RenderPrimitives(Display& display, const GeometryChunk& chunk, uint32_t first,
                          uint32_t second, const uint16_t* indices, uint32_t indexCount,
                          uint32_t triangleCount) override {
        EXPECT_EQ(indexCount, triangleCount * 3);
        draws.push_back(
            {&chunk, first, second, {indices, indices + indexCount}, display.GetStates()});
    }
};

// A chunk with the given positions and indices; `primitiveBits` is the flags word's (8 strip,
// 16 fan, 0 list).
std::unique_ptr<GeometryChunk> MakeChunk(const std::vector<Vector3>& positions,
                                         const std::vector<uint16_t>& indices,
                                         uint32_t primitiveBits = 0) {
    auto chunk = std::make_unique<GeometryChunk>(static_cast<uint32_t>(positions.size()), 0,
                                                 static_cast<uint32_t>(indices.size()), 0, 0,
                                                 Kiv::StandardChunkHint(4, 24));
    if (!positions.empty())
        std::memcpy(chunk->GetItem(Kiv::kItemPositions), positions.data(), positions.size() * 12);
    if (!indices.empty()) std::memcpy(chunk->GetIndexArray(), indices.data(), indices.size() * 2);
    chunk->SetFlags(primitiveBits);
    return chunk;
}

// Two triangles of a list: triangle 0 near the origin, triangle 1 at x = 10.
std::unique_ptr<GeometryChunk> TwoTriangles() {
    return MakeChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {10, 0, 0}, {11, 0, 0}, {10, 1, 0}},
                     {0, 1, 2, 3, 4, 5});
}

float NormalZ(const std::vector<Vector3>& p, const uint16_t* t) {
    return (p[t[1]] - p[t[0]]).Cross(p[t[2]] - p[t[0]]).z;
}

TEST(AlphaBlendCacheUnsorted, DrawsInTheOrderAddedOnceEachWithBlendingThenRestoresTheDisplay) {
    Display display;
    display.GetStates().sourceBlend = 2;
    display.GetStates().destinationBlend = 3;
    display.GetStates().alphaTest = true;
    auto a = TwoTriangles(), b = TwoTriangles(), c = TwoTriangles();
    Recorder r;
    AlphaBlendCacheUnsorted cache;
    EXPECT_EQ(AlphaBlendCacheUnsorted::GetLatest(), &cache);
    EXPECT_EQ(cache.GetPriority(), 55.0f);
    cache.Add(&r, b.get(), 1, 2);
    cache.Add(&r, a.get(), 3, 4);
    cache.Add(&r, c.get(), 5, 6);
    cache.Render(display);
    ASSERT_EQ(r.draws.size(), 3u);
    EXPECT_EQ(r.draws[0].chunk, b.get());
    EXPECT_EQ(r.draws[1].chunk, a.get());
    EXPECT_EQ(r.draws[2].chunk, c.get());
    EXPECT_EQ(r.draws[1].first, 3u);
    EXPECT_EQ(r.draws[1].second, 4u);
    const Display::States during{4, 5, true, false, false};
    EXPECT_EQ(r.draws[0].states, during);
    const Display::States after{2, 3, false, false, true};
    EXPECT_EQ(display.GetStates(), after);

    cache.Clear();
    r.draws.clear();
    cache.Render(display);
    EXPECT_TRUE(r.draws.empty());
}

TEST(AlphaBlendCacheUnsorted, TheLatestSlotEmptiesWithItsInstance) {
    {
        AlphaBlendCacheUnsorted cache;
        EXPECT_EQ(AlphaBlendCacheUnsorted::GetLatest(), &cache);
    }
    EXPECT_EQ(AlphaBlendCacheUnsorted::GetLatest(), nullptr);
}

TEST(HalvexAlphaBlendCache, BucketsByDepth) {
    const struct {
        float depth;
        uint32_t bucket;
    } cases[] = {{-5.0f, 0},    {0.0f, 0},
                 {4.99f, 0},    {5.0f, 1},
                 {349.0f, 69},  {351.0f, 70},
                 {999.0f, 199}, {1000.0f, 199},
                 {1e30f, 199},  {std::numeric_limits<float>::quiet_NaN(), 0}};
    for (const auto& c : cases)
        EXPECT_EQ(HalvexAlphaBlendCache::BucketOf(c.depth), c.bucket) << c.depth;
    HalvexAlphaBlendCache cache;
    EXPECT_EQ(cache.GetNearBucket(), 50u);
    cache.SetNearDistance(120.0f);
    EXPECT_EQ(cache.GetNearDistance(), 120.0f);
    EXPECT_EQ(cache.GetNearBucket(), 24u);
}

TEST(HalvexAlphaBlendCache, DrawsBackToFrontAndEmptiesItsBuckets) {
    Display display;
    auto chunk = TwoTriangles();
    Recorder r;
    HalvexAlphaBlendCache cache;
    EXPECT_TRUE(cache.IsEmpty());
    // Far chunks, drawn whole: depths 500 and 503 share a bucket, 900 and 400 do not.
    for (uint32_t depth : {500u, 900u, 503u, 400u})
        cache.Add(&r, depth, 0, chunk.get(), static_cast<float>(depth), {});
    EXPECT_FALSE(cache.IsEmpty());
    cache.Render(display);
    ASSERT_EQ(r.draws.size(), 4u);
    const uint32_t order[] = {900, 503, 500, 400};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(r.draws[i].first, order[i]);
        EXPECT_TRUE(r.draws[i].indices.empty());
        EXPECT_TRUE(r.draws[i].states.blending);
        EXPECT_FALSE(r.draws[i].states.depthWrite);
        EXPECT_FALSE(r.draws[i].states.alphaTest);
    }
    const Display::States after{1, 0, false, false, true};
    EXPECT_EQ(display.GetStates(), after);
    EXPECT_TRUE(cache.IsEmpty());
    r.draws.clear();
    cache.Render(display);
    EXPECT_TRUE(r.draws.empty());
}

TEST(HalvexAlphaBlendCache, SortsTheTrianglesOfNearChunksFarthestFirst) {
    Display display;
    auto chunk = TwoTriangles();
    Recorder r;
    HalvexAlphaBlendCache cache;
    // The viewer beside triangle 0: triangle 1 is farther and comes first.
    cache.Add(&r, 349, 0, chunk.get(), 349.0f, {0, 0, 1});
    cache.Add(&r, 351, 0, chunk.get(), 351.0f, {0, 0, 1});
    cache.Render(display);
    ASSERT_EQ(r.draws.size(), 2u);
    EXPECT_EQ(r.draws[0].first, 351u);
    EXPECT_TRUE(r.draws[0].indices.empty());
    EXPECT_EQ(r.draws[1].first, 349u);
    EXPECT_EQ(r.draws[1].indices, (std::vector<uint16_t>{3, 4, 5, 0, 1, 2}));

    // The viewer beside triangle 1: the list's own order.
    r.draws.clear();
    cache.Add(&r, 1, 0, chunk.get(), 10.0f, {10, 0, 1});
    cache.Render(display);
    ASSERT_EQ(r.draws.size(), 1u);
    EXPECT_EQ(r.draws[0].indices, (std::vector<uint16_t>{0, 1, 2, 3, 4, 5}));
}

TEST(HalvexAlphaBlendCache, StripsKeepTheirWindingAndFansTheirCentre) {
    // A strip of four triangles along x, facing +z when drawn as a strip.
    const std::vector<Vector3> strip{{0, 0, 0}, {0, 1, 0}, {1, 0, 0},
                                     {1, 1, 0}, {2, 0, 0}, {2, 1, 0}};
    auto stripChunk = MakeChunk(strip, {0, 1, 2, 3, 4, 5}, 8);
    ASSERT_LT(NormalZ(strip, std::vector<uint16_t>{0, 1, 2}.data()), 0.0f);
    // A fan of four triangles around vertex 0.
    const std::vector<Vector3> fan{{0, 0, 0}, {1, 0, 0},  {1, 1, 0},
                                   {0, 1, 0}, {-1, 1, 0}, {-1, 0, 0}};
    auto fanChunk = MakeChunk(fan, {0, 1, 2, 3, 4, 5}, 16);

    Display display;
    Recorder r;
    HalvexAlphaBlendCache cache;
    // Viewers that put the triangles out of their own order: the sorted position of a strip
    // triangle is not its parity in the strip.
    for (const Vector3& viewer : {Vector3{1.2f, 0.5f, 1}, Vector3{5, 0.2f, 1}, Vector3{-3, 1, 1}}) {
        r.draws.clear();
        cache.Add(&r, 0, 0, stripChunk.get(), 1.0f, viewer);
        cache.Add(&r, 1, 0, fanChunk.get(), 1.0f, viewer);
        cache.Render(display);
        ASSERT_EQ(r.draws.size(), 2u);
        for (const Recorder::Draw& d : r.draws) {
            ASSERT_EQ(d.indices.size(), 12u);
            const auto& p = d.first == 0 ? strip : fan;
            for (size_t t = 0; t < 4; ++t) {
                const float z = NormalZ(p, &d.indices[3 * t]);
                if (d.first == 0)
                    EXPECT_LT(z, 0.0f) << "strip triangle " << t;
                else
                    EXPECT_EQ(d.indices[3 * t], 0u) << "fan triangle " << t;
            }
        }
    }
}

TEST(HalvexAlphaBlendCache, ChunksWhoseTrianglesCannotBeReadAreDrawnWhole) {
    auto outside = MakeChunk({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 7});
    auto empty = MakeChunk({{0, 0, 0}}, {});
    Kiv::GeometryChunk::SetMissingItemForTesting(Kiv::kItemPositions);
    auto noPositions = MakeChunk({}, {0, 1, 2});
    Kiv::GeometryChunk::SetMissingItemForTesting(0);
    Display display;
    Recorder r;
    HalvexAlphaBlendCache cache;
    for (const GeometryChunk* c : {outside.get(), empty.get(), noPositions.get()})
        cache.Add(&r, 0, 0, c, 1.0f, {});
    cache.Render(display);
    ASSERT_EQ(r.draws.size(), 3u);
    for (const Recorder::Draw& d : r.draws)
        EXPECT_TRUE(d.indices.empty());
}

TEST(HalvexAlphaBlendCache, EntriesPastThePoolComeFromTheHeapAndAreReused) {
    auto chunk = TwoTriangles();
    Display display;
    Recorder r;
    HalvexAlphaBlendCache cache;
    const uint32_t count = HalvexAlphaBlendCache::kPoolSlots + 50;
    for (int round = 0; round < 2; ++round) {
        r.draws.clear();
        for (uint32_t i = 0; i < count; ++i)
            cache.Add(&r, i, 0, chunk.get(), 400.0f + static_cast<float>(i % 500), {});
        cache.Render(display);
        ASSERT_EQ(r.draws.size(), count);
        EXPECT_EQ(cache.GetHeapEntryCount(), 50u);
        std::vector<int> seen(count);
        for (const Recorder::Draw& d : r.draws) {
            ASSERT_LT(d.first, count);
            ++seen[d.first];
        }
        for (uint32_t i = 0; i < count; ++i)
            ASSERT_EQ(seen[i], 1) << i;
        // Back to front: the depth never grows.
        for (size_t i = 1; i < r.draws.size(); ++i)
            ASSERT_GE(r.draws[i - 1].first % 500, r.draws[i].first % 500);
    }
}

TEST(HalvexAlphaBlendCache, ANestedLevelDrawsOnItsOwnAndLeavesTheOuterOneWhole) {
    auto chunk = TwoTriangles();
    Display display;
    Recorder r;
    HalvexAlphaBlendCache cache;
    cache.Add(&r, 1, 0, chunk.get(), 500.0f, {});
    cache.Enter(display, true);
    EXPECT_EQ(cache.GetLevel(), 1u);
    EXPECT_TRUE(cache.IsEmpty());
    cache.Add(&r, 2, 0, chunk.get(), 600.0f, {});
    cache.Leave(display, true);
    ASSERT_EQ(r.draws.size(), 1u);
    EXPECT_EQ(r.draws[0].first, 2u);
    EXPECT_EQ(cache.GetLevel(), 0u);
    EXPECT_FALSE(cache.IsEmpty());
    // An entry added now must not take the slot the waiting one holds.
    cache.Add(&r, 3, 0, chunk.get(), 400.0f, {});
    cache.Render(display);
    ASSERT_EQ(r.draws.size(), 3u);
    EXPECT_EQ(r.draws[1].first, 1u);
    EXPECT_EQ(r.draws[2].first, 3u);

    // Unnested calls and a Leave at the first level change no level.
    cache.Enter(display, false);
    cache.Leave(display, true);
    cache.Leave(display, false);
    EXPECT_EQ(cache.GetLevel(), 0u);
    // A level entered again starts empty.
    cache.Enter(display, true);
    cache.Add(&r, 4, 0, chunk.get(), 1.0f, {});
    cache.Leave(display, false);
    cache.Enter(display, false);
    cache.Clear();
    EXPECT_TRUE(cache.IsEmpty());
}

TEST(AlphaBlendCaches, AreMadeByNameOnceRegistered) {
    Kiv::RegisterAlphaBlendCacheTypes();
    Kiv::RenderingCache* sorted = Kiv::RenderingCacheManager::MakeCache("HalvexAlphaBlendCache");
    Kiv::RenderingCache* unsorted =
        Kiv::RenderingCacheManager::MakeCache("AlphaBlendCacheUnsorted");
    EXPECT_NE(dynamic_cast<HalvexAlphaBlendCache*>(sorted), nullptr);
    EXPECT_NE(dynamic_cast<AlphaBlendCacheUnsorted*>(unsorted), nullptr);
    if (sorted != nullptr) sorted->ReleaseReference();
    if (unsorted != nullptr) unsorted->ReleaseReference();
    Kiv::RenderingCacheManager::UnregisterCacheTypes();
}

}  // namespace
