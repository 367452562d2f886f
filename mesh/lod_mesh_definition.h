// HalvexIndexedMeshLODDefinition: one mesh at several levels of detail, each used from a start
// distance on, beside named special meshes ("collision"), one material table shared by all
// meshes, an optional bone table with per-level bone weights or a bone tree, and attachment
// points. Read and written as a "JIRF" chunk file of type "LODM" (".lm"):
//
//   "JIRF" u32 size "LODM"
//   INFO (100)  7 f32 placement (position, orientation x y z w); u32 mesh count; u32 calcPoint;
//               f32 offset, multiplier, animationCutOff, renderCutOff, attachmentCutOff;
//               u32 named meshes, each {u32 mesh index, name, u8 flag}
//   MATT (100)  u32 count, count x MATL (103 only)
//   BONT (100)  optional: u32 bones, each {name, parent name, 3 f32 position, 9 f32 matrix}
//   RBOT (100)  optional: u32 nodes, pre-order from the root, each {name, parent name ("" for
//               the root), 3 f32 position, 9 f32 matrix}
//   ATCH (100)  optional: the indexed mesh's attachments; ":Cull" behind a cull attachment
//   MESH (100) x mesh count: u32 chunks; u32 weights per vertex; u32 bones per chunk; f32
//               start distance (-1.0 for a named mesh); optional LODB; chunks x LCHK
//     LODB (100)  per bone of the table: u32 groups, each {u32 chunk, u32 n, n x {u32 vertex,
//                 4 f32}}
//     LCHK (100)  u32 chunk index; u32 material index (0xFFFFFFFF: none); GEOM; optional NINF
//
// Distance-selected meshes come first, their distances never decreasing; named meshes follow.
// Every count is checked against the bytes left before anything is sized; an index that would
// reach past its table (a named mesh, a material, a chunk, a bone tree's parent) is refused with
// RES_FILE_FORMAT_ERROR, so an instance never indexes past what was read.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mesh/indexed_mesh_definition.h"

namespace Kiv {
class File;
class MeshOutput;
}  // namespace Kiv

struct LodBoneWeight {
    uint32_t vertex = 0;
    float values[4] = {0, 0, 0, 0};  // the first is the vertex's weight for the bone
    bool operator==(const LodBoneWeight&) const = default;
};
static_assert(sizeof(LodBoneWeight) == 20);

struct LodWeightGroup {
    uint32_t chunk = 0;
    std::vector<LodBoneWeight> weights;
    bool operator==(const LodWeightGroup&) const = default;
};

using LodWeightTable = std::vector<LodWeightGroup>;

struct LodBone {
    std::string name, parentName;
    Kiv::Vector3 position;
    Kiv::Matrix3 orientation;
    std::vector<LodWeightTable> levels;  // one per mesh
};

struct LodNamedMesh {
    Kiv::PString name;
    uint32_t mesh = 0;
    bool animated = false;
};

struct LodRecord {
    uint32_t chunkCount = 0;
    bool hardwareSkinning = false;
    std::vector<std::shared_ptr<Kiv::GeometryChunk>> chunks;
    std::vector<std::shared_ptr<Kiv::Material>> materials;
    std::vector<Kiv::PString> chunkBones;  // per chunk, from a text load (empty: none)
    uint32_t totalVertices = 0, totalFaces = 0;
};

// One node of a bone tree as the file stores it.
struct LodTreeNode {
    std::string name, parentName;
    Kiv::Vector3 position;
    Kiv::Matrix3 orientation;
};

class HalvexIndexedMeshLODDefinition : public HalvexIndexedMeshDefinition {
public:
    enum CalcPoint : uint32_t { kCentre = 0, kNear = 1, kFar = 2 };

    explicit HalvexIndexedMeshLODDefinition(const MeshMaterialConfig& config = {});
    ~HalvexIndexedMeshLODDefinition() override;

    // Reads the "LODM" file the memory file holds (OpenFile, OpenBytes); a result code.
    uint32_t Load(Kiv::Display* display, Kiv::MaterialManager* materials,
                  const MeshLoadArgs& args = {}) override;
    uint32_t LoadBinary(Kiv::Display* display, Kiv::MaterialManager* materials,
                        const MeshLoadArgs& args = {});

    // The text form (".lm.txt") at path: the meshes it names are loaded from their files (".im",
    // or ".imtxt" text), relative to the text's folder. A result code.
    uint32_t LoadText(std::string_view path, Kiv::Display* display, Kiv::MaterialManager* materials,
                      const MeshLoadArgs& args = {});

    // The whole file: RES_UNKNOWN, and nothing written, without meshes.
    uint32_t Write(Kiv::MeshOutput& out);
    // Into an open file; RES_FILE_OPEN_ERROR when a byte cannot be written.
    uint32_t WriteFile(Kiv::File& file);

