// HalvexIndexedMeshDefinition: one indexed mesh in memory (".im"; progressive ".pm" meshes share
// the file type): its placement and bounds, its sub-meshes (a material and a geometry chunk
// each), attachment points, and skin influences or a bone skeleton. Read from a "JIRF" chunk
// file of type "IDXM":
//
//   "JIRF" u32 size "IDXM"
//   INFO (100-104)  position 3f, orientation quaternion 4f (x y z w), u32 sub-mesh count;
//                   from 102: u32 weights per vertex, u32 bones per sub-mesh; 104: 6f ignored
//   CHNK (100) x count: u32 (unused), MATL, GEOM, optional NINF
//     MATL (102, 103)  type name; u32 n, n x (key, value); u32 flag; f32; 4 x 3f colours; f32
//                      specular power; u32 m, m x {u32, texture name, f32}
//     GEOM (101-201)   u32 flags (low 5 bits: primitive); 201: u32 more; f32; u32 vertices;
//                      u32; u32 indices; u32 faces; 103-199: u32 texture sets N; from 102:
//                      u32 weights per vertex; from 200: vertex type name; vertices x
//                      (3f position, N x 2f); indices x u16; 104-199: vertices x u32 colour;
//                      faces x 3f normal
//     NINF (100)       faces x 3 u32 neighbours
//   optional INFL (100) or SKEL (100, a BONE tree), then optional ATCH (100)
//
// Strings are padded strings (platform/kiv/geom/mesh_file_support.h). Every count is checked
// against the bytes that remain before anything is sized or looped over, every chunk must end
// inside its container, and a bone tree is at most 256 deep: a file that breaks any of these is
// refused with RES_FILE_FORMAT_ERROR, and no read ever leaves the file's bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "mesh/mesh_result.h"
#include "platform/kiv/base/config_parser.h"
#include "platform/kiv/base/memory_file.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/display/display.h"
#include "platform/kiv/display/geometry_chunk.h"
#include "platform/kiv/display/material.h"
#include "platform/kiv/geom/geometry_config.h"
#include "platform/kiv/geom/mesh_file_support.h"
#include "platform/kiv/scene/geometry.h"
#include "platform/kiv/scene/particle.h"

// The owner's material configuration: five {value, present} pairs.
struct MeshMaterialConfig {
    struct Setting {
        uint8_t value = 0;
        uint8_t present = 0;
        bool IsSet() const { return value != 0 && present != 0; }
    };
    Setting softwareLighting, softwareAnimation, dynamicVertex, dynamicIndex,
        hardwareAnimationFloatPrecision;
};

// The material a mesh's material configuration chooses.
struct MaterialSpec {
    bool found = false;
    Kiv::PString requestName;
    Kiv::DisplayMaterial display;
};

// Reads a mesh's material configuration: the "Mesh" group's five settings into config, and the
// first "Material" entry whose every "Extension" the display supports into spec (false when
// none is usable).
bool ReadMaterialConfig(const Kiv::ConfigData& tree, const Kiv::Display& display,
                        MeshMaterialConfig* config, MaterialSpec* spec);

// What the owner hands a load beside the display and the material manager.
struct MeshLoadArgs {
    uint32_t vertexColour = 0xFFFFFFFF;  // every vertex's first colour
    uint32_t ownerValue = 0;             // passed to each chunk hint
    bool allowMissingMaterials = false;  // a material not found becomes a NullMaterial
    std::string ownerName;               // the owning resource's name (its folder holds textures)
};

struct InfluenceEntry {
    uint32_t vertex = 0;
    float weight = 0;
    float extra[3] = {0, 0, 0};
    bool operator==(const InfluenceEntry&) const = default;
};
static_assert(sizeof(InfluenceEntry) == 20);

struct InfluenceGroup {
    uint32_t subMesh = 0;
    std::vector<InfluenceEntry> entries;
    bool operator==(const InfluenceGroup&) const = default;
};

struct MeshInfluence {
    std::string name;
    std::string parentName;
    Kiv::Vector3 position;
    Kiv::Matrix3 orientation;
    std::vector<InfluenceGroup> groups;
};

struct MeshAttachmentPoint {
    Kiv::Matrix3 orientation;
    Kiv::Vector3 position;
    Kiv::PString name;
};

// A bone to build a skeleton from.
struct BoneSpec {
    std::string_view name, parent;  // parent empty: a root
    Kiv::Vector3 position;
    Kiv::Matrix3 orientation;
};

