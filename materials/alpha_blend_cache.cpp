#include "materials/alpha_blend_cache.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace Kiv {

namespace {

std::atomic<AlphaBlendCacheUnsorted*> gLatestUnsorted{nullptr};

// The primitive bits of a chunk's flags word.
constexpr uint32_t kPrimitiveMask = 31;
constexpr uint32_t kStripBit = 8;
constexpr uint32_t kFanBit = 16;

}  // namespace

AlphaBlendCacheUnsorted::AlphaBlendCacheUnsorted() : RenderingCache("AlphaBlendCacheUnsorted") {
    gLatestUnsorted.store(this);
}

AlphaBlendCacheUnsorted::~AlphaBlendCacheUnsorted() {
    AlphaBlendCacheUnsorted* self = this;
    gLatestUnsorted.compare_exchange_strong(self, nullptr);
}

AlphaBlendCacheUnsorted* AlphaBlendCacheUnsorted::GetLatest() {
    return gLatestUnsorted.load();
}

void AlphaBlendCacheUnsorted::Add(AlphaBlendRenderer* renderer, const GeometryChunk* chunk,
                                  uint32_t first, uint32_t second) {
    if (renderer == nullptr || chunk == nullptr) return;
    entries_.push_back({renderer, chunk, first, second});
}

void AlphaBlendCacheUnsorted::BeginStates(Display& display) {
    Display::States& states = display.GetStates();
    savedSource_ = states.sourceBlend;
    savedDestination_ = states.destinationBlend;
    states.sourceBlend = source_;
    states.destinationBlend = destination_;
    states.alphaTest = false;
    states.blending = true;
    states.depthWrite = false;
}

void AlphaBlendCacheUnsorted::EndStates(Display& display) {
    Display::States& states = display.GetStates();
    states.sourceBlend = savedSource_;
    states.destinationBlend = savedDestination_;
    states.blending = false;
    states.alphaTest = false;
    states.depthWrite = true;
}

void AlphaBlendCacheUnsorted::Render(Display& display) {
    BeginStates(display);
    for (const Entry& e : entries_)
        e.renderer->RenderChunk(display, *e.chunk, e.first, e.second);
    EndStates(display);
}

void AlphaBlendCacheUnsorted::Flush(Display& display) {
    Render(display);
    entries_.clear();
}

HalvexAlphaBlendCache::HalvexAlphaBlendCache()
    : AlphaBlendCache("HalvexAlphaBlendCache"),
      buckets_(kBucketCount),
      pool_(std::make_unique<Entry[]>(kPoolSlots)) {}

HalvexAlphaBlendCache::~HalvexAlphaBlendCache() = default;

uint32_t HalvexAlphaBlendCache::BucketOf(float depth) {
    const float scaled = depth * kBucketsPerUnit;
    // NaN and negatives go to the first bucket, anything past the range to the last.
    if (!(scaled >= 0.0f)) return 0;
    if (scaled >= static_cast<float>(kBucketCount - 1)) return kBucketCount - 1;
    return static_cast<uint32_t>(scaled);
}

HalvexAlphaBlendCache::Entry* HalvexAlphaBlendCache::TakeEntry() {
    ++liveEntries_;
    if (poolUsed_ < kPoolSlots) return &pool_[poolUsed_++];
    if (!freeHeap_.empty()) {
        Entry* e = freeHeap_.back();
        freeHeap_.pop_back();
        return e;
    }
    heap_.push_back(std::make_unique<Entry>());
    heap_.back()->fromHeap = true;
    return heap_.back().get();
}

void HalvexAlphaBlendCache::ReleaseEntry(Entry* entry) {
    entry->sorted.clear();
    entry->renderer = nullptr;
    entry->chunk = nullptr;
    if (entry->fromHeap) freeHeap_.push_back(entry);
    --liveEntries_;
    // Pool slots are handed out in order; they are taken again from the start only when no
    // entry of any level still holds one (a nested level is drawn while outer ones wait).
    if (liveEntries_ == 0) poolUsed_ = 0;
}

void HalvexAlphaBlendCache::EmptyLevel(uint32_t level) {
    for (uint32_t b = 0; b < kBucketCount; ++b) {
        Bucket& bucket = buckets_[level * kBucketCount + b];
        for (auto& [key, entry] : bucket)
            ReleaseEntry(entry);
        bucket.clear();
    }
}