    // After a load, on the display: equal materials of later levels become the earlier one, and
    // every chunk is made ready on the display's render kernel; RES_FILE_DATA_ERROR when one
    // refuses (every other chunk is still readied).
    uint32_t CompleteLoad(Kiv::Display* display);

    // The sub-mesh loader's work after its load: the loaded indexed mesh becomes the next
    // level's record (first: it also gives the bounds, attachments, skeleton and bone table).
    uint32_t AppendMesh(const HalvexIndexedMeshDefinition& mesh, bool first);
    // A new weight table for every bone, from the influences of the mesh of that name.
    void AppendBoneWeightLevel(const std::vector<MeshInfluence>& influences);
    // The indexed part (sub-meshes, the skinning flag) takes the last distance-selected level.
    void AdoptLastLevel();
    // Attachments with ":Cull" in their names (any letter case) lose it and join the cull list.
    void SortCullAttachments();

    // --- what the file holds --------------------------------------------------------------
    uint32_t GetNumMeshes() const { return static_cast<uint32_t>(records_.size()); }
    uint32_t GetNumLods() const { return static_cast<uint32_t>(distances_.size()); }
    const std::vector<float>& GetDistances() const { return distances_; }
    const std::vector<LodRecord>& GetRecords() const { return records_; }
    const std::vector<LodNamedMesh>& GetNamedMeshes() const { return namedMeshes_; }
    const std::vector<std::shared_ptr<Kiv::Material>>& GetMaterialTable() const {
        return materialTable_;
    }
    const std::vector<LodBone>& GetBones() const { return bones_; }
    const std::vector<Kiv::PString>& GetCullAttachments() const { return cullAttachments_; }
    uint32_t GetCalcPoint() const { return calcPoint_; }
    float GetOffset() const { return offset_; }
    float GetMultiplier() const { return multiplier_; }
    float GetAnimationCutOff() const { return animationCutOff_; }
    float GetRenderCutOff() const { return renderCutOff_; }
    float GetAttachmentCutOff() const { return attachmentCutOff_; }
    bool GetHardwareAnimation() const { return lodHardwareAnimation_; }
    // The memory size the LOD resource reports.
    size_t GetLodSize() const;

    // --- building a definition in code (tests, tools) -------------------------------------
    void SetDistance(uint32_t level, float distance);
    void AddNamedMesh(Kiv::PString name, uint32_t mesh, bool animated);
    void SetViewSettings(uint32_t calcPoint, float offset, float multiplier, float animation,
                         float render, float attachment);
    void SetHardwareAnimation(bool on) { lodHardwareAnimation_ = on; }

protected:
    uint32_t ReadLodInfo(uint32_t* meshCount);
    uint32_t ReadMaterialTable();
    uint32_t ReadBoneTable();
    uint32_t ReadBoneTree();
    uint32_t ReadMesh(uint32_t mesh);
    uint32_t ReadBoneWeights(uint32_t mesh, size_t limit);
    uint32_t ReadLodChunk(LodRecord& record, uint32_t originalCount, size_t limit);
    // The bone weights into the chunks' skin items (packed weights truncated).
    void PlaceBoneWeights();
    void BuildSkeletonFromBones();
    void ComputeLodBounds();
    void ComputeLodOrientedBox();

    void WriteInfo(Kiv::MeshOutput& out) const;
    void WriteMaterial(Kiv::MeshOutput& out, const Kiv::Material& material) const;
    void WriteBones(Kiv::MeshOutput& out) const;
    void WriteBoneTree(Kiv::MeshOutput& out) const;
    void WriteAttachments(Kiv::MeshOutput& out) const;
    void WriteMesh(Kiv::MeshOutput& out, uint32_t mesh,
                   const std::vector<std::shared_ptr<Kiv::Material>>& table) const;
    void WriteGeometry(Kiv::MeshOutput& out, const Kiv::GeometryChunk& chunk) const;

    uint32_t calcPoint_ = kCentre;
    float offset_ = 0, multiplier_ = 1, animationCutOff_ = 0, renderCutOff_ = 0,
          attachmentCutOff_ = 0;
    std::vector<LodNamedMesh> namedMeshes_;
    std::vector<float> distances_;
    std::vector<LodRecord> records_;
    std::vector<std::shared_ptr<Kiv::Material>> materialTable_;
    std::vector<LodBone> bones_;
    // The bone tree as a file gave it, written back as it was read.
    std::vector<LodTreeNode> treeNodes_;
    std::vector<Kiv::PString> cullAttachments_;
    bool lodHardwareAnimation_ = false;
};