// A tree of bones, one per entry, each under the first entry of its parent's name. The root is
// the first entry without a parent; a bone whose parent is named nowhere, names none or would
// close a loop goes under the root. Null (nothing built) when no entry lacks a parent. parents[k]
// is the entry index bone k hangs under (entries.size() for the root).
std::unique_ptr<Kiv::Particle> BuildBoneTree(std::span<const BoneSpec> entries,
                                             std::vector<size_t>* parents);

// Where a copy goes: `stride` bytes from one vertex to the next.
struct StridedOutput {
    uint32_t stride = 0;
    void* pointer = nullptr;
};

class MeshCollision;

class HalvexIndexedMeshDefinition : public Kiv::MeshFileSupport {
public:
    static constexpr uint32_t kMaxWeightsPerVertex = 4;
    static constexpr uint32_t kMaxBonesPerSubMesh = 25;
    static constexpr uint32_t kMaxFileInfluences = 1023;
    static constexpr int kMaxBoneDepth = 256;

    explicit HalvexIndexedMeshDefinition(const MeshMaterialConfig& config = {});
    ~HalvexIndexedMeshDefinition() override;
    HalvexIndexedMeshDefinition(const HalvexIndexedMeshDefinition&) = delete;
    HalvexIndexedMeshDefinition& operator=(const HalvexIndexedMeshDefinition&) = delete;

    // The owner opens the file through the definition: the path becomes the name. False (the
    // load then gives RES_FILE_OPEN_ERROR) when it cannot be read.
    bool OpenFile(std::string_view path);
    void OpenBytes(std::span<const uint8_t> bytes, std::string_view name = {});

    // Reads the file the memory file holds; a result code.
    virtual uint32_t Load(Kiv::Display* display, Kiv::MaterialManager* materials,
                          const MeshLoadArgs& args = {});

    // Builds the definition from a geometry configuration tree (".imtxt"); a result code.
    uint32_t LoadFromConfig(const Kiv::ConfigData& tree, Kiv::Display* display,
                            Kiv::MaterialManager* materials, const MeshLoadArgs& args = {});
    // Parses the text file at path (its path becomes the name) and builds from its tree; the
    // parser's failures give RES_FILE_OPEN_ERROR, RES_FILE_FORMAT_ERROR, RES_FILE_VERSION_ERROR,
    // anything else RES_UNKNOWN.
    uint32_t LoadConfigFile(std::string_view path, Kiv::Display* display,
                            Kiv::MaterialManager* materials, const MeshLoadArgs& args = {});

    // --- what instances and resources ask (sub-mesh i; nothing or 0 for an i out of range) ---
    uint32_t GetVertexCount(uint32_t i) const;
    uint32_t GetMaxWeightsPerVertex() const { return skinWeights_; }
    uint32_t GetMaxBonesPerSubMesh() const { return skinBones_; }
    uint32_t GetIndexCount(uint32_t i) const;
    uint32_t GetFourthCount(uint32_t i) const;
    uint32_t GetNumTexCoordSets(uint32_t i) const;
    uint32_t GetMaxVertexInfluences(uint32_t i) const;
    void CopyPositions(uint32_t i, StridedOutput out) const;
    void CopyTexCoords(uint32_t i, uint32_t set, StridedOutput out) const;
    void CopyIndices(uint32_t i, uint16_t* out) const;
    void CopyNormals(uint32_t i, StridedOutput out) const;
    void CopyColors(uint32_t i, bool first, uint32_t defaultColour, StridedOutput out) const;
    void CopyFaceNormals(uint32_t i, float* out) const;
    const Kiv::DisplayMaterial* GetMaterialDisplayAddress(uint32_t i) const;
    const std::vector<Kiv::TextureRequest>* GetMaterialTexturesAddress(uint32_t i) const;
    bool GetMaterialFlag(uint32_t i) const;
    float GetMaterialValue(uint32_t i) const;
    bool CopyDisplayMaterial(uint32_t i, Kiv::DisplayMaterial& out) const;
    uint32_t GetNumMaterialProperties(uint32_t i) const;
    // The key's own text (value false) or its value's; null when absent or empty.
    std::unique_ptr<char[]> GetMaterialPropertyText(uint32_t i, const Kiv::PString& key,
                                                    bool value) const;
    const std::vector<Kiv::PString>& GetRefusedTextureRequests() const { return refusedTextures_; }
    std::vector<Kiv::PString>& RefusedTextureRequests() { return refusedTextures_; }
    uint32_t GetNumInfluences() const { return static_cast<uint32_t>(influences_.size()); }
    Kiv::PString GetInfluenceName(uint32_t i) const;
    Kiv::PString GetInfluenceParentName(uint32_t i) const;
    Kiv::Vector3 GetInfluencePosition(uint32_t i) const;
    Kiv::Quaternion GetInfluenceOrientation(uint32_t i) const;
    uint32_t GetInfluenceGroupCount(uint32_t i) const;
    uint32_t GetInfluenceGroupSubMesh(uint32_t i, uint32_t j) const;
    uint32_t GetInfluenceGroupEntryCount(uint32_t i, uint32_t j) const;
    void CopyInfluenceGroupEntries(uint32_t i, uint32_t j, InfluenceEntry* out) const;
    uint32_t GetNumAttachments() const { return static_cast<uint32_t>(attachments_.size()); }
    Kiv::PString GetAttachmentName(uint32_t i) const;
    Kiv::Quaternion GetAttachmentOrientation(uint32_t i) const;
    Kiv::Vector3 GetAttachmentPosition(uint32_t i) const;