void HalvexAlphaBlendCache::SortTriangles(Entry& entry, const Vector3& viewer) {
    const GeometryChunk& chunk = *entry.chunk;
    const uint16_t* indices = chunk.GetIndexArray();
    const uint8_t* positions = chunk.GetItem(kItemPositions);
    const uint32_t indexCount = chunk.GetIndexCount();
    const uint32_t vertexCount = chunk.GetVertexCount();
    if (indices == nullptr || positions == nullptr || indexCount < 3) return;
    const uint32_t primitive = chunk.GetFlags() & kPrimitiveMask;
    const bool fan = primitive == kFanBit;
    const bool strip = primitive == kStripBit;
    const uint32_t triangles = fan || strip ? indexCount - 2 : indexCount / 3;
    const uint32_t used = fan || strip ? indexCount : triangles * 3;
    for (uint32_t i = 0; i < used; ++i)
        if (indices[i] >= vertexCount) return;

    // The three indices of triangle t as the chunk has them.
    auto corners = [&](uint32_t t, uint16_t out[3]) {
        if (fan) {
            out[0] = indices[0];
            out[1] = indices[t + 1];
            out[2] = indices[t + 2];
        } else if (strip) {
            out[0] = indices[t];
            out[1] = indices[t + 1];
            out[2] = indices[t + 2];
        } else {
            out[0] = indices[3 * t];
            out[1] = indices[3 * t + 1];
            out[2] = indices[3 * t + 2];
        }
    };
    auto position = [&](uint16_t v) {
        Vector3 p;
        std::memcpy(&p.x, positions + size_t{v} * 12, 12);
        return p;
    };

    keys_.resize(triangles);
    for (uint32_t t = 0; t < triangles; ++t) {
        uint16_t c[3];
        corners(t, c);
        const Vector3 centroid = (position(c[0]) + position(c[1]) + position(c[2])) * (1.0f / 3);
        keys_[t] = {t, (centroid - viewer).LengthSquared()};
    }
    std::qsort(keys_.data(), triangles, sizeof(TriangleKey), GetComparator());
    entry.depth = (keys_.front().key + keys_.back().key) / 2;

    entry.sorted.resize(size_t{triangles} * 3);
    for (uint32_t i = 0; i < triangles; ++i) {
        const uint32_t t = keys_[i].triangle;
        uint16_t c[3];
        corners(t, c);
        // Every second triangle of a strip runs the other way round: reversed, it keeps the
        // winding of the first.
        if (strip && (t & 1) != 0) std::swap(c[0], c[2]);
        std::memcpy(&entry.sorted[size_t{i} * 3], c, sizeof c);
    }
    entry.triangleCount = triangles;
}

void HalvexAlphaBlendCache::Add(AlphaBlendRenderer* renderer, uint32_t first, uint32_t second,
                                const GeometryChunk* chunk, float depth, const Vector3& viewer) {
    if (renderer == nullptr || chunk == nullptr) return;
    const uint32_t bucket = BucketOf(depth);
    Entry* entry = TakeEntry();
    entry->renderer = renderer;
    entry->chunk = chunk;
    entry->first = first;
    entry->second = second;
    entry->depth = depth;
    entry->triangleCount = 0;
    if (bucket < kTriangleSortBucket) SortTriangles(*entry, viewer);
    buckets_[level_ * kBucketCount + bucket].emplace(entry->depth, entry);
}

void HalvexAlphaBlendCache::RenderLevel(Display& display) {
    for (uint32_t b = kBucketCount; b-- > 0;) {
        Bucket& bucket = buckets_[level_ * kBucketCount + b];
        for (auto& [key, e] : bucket) {
            if (e->sorted.empty())
                e->renderer->RenderChunk(display, *e->chunk, e->first, e->second);
            else
                e->renderer->RenderPrimitives(
                    display, *e->chunk, e->first, e->second, e->sorted.data(),
                    static_cast<uint32_t>(e->sorted.size()), e->triangleCount);
            ReleaseEntry(e);
        }
        bucket.clear();
    }
}

void HalvexAlphaBlendCache::Render(Display& display) {
    BeginStates(display);
    RenderLevel(display);
    EndStates(display);
}

void HalvexAlphaBlendCache::Enter(Display& /*display*/, bool nested) {
    if (!nested) return;
    ++level_;
    if (buckets_.size() < size_t{level_ + 1} * kBucketCount)
        buckets_.resize(size_t{level_ + 1} * kBucketCount);
    EmptyLevel(level_);
}

void HalvexAlphaBlendCache::Leave(Display& display, bool nested) {
    if (!nested) return;
    Render(display);
    if (level_ > 0) --level_;
}

bool HalvexAlphaBlendCache::IsEmpty() const {
    for (uint32_t b = 0; b < kBucketCount; ++b)
        if (!buckets_[level_ * kBucketCount + b].empty()) return false;
    return true;
}

void HalvexAlphaBlendCache::Clear() {
    for (uint32_t level = 0; level * kBucketCount < buckets_.size(); ++level)
        EmptyLevel(level);
}

void HalvexAlphaBlendCache::SetNearDistance(float distance) {
    nearDistance_ = distance;
    nearBucket_ = BucketOf(distance);
}

void HalvexAlphaBlendCache::BeginStates(Display& display) {
    Display::States& states = display.GetStates();
    states.alphaTest = false;
    states.blending = true;
    states.depthWrite = false;
}

void HalvexAlphaBlendCache::EndStates(Display& display) {
    Display::States& states = display.GetStates();
    states.sourceBlend = 1;
    states.destinationBlend = 0;
    states.blending = false;
    states.alphaTest = false;
    states.depthWrite = true;
}

int HalvexAlphaBlendCache::CompareKeys(const void* a, const void* b) {
    const float ka = static_cast<const TriangleKey*>(a)->key;
    const float kb = static_cast<const TriangleKey*>(b)->key;
    if (ka < kb) return 1;
    if (ka > kb) return -1;
    return 0;
}

void RegisterAlphaBlendCacheTypes() {
    RenderingCacheManager::RegisterCacheType("HalvexAlphaBlendCache", [] {
        return static_cast<RenderingCache*>(new HalvexAlphaBlendCache);
    });
    // No material of the program hands chunks to the unsorted cache: every plug-in (the bump
    // family's, and the one-texture ones through their engine base) finds its alpha-blend cache
    // by the engine's alpha-blend id, which only the sorted cache carries. The validator still
    // makes the unsorted one at start-up and every frame flushes it, empty; nothing says which
    // material would draw through it, so none is given it.
    RenderingCacheManager::RegisterCacheType("AlphaBlendCacheUnsorted", [] {
        return static_cast<RenderingCache*>(new AlphaBlendCacheUnsorted);
    });
}

}  // namespace Kiv
