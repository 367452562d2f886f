// How one influence lands in a vertex's four influence places, shared by the indexed mesh's
// skin palette and the LOD mesh's bone weights.
//
// The index word's byte 254 marks the next free place: a vertex's first influence fills place
// 0, clears the other weights and marks place 1; each later one takes the marked place and
// marks the next; the fourth leaves no mark; a fifth starts the vertex again as a first one.
// The index byte of a place is the palette position times 3 (three constant registers a
// matrix), so positions above 85 cannot be placed and are passed over.
#pragma once

#include <cstdint>

namespace Kiv {
class GeometryChunk;
}

enum class PackedWeightRounding { kNearest, kTruncate };

// The chunk's weight form: packed bytes (item 9) or 1 to 4 floats (items 5 to 8); false when it
// has neither, or no bone-index item.
bool ChunkHasSkinItems(const Kiv::GeometryChunk& chunk);

// Places (position, weight) into the vertex; nothing for a vertex past the chunk's count or a
// position above 85.
void PlaceInfluence(Kiv::GeometryChunk& chunk, uint32_t vertex, uint32_t position, float weight,
                    PackedWeightRounding rounding);
