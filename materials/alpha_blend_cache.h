// The program's two alpha-blend caches. Materials that blend with what is drawn already do not
// draw their chunks at once: they hand each to a cache, which draws them after the opaque
// geometry with blending on and depth writes off. AlphaBlendCacheUnsorted draws the chunks in
// the order they came; HalvexAlphaBlendCache draws them back to front by depth and sorts the
// triangles of near chunks. The material plug-ins provide both as rendering-cache types
// ("AlphaBlendCacheUnsorted", "HalvexAlphaBlendCache"), which the validator's data manager makes
// at start-up. Both are used from the rendering thread only and take no locks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "platform/kiv/display/display.h"
#include "platform/kiv/display/geometry_chunk.h"
#include "platform/kiv/display/materials.h"
#include "platform/kiv/scene/geometry.h"

namespace Kiv {

class AlphaBlendCacheUnsorted : public RenderingCache {
public:
    static constexpr float kPriority = 55.0f;
    static constexpr uint32_t kSourceAlpha = 4;
    static constexpr uint32_t kInverseSourceAlpha = 5;

    AlphaBlendCacheUnsorted();
    ~AlphaBlendCacheUnsorted() override;

    float GetPriority() const { return kPriority; }
    // The blend factors the chunks are drawn with (source alpha, one minus source alpha).
    void SetBlendFactors(uint32_t source, uint32_t destination) {
        source_ = source;
        destination_ = destination;
    }

    void Add(AlphaBlendRenderer* renderer, const GeometryChunk* chunk, uint32_t first,
             uint32_t second);
    uint32_t GetCount() const { return static_cast<uint32_t>(entries_.size()); }
    // Both forget every chunk.
    void Clear() override { entries_.clear(); }
    void Reset() { entries_.clear(); }
    // Draws every chunk once, in the order added, between BeginStates and EndStates.
    void Render(Display& display);
    // Render, then forget the chunks.
    void Flush(Display& display) override;

    // Saves the display's blend factors and sets the cache's, blending on, the alpha test off
    // and depth writes off; EndStates puts the saved factors back, blending and the alpha test
    // off and depth writes on.
    void BeginStates(Display& display);
    void EndStates(Display& display);

    // The instance made last and still alive, or null.
    static AlphaBlendCacheUnsorted* GetLatest();

private:
    struct Entry {
        AlphaBlendRenderer* renderer;
        const GeometryChunk* chunk;
        uint32_t first, second;
    };
    std::vector<Entry> entries_;
    uint32_t source_ = kSourceAlpha;
    uint32_t destination_ = kInverseSourceAlpha;
    uint32_t savedSource_ = 1;
    uint32_t savedDestination_ = 0;
};

class HalvexAlphaBlendCache : public AlphaBlendCache {
public:
    // Depths 0 to 1000 fall into 200 buckets of 5 units per nesting level; chunks in buckets
    // below 70 (nearer than 350) have their triangles sorted.
    static constexpr uint32_t kBucketCount = 200;
    static constexpr float kBucketRange = 1000.0f;
    static constexpr float kBucketsPerUnit = kBucketCount / kBucketRange;
    static constexpr float kTriangleSortDistance = 350.0f;
    static constexpr uint32_t kTriangleSortBucket = 70;
    static constexpr float kNearDistance = 250.0f;
    // Entries come from a pool of this many slots, then from the heap.
    static constexpr size_t kPoolSlots = 10000;

    HalvexAlphaBlendCache();
    ~HalvexAlphaBlendCache() override;

    // The bucket of a depth: depth × 0.2, truncated, clamped to 0..199.
    static uint32_t BucketOf(float depth);

    // Takes a chunk at `depth`. `viewer` is the viewer's position in the chunk's space, from
    // which a near chunk's triangles are sorted farthest first; such a chunk's depth becomes the
    // mean of its farthest and nearest triangle's key (squared distances). A chunk whose
    // triangles cannot be read (no positions or indices, an index past its vertices) is drawn
    // whole.
    void Add(AlphaBlendRenderer* renderer, uint32_t first, uint32_t second,
             const GeometryChunk* chunk, float depth, const Vector3& viewer);
    // A material's blended chunk, as Add takes it.
    bool AddChunk(AlphaBlendRenderer* renderer, const GeometryChunk& chunk, float depth,
                  const Vector3& viewer) override {
        Add(renderer, 0, 0, &chunk, depth, viewer);
        return true;
    }
    // The frame's end: Render.
    void Flush(Display& display) override { Render(display); }
    // Draws the current level's chunks, bucket 199 down to 0, each bucket's largest depth
    // first, and empties it.
    void Render(Display& display);
    // With `nested`, Enter opens a level of 200 empty buckets above the current one, and Leave
    // draws the current level and goes back down (never below the first level).
    void Enter(Display& display, bool nested);
    void Leave(Display& display, bool nested);
    // True when every bucket of the current level is empty.
    bool IsEmpty() const;
    // Empties every level; the entries go back for reuse.
    void Clear() override;
    void Reset() {}

    void SetNearDistance(float distance);
    float GetNearDistance() const { return nearDistance_; }
    uint32_t GetNearBucket() const { return nearBucket_; }

    // Blending on, the alpha test and depth writes off; EndStates: blend factors one and zero,
    // blending and the alpha test off, depth writes on.
    void BeginStates(Display& display);
    void EndStates(Display& display);

    // Orders (triangle, key) pairs by key, largest first (a qsort comparator).
    using Comparator = int (*)(const void*, const void*);
    Comparator GetComparator() const { return &CompareKeys; }

    uint32_t GetLevel() const { return level_; }
    // Entries taken from the heap because the pool was full (for tests).
    size_t GetHeapEntryCount() const { return heap_.size(); }

private:
    struct Entry {
        AlphaBlendRenderer* renderer = nullptr;
        const GeometryChunk* chunk = nullptr;
        uint32_t first = 0, second = 0;
        std::vector<uint16_t> sorted;  // three indices per triangle; empty: drawn whole
        uint32_t triangleCount = 0;
        float depth = 0;
        bool fromHeap = false;
    };
    struct TriangleKey {
        uint32_t triangle;
        float key;
    };
    // Keys ordered largest first; equal keys keep the order they came in.
    using Bucket = std::multimap<float, Entry*, std::greater<float>>;

    static int CompareKeys(const void* a, const void* b);
    Entry* TakeEntry();
    void ReleaseEntry(Entry* entry);
    void EmptyLevel(uint32_t level);
    void SortTriangles(Entry& entry, const Vector3& viewer);
    void RenderLevel(Display& display);

    std::vector<Bucket> buckets_;  // kBucketCount per level
    uint32_t level_ = 0;
    float nearDistance_ = kNearDistance;
    uint32_t nearBucket_ = 50;
    std::unique_ptr<Entry[]> pool_;
    size_t poolUsed_ = 0;
    size_t liveEntries_ = 0;
    std::vector<std::unique_ptr<Entry>> heap_;
    std::vector<Entry*> freeHeap_;
    std::vector<TriangleKey> keys_;  // reused from chunk to chunk
};

// Registers the two caches as rendering-cache types (the material plug-ins provide them).
void RegisterAlphaBlendCacheTypes();

}  // namespace Kiv