    // Writes the skin weights and palette positions into the chunks.
    void PrepareSkinPalette();

    // --- the definition as loaded ------------------------------------------------------------
    const Kiv::PString& GetName() const { return name_; }
    void SetName(Kiv::PString name) { name_ = std::move(name); }
    const Kiv::Vector3& GetPosition() const { return position_; }
    const Kiv::Quaternion& GetOrientation() const { return orientation_; }
    const Kiv::Vector3& GetBoundsMax() const { return boundsMax_; }
    const Kiv::Vector3& GetBoundsMin() const { return boundsMin_; }
    uint32_t GetNumSubMeshes() const { return static_cast<uint32_t>(chunks_.size()); }
    const std::shared_ptr<Kiv::GeometryChunk>& GetChunk(uint32_t i) const { return chunks_[i]; }
    const std::shared_ptr<Kiv::Material>& GetMaterial(uint32_t i) const { return materials_[i]; }
    const Kiv::PString& GetVertexTypeName(uint32_t i) const { return vertexTypes_[i]; }
    uint32_t GetTotalVertices() const { return totalVertices_; }
    uint32_t GetTotalFaces() const { return totalFaces_; }
    const std::vector<MeshInfluence>& GetInfluences() const { return influences_; }
    const std::vector<MeshAttachmentPoint>& GetAttachments() const { return attachments_; }
    const Kiv::Particle* GetSkeleton() const { return skeleton_.get(); }
    const std::vector<Kiv::PString>& GetMissingMaterials() const { return missingMaterials_; }
    float GetTexelScale() const { return texelScale_; }
    const Kiv::OrientedBox& GetOrientedBox() const { return orientedBox_; }
    bool HasHardwareAnimationSupport() const { return displaySkinning_; }
    // Hardware animation as chosen for the file's geometry.
    bool IsHardwareAnimated() const { return hardwareAnimation_; }
    uint32_t GetBonesLimit() const { return bonesLimit_; }
    const MeshMaterialConfig& GetMaterialConfig() const { return config_; }
    // The owner's order of influences for the skin palette (empty: their own order).
    void SetBoneNameTable(std::vector<Kiv::PString> names) { boneNames_ = std::move(names); }
    // The memory size the resource reports.
    size_t GetSize() const;
    // The collision record: the tree over the definition's triangles, built in the background
    // when a background loading system exists. Safe to use from any thread.
    MeshCollision& GetCollision() const { return *collision_; }

    // Hardware animation regardless of the limits and the display (a process-wide override).
    static void SetHardwareAnimationOverride(bool on);

protected:
    // Chunk readers: each reads at the memory file's position and returns a code.
    uint32_t ReadInfo();
    uint32_t ReadChunk(uint32_t i);
    uint32_t ReadGeometry(uint32_t i, size_t limit);
    uint32_t ReadMaterial(uint32_t i, size_t limit);
    uint32_t CreateMaterialFromDescription(Kiv::MaterialDescription& description,
                                           std::shared_ptr<Kiv::Material>* out);
    uint32_t ReadNeighbourInfo(uint32_t i, size_t limit);
    // The chunk readers' cores, shared with the LOD mesh file: a MATL of a version from
    // lowestVersion to 103, a GEOM made by the material, and NINF into the chunk.
    uint32_t ReadMaterialChunk(size_t limit, uint32_t lowestVersion,
                               std::shared_ptr<Kiv::Material>* out);
    uint32_t ReadGeometryChunk(Kiv::Material& material, size_t limit,
                               std::shared_ptr<Kiv::GeometryChunk>* out, Kiv::PString* vertexType);
    uint32_t ReadNeighbourChunk(Kiv::GeometryChunk& chunk, size_t limit);
    // The hint a chunk is made with, by the skinning counts, the display and the material
    // configuration; chooses hardware animation for the chunk as it goes.
    Kiv::StandardChunkHint MakeChunkHint(uint32_t weights, uint32_t sets, float headerValue,
                                         const Kiv::PString& vertexType);
    uint32_t ReadAttachments();
    // What a kind of mesh file carries after the attachments; an indexed mesh nothing. Its
    // faults show at the end test.
    virtual void ReadFurtherChunks() {}
    uint32_t ReadSkin();
    uint32_t ReadBone(Kiv::Particle* parent, int depth, size_t limit);

