// Kiv::GeometryChunk: one piece of geometry with one material, kept in memory. Its vertex data
// is a set of items, each one array with a fixed size per vertex, numbered as the engine
// numbers them (VertexItem); which items a chunk has follows from the hint it was made with.
// Beside the vertices: a 16-bit index array, one normal per face, optional face neighbours,
// the palette of influence matrices the skin uses, and a flags word.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/kiv/base/pstring.h"

namespace Kiv {

class Display;
class RenderKernel;

enum VertexItem : int {
    kItemPositions = 1,  // three f32
    kItemColor1 = 2,     // u32
    kItemColor2 = 3,     // u32
    kItemNormals = 4,    // three f32
    kItemWeights1 = 5,   // 5 to 8: one to four f32 weights
    kItemWeights4 = 8,
    kItemPackedWeights = 9,  // four weight bytes in one u32
    kItemBoneIndices = 10,   // four index bytes in one u32
    kItemTexCoord0 = 15,     // 15 to 22: texture-coordinate sets 0 to 7, two f32
    kItemTexCoord7 = 22,
};

// Bytes one vertex takes in an item.
uint32_t VertexItemSize(int item);

// How a chunk is to be made. Flag bits: 1 lit in software, 2 skinned, 4 skinned in software,
// 8 hardware weights as floats.
struct StandardChunkHint {
    static constexpr uint32_t kSoftwareLighting = 1;
    static constexpr uint32_t kSkinned = 2;
    static constexpr uint32_t kSoftwareSkinning = 4;
    static constexpr uint32_t kFloatWeights = 8;

    StandardChunkHint(uint32_t kind, uint32_t variant) : kind(kind), variant(variant) {}
    uint32_t kind, variant;
    uint32_t vertexUsage = 2;
    uint32_t indexUsage = 2;
    uint32_t flags = 0;
    uint32_t maxWeights = 0;  // weights a vertex carries in hardware (1 to 4)
    uint32_t bonesLimit = 0;
    uint32_t texCoordSets = 1;
    uint32_t weightsPerVertex = 0;  // as the file gave it, whatever the skinning path
    uint32_t ownerValue = 0;
    float headerValue = 0;
    PString vertexType;  // empty: the default vertex type
};

// A mesh file's primitive bits, kept in the low five bits of a chunk's flags word: none is a
// line strip, 1 a point list, 2 a line list, 4 a triangle list, 8 a strip, 16 a fan. Whoever
// walks a chunk's triangles reads them there.
constexpr uint32_t kPrimitiveBitsMask = 31;
constexpr uint32_t kPrimitiveBitsTriangleList = 4;
constexpr uint32_t kPrimitiveBitsTriangleStrip = 8;
constexpr uint32_t kPrimitiveBitsTriangleFan = 16;

// The engine's primitive code (0 list, 1 strip, 2 fan, 3 points, 4 lines, 5 line strip) for a
// file's primitive bits; false for any other value than one bit or none.
bool PrimitiveCodeOfBits(uint32_t bits, uint32_t* code);

class GeometryChunk {
public:
    // The flags-word bit of a chunk the engine skins in software.
    static constexpr uint32_t kFlagSoftwareSkinning = 64;

    // primitive: the engine's primitive code (0 to 5).
    GeometryChunk(uint32_t vertexCount, uint32_t fourthCount, uint32_t indexCount,
                  uint32_t faceCount, uint32_t primitive, const StandardChunkHint& hint);
    // A prepared chunk gives its buffers back to the kernel it was prepared on, when that kernel
    // is still alive: meshes come and go while one kernel lives on.
    ~GeometryChunk();

    uint32_t GetVertexCount() const { return vertexCount_; }
    uint32_t GetIndexCount() const { return indexCount_; }
    uint32_t GetFaceCount() const { return faceCount_; }
    uint32_t GetFourthCount() const { return fourthCount_; }
    uint32_t GetPrimitive() const { return primitive_; }
    const StandardChunkHint& GetHint() const { return hint_; }
    uint32_t GetFlags() const { return flags_; }
    void SetFlags(uint32_t flags) { flags_ = flags; }
    // The opacity the chunk is drawn with on the display (1 as made).
    void SetOpacity(Display* display, float opacity) {
        (void)display;
        opacity_ = opacity;
    }
    float GetOpacity() const { return opacity_; }
    // Bytes one vertex takes over all its items.
    uint32_t GetVertexSize() const;
    uint32_t GetNumTexCoordSets() const;

