#include "mesh/skin_placement.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/kiv/display/geometry_chunk.h"

namespace {

constexpr uint8_t kFreeMark = 254;

int FloatWeightCount(const Kiv::GeometryChunk& chunk) {
    for (int item = Kiv::kItemWeights4; item >= Kiv::kItemWeights1; --item)
        if (chunk.HasItem(item)) return item - Kiv::kItemWeights1 + 1;
    return 0;
}

// The place the vertex's index word marks as free, or -1 for a vertex to start afresh.
int MarkedPlace(const uint8_t* index) {
    for (int m = 1; m < 4; ++m)
        if (index[m] == kFreeMark) return m;
    return -1;
}

}  // namespace

bool ChunkHasSkinItems(const Kiv::GeometryChunk& chunk) {
    return chunk.HasItem(Kiv::kItemBoneIndices) &&
           (chunk.HasItem(Kiv::kItemPackedWeights) || FloatWeightCount(chunk) > 0);
}

void PlaceInfluence(Kiv::GeometryChunk& chunk, uint32_t vertex, uint32_t position, float weight,
                    PackedWeightRounding rounding) {
    if (vertex >= chunk.GetVertexCount() || position > 85) return;
    uint8_t* indices = chunk.GetItem(Kiv::kItemBoneIndices);
    if (indices == nullptr) return;
    uint8_t* index = indices + size_t{vertex} * 4;
    uint8_t slot = static_cast<uint8_t>(position * 3);

    if (uint8_t* packed = chunk.GetItem(Kiv::kItemPackedWeights)) {
        float scaled = std::clamp(weight, 0.0f, 1.0f) * 255.0f;
        uint8_t w = static_cast<uint8_t>(rounding == PackedWeightRounding::kNearest
                                             ? std::lround(scaled)
                                             : static_cast<long>(scaled));
        uint8_t* weights = packed + size_t{vertex} * 4;
        int m = MarkedPlace(index);
        if (m < 0) {
            const uint8_t first[4] = {slot, kFreeMark, 0, 0};
            std::memcpy(index, first, 4);
            const uint8_t firstWeights[4] = {w, 0, 0, 0};
            std::memcpy(weights, firstWeights, 4);
            return;
        }
        index[m] = slot;
        weights[m] = w;
        if (m < 3) index[m + 1] = kFreeMark;
        return;
    }

    int count = FloatWeightCount(chunk);
    if (count == 0) return;
    float* weights = reinterpret_cast<float*>(chunk.GetItem(Kiv::kItemWeights1 + count - 1)) +
                     size_t{vertex} * count;
    if (count == 1) {
        // One weight a vertex: a later influence replaces an earlier one.
        const uint8_t only[4] = {slot, 0, 0, 0};
        std::memcpy(index, only, 4);
        std::memcpy(weights, &weight, sizeof(float));
        return;
    }
    int m = MarkedPlace(index);
    if (m < 0) {
        const uint8_t first[4] = {slot, kFreeMark, 0, 0};
        std::memcpy(index, first, 4);
        for (int k = 0; k < count; ++k)
            weights[k] = 0;
        weights[0] = weight;
        return;
    }
    index[m] = slot;
    if (m < count) weights[m] = weight;
    if (m < 3) index[m + 1] = kFreeMark;
}
