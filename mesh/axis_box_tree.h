// HXAxisBoxTree: the compact box tree over every triangle of a mesh definition, built once per
// definition and shared by its instances, answering segment queries (the nearest hit with its
// point, normal and triangle). The tree keeps no triangles: it keeps references and asks an
// external-geometry object for a triangle's corners.
//
// A triangle reference is the compact leaf's own split: bits 0-14 the triangle number in its
// chunk (first index / 3), bits 15 and up the chunk number, so a tree addresses 32768 triangles
// a chunk and 512 chunks, and no triangle reads as another chunk's.
//
// Built form: 20-byte nodes (two words: children's indices, or for a leaf -1 - first entry and
// the entry count; the box as three signed 16-bit centres and three unsigned 16-bit half extents
// on the tree's scales, each box widened until it holds its float box) and 3-byte leaf entries.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "mesh/point_map.h"
#include "platform/kiv/scene/geometry.h"

class HalvexIndexedMeshDefinition;

class HXAxisBoxTreeExternalGeometry {
public:
    virtual ~HXAxisBoxTreeExternalGeometry() = default;
    // The three corners of the referenced triangle; false when it names none.
    virtual bool GetTriangle(uint32_t reference, Kiv::Vector3 corners[3]) const = 0;
};

// A definition's triangles: a reference names a chunk and a triangle of its index array.
class CollisionGeometrySharingInterface : public HXAxisBoxTreeExternalGeometry {
public:
    // A loaded definition's chunks do not change, so where each keeps its indices and
    // positions is taken once, here, rather than looked up for every triangle a query reads.
    explicit CollisionGeometrySharingInterface(const HalvexIndexedMeshDefinition& definition);
    bool GetTriangle(uint32_t reference, Kiv::Vector3 corners[3]) const override;

private:
    struct Chunk {
        const uint16_t* indices = nullptr;
        const float* positions = nullptr;
        uint32_t indexCount = 0, vertexCount = 0;
    };
    std::vector<Chunk> chunks_;
};

struct HXSegmentHit {
    Kiv::Vector3 point, normal;
    float fraction = -1.0f;  // along the segment; -1 for no hit
    int32_t reference = -1;
    int32_t spare = -1;
};

class HXAxisBoxTree {
public:
    static constexpr uint32_t kDefaultLeafSize = 64;
    static constexpr uint32_t kMaxChunks = 512;
    static constexpr uint32_t kMaxTrianglesPerChunk = 32768;
    static constexpr uint32_t kMaxItems = 8300000;
    static constexpr uint32_t kMaxVertices = 16700000;

    struct CompactNode {
        int32_t first, second;
        int16_t centre[3];
        uint16_t half[3];
    };
    static_assert(sizeof(CompactNode) == 20);

    explicit HXAxisBoxTree(const HXAxisBoxTreeExternalGeometry* geometry);
    virtual ~HXAxisBoxTree();
    HXAxisBoxTree(const HXAxisBoxTree&) = delete;
    HXAxisBoxTree& operator=(const HXAxisBoxTree&) = delete;

    static uint32_t MakeReference(uint32_t chunk, uint32_t triangle) {
        return triangle | chunk << 15;
    }

    void StartBuild(uint32_t leafSize = kDefaultLeafSize);
    // The triangle whose first index is firstIndex in the chunk's index array. Counted always;
    // kept only within the limits (chunk below 512, first index below 98302, fewer than 8.3
    // million items and 16.7 million welded corners) and with an area.
    void AddTriangle(uint32_t chunk, uint32_t firstIndex);
    void FinishBuild();

    // The nearest hit along the segment; fraction -1 and reference -1 for none (also for a
    // segment that is not all finite numbers).
    HXSegmentHit SegmentQuery(const Kiv::Vector3& start, const Kiv::Vector3& end) const;

    const std::vector<CompactNode>& GetNodes() const { return nodes_; }
    size_t GetLeafEntryCount() const { return leaves_.size() / 3; }
    // True when some box, widened to the cap, still does not hold its triangles: queries then
    // visit every node (in the same order) rather than miss them.
    bool HasLooseBoxes() const { return looseBoxes_; }
    uint32_t GetAddCalls() const { return addCalls_; }
    uint32_t GetDepth() const { return depth_; }
    // Bytes the built tree keeps.
    size_t GetMemorySize() const { return nodes_.size() * sizeof(CompactNode) + leaves_.size(); }
    // The float box of a compact node (for checks).
    void GetNodeBox(size_t node, Kiv::Vector3* min, Kiv::Vector3* max) const;

private:
    struct FloatNode {
        int32_t first, second;
        float min[3], max[3];
    };
    struct Item {
        float min[3], max[3];
        uint32_t reference;
    };
    struct Build;

    void BuildNode(size_t node, std::vector<uint32_t>& items, uint32_t level);
    void Compact();
    uint32_t LeafReference(size_t entry) const;
    void Visit(size_t node, const struct Segment& s, HXSegmentHit& best) const;

    const HXAxisBoxTreeExternalGeometry* geometry_;
    std::vector<CompactNode> nodes_;
    std::vector<uint8_t> leaves_;
    float centreScale_ = 0, halfScale_ = 0, centreInverse_ = 0, halfInverse_ = 0;
    std::unique_ptr<Build> build_;
    uint32_t addCalls_ = 0, depth_ = 0;
    bool looseBoxes_ = false;
};

// Möller-Trumbore with epsilon 1e-6: true on a hit, and the best distance lowered to it when
// smaller. One-sided: only triangles facing the ray (counter-clockwise seen from its origin).
bool RayTriangleOneSided(const Kiv::Vector3& origin, const Kiv::Vector3& direction,
                         const Kiv::Vector3& a, const Kiv::Vector3& b, const Kiv::Vector3& c,
                         float* best);
bool RayTriangleTwoSided(const Kiv::Vector3& origin, const Kiv::Vector3& direction,
                         const Kiv::Vector3& a, const Kiv::Vector3& b, const Kiv::Vector3& c,
                         float* best);

// The tree over every triangle of the definition's chunks (a chunk of two indices gives none).
std::unique_ptr<HXAxisBoxTree> BuildCollisionTree(
    const HalvexIndexedMeshDefinition& definition,
    std::unique_ptr<CollisionGeometrySharingInterface>* geometry);
// The same over a geometry object the caller keeps.
std::unique_ptr<HXAxisBoxTree> BuildCollisionTree(
    const HalvexIndexedMeshDefinition& definition,
    const CollisionGeometrySharingInterface* geometry);