    bool HasItem(int item) const { return items_.count(item) != 0; }
    // The item's array (vertex count × its size), or null when the chunk lacks it.
    uint8_t* GetItem(int item);
    const uint8_t* GetItem(int item) const;
    template <typename T>
    T* GetItemAs(int item) {
        return reinterpret_cast<T*>(GetItem(item));
    }

    // Null when the chunk has none (it has one unless a test took it away).
    uint16_t* GetIndexArray() { return hasIndexArray_ ? indices_.data() : nullptr; }
    const uint16_t* GetIndexArray() const { return hasIndexArray_ ? indices_.data() : nullptr; }
    float* GetFaceNormalArray() { return faceNormals_.data(); }
    const float* GetFaceNormalArray() const { return faceNormals_.data(); }

    // Three u32 per face.
    void SetFaceNeighborArray(std::vector<uint32_t> neighbours) {
        neighbours_ = std::move(neighbours);
    }
    uint32_t GetNumFaceNeighbors() const { return static_cast<uint32_t>(neighbours_.size() / 3); }
    const uint32_t* GetFaceNeighborArray() const { return neighbours_.data(); }

    // The palette position of influence k, added at the end the first time.
    uint32_t AddInfluenceMatrix(uint32_t influence);
    const std::vector<uint32_t>& GetInfluencePalette() const { return palette_; }

    // The matrix a skin gives palette position k for this frame (row-major 4x4, row vectors):
    // a chunk that follows one bone is moved by its matrix instead of by its vertices.
    using InfluenceMatrix = std::array<float, 16>;
    void AssignInfluenceMatrix(uint32_t position, const InfluenceMatrix& matrix);
    // The matrix assigned to palette position k; null when none was.
    const InfluenceMatrix* GetAssignedInfluenceMatrix(uint32_t position) const;

    // The draw state a frame starts from: the engine's reset with the caller's value (-1: all of
    // it). Counted, so a test sees which chunks a frame reset.
    void Reset(int value) {
        lastReset_ = value;
        ++resets_;
    }
    uint32_t GetResetCount() const { return resets_; }
    int GetLastReset() const { return lastReset_; }

    // Our layout query: 1 for an indexed chunk with positions (the layout whose data another
    // chunk of the same vertex format can replace), 0 otherwise.
    uint32_t GetLayout() const;
    // Whether this chunk's vertex format takes another's vertices: the same items, whole.
    bool AcceptsVertexFormat(const GeometryChunk& other) const;
    // Takes another chunk's counts, vertices, indices, face normals and neighbours (flags and
    // skin palette stay), and hands them to the kernel (when there is one).
    bool TakeData(const GeometryChunk& other, RenderKernel* kernel);
    // Hands the chunk's current positions to the kernel again (after the chunk's vertices moved).
    bool RefreshVertices(RenderKernel* kernel);

    // A copy of the chunk's data, not yet handed to any render kernel.
    std::shared_ptr<GeometryChunk> Copy() const;

    // Hands the vertices and indices to the render kernel; false when it refuses them.
    bool PrepareForDisplay(RenderKernel* kernel);
    bool IsPrepared() const { return prepared_; }
    // The render kernel's buffers of a prepared chunk (0 before; no index buffer without
    // indices).
    uint32_t GetVertexBuffer() const { return vertexBuffer_; }
    uint32_t GetIndexBuffer() const { return indexBuffer_; }

    // Test hooks: chunks made from now on lack the item (0: none), or their index array.
    static void SetMissingItemForTesting(int item);
    static void SetMissingIndexArrayForTesting(bool missing);

private:
    uint32_t vertexCount_, fourthCount_, indexCount_, faceCount_, primitive_;
    StandardChunkHint hint_;
    uint32_t flags_ = 0;
    float opacity_ = 1.0f;
    std::map<int, std::vector<uint8_t>> items_;
    bool hasIndexArray_ = true;
    std::vector<uint16_t> indices_;
    std::vector<float> faceNormals_;
    std::vector<uint32_t> neighbours_;
    std::vector<uint32_t> palette_;
    std::map<uint32_t, InfluenceMatrix> assigned_;
    int lastReset_ = 0;
    uint32_t resets_ = 0;
    bool prepared_ = false;
    uint32_t vertexBuffer_ = 0, indexBuffer_ = 0;
    RenderKernel* kernel_ = nullptr;  // the kernel the buffers are on
    uint64_t kernelSerial_ = 0;
};

}  // namespace Kiv