    // The owner's objects and the display's skinning; RES_NO_MATERIAL_MANAGER without a
    // material manager.
    uint32_t TakeOwner(Kiv::Display* display, Kiv::MaterialManager* materials,
                       const MeshLoadArgs& args);
    // Everything a load starts with: the owner's objects, the display's skinning, and the
    // container header of the given type (RES_FILE_FORMAT_ERROR when it is not).
    uint32_t BeginLoad(Kiv::Display* display, Kiv::MaterialManager* materials,
                       const MeshLoadArgs& args, const char* type);
    // The parts of a load from a configuration, chunk i of it.
    uint32_t CreateMaterial(const Kiv::GeometryConfigData& config, uint32_t i);
    uint32_t CreateGeometryFromConfig(const Kiv::GeometryConfigData& config, uint32_t i);
    uint32_t CreateInfluencesFromConfig(const Kiv::GeometryConfigData& config);
    uint32_t CreateAttachmentsFromConfig(const Kiv::GeometryConfigData& config);
    // Reads a chunk header: the id must match (else 3), the end must lie inside `limit` (else
    // 3), the version must be accepted (else 4). `end` is the offset behind the size plus size.
    uint32_t ReadChunkHeader(const char* id, size_t limit, uint32_t* version, size_t* end);
    // count x recordSize fits in the bytes left before limit.
    bool CountFits(uint64_t count, uint64_t recordSize, size_t limit) const;
    bool ReadMatrix(Kiv::Matrix3& m);
    bool ReadVector(Kiv::Vector3& v);

    // The finishing steps, in the order a load runs them.
    void TotalCounts();
    void BuildSkeletonFromInfluences();
    void ComputeBounds();
    void ComputeTexelScale();
    void ComputeOrientedBox();
    // The box of the chunks' positions (both corners zero without a vertex).
    static void BoundsOf(const std::vector<std::shared_ptr<Kiv::GeometryChunk>>& chunks,
                         Kiv::Vector3* min, Kiv::Vector3* max);
    // The eight corners of each chunk's own oriented box.
    static void AddBoxCorners(const std::vector<std::shared_ptr<Kiv::GeometryChunk>>& chunks,
                              std::vector<Kiv::Vector3>& corners);

    void ClearSubMeshes();

    MeshMaterialConfig config_;
    MeshLoadArgs args_;
    Kiv::Display* display_ = nullptr;
    Kiv::MaterialManager* materialManager_ = nullptr;

    Kiv::Vector3 position_;
    Kiv::Quaternion orientation_;
    Kiv::Vector3 boundsMax_, boundsMin_;
    Kiv::PString name_;
    std::vector<std::shared_ptr<Kiv::GeometryChunk>> chunks_;
    std::vector<std::shared_ptr<Kiv::Material>> materials_;
    std::vector<Kiv::PString> vertexTypes_;
    uint32_t totalVertices_ = 0, totalFaces_ = 0;
    std::vector<MeshInfluence> influences_;
    uint32_t skinWeights_ = 0, skinBones_ = 0;
    uint32_t weightsLimit_ = kMaxWeightsPerVertex, bonesLimit_ = kMaxBonesPerSubMesh;
    bool displaySkinning_ = false;
    bool hardwareAnimation_ = false;
    std::vector<MeshAttachmentPoint> attachments_;
    std::unique_ptr<Kiv::Particle> skeleton_;
    std::vector<Kiv::PString> missingMaterials_;
    std::vector<Kiv::PString> refusedTextures_;
    std::vector<Kiv::PString> boneNames_;
    float texelScale_ = 0;
    Kiv::OrientedBox orientedBox_;
    Kiv::MemoryFile file_;
    size_t containerEnd_ = 0;
    // Last, so that a background build of it is over before anything it reads goes.
    std::unique_ptr<MeshCollision> collision_;
};
