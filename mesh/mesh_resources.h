// The mesh resources and their instances. A geometry resource (".im" indexed, ".lm" and ".lm.txt"
// LOD meshes, ".pm" progressive meshes) loads its definition for a render kernel (the kernel's
// display and material manager) and makes instances of it. Instances share their definition's chunk
// and material arrays until they need their own: a chunk whose flags carry kFlagOwnedPerInstance is
// copied for each instance, every other chunk stays shared.
//
// Attachment-point names carry meaning for an instance: one beginning with "p" or "P" becomes a
// reference point, one beginning with "a" or "A" an attachment particle under the instance; any
// other is left alone. A LOD instance keeps one level record per mesh of its definition (the
// distance-selected levels first, then the named meshes); its indexed part holds the named mesh
// "collision", or else the coarsest distance-selected level, and ray tests run against that.
//
// RegisterMeshResourceTypes gives the engine the types; the program's plug-in entry calls it.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "mesh/indexed_mesh_definition.h"
#include "mesh/influence_mesh.h"
#include "mesh/lod_mesh_definition.h"
#include "mesh/progressive_mesh_definition.h"
#include "platform/kiv/res/resource.h"
#include "platform/kiv/res/texture_load.h"
#include "platform/kiv/scene/object_lod.h"
#include "platform/kiv/scene/particle.h"
#include "platform/kiv/scene/view.h"

namespace Kiv {
class Bitmap;
class RenderKernel;
}  // namespace Kiv

class HalvexIndexedMeshInstance;

// The base of the mesh resources: the kernel it loads for, a pending list cleared before each
// load, and the owned definition (null until a load succeeds; a failed load leaves none).
//
// Textures: the completion of a load hands each material the textures it asks for, each read
// from the material's folder (a texture that cannot be read is a refused request, kept in the
// definition's list, unless the file is missing and the material's flag makes its textures
// optional: it then does without). LoadAll loads what is still pending and fails on a texture
// that cannot be; IsAllLoaded walks the materials in order: 0 when every texture is there, 1 at
// the first material that refused one or texture that failed, 5 at the first one still loading.
class HalvexGeometryBaseResource : public Kiv::Resource {
public:
    using Kiv::Resource::Resource;
    ~HalvexGeometryBaseResource() override;

    bool LoadAll() override;
    uint32_t IsAllLoaded() const override;

    // The size the engine books for one resource object, whatever the mesh holds.
    static constexpr uint32_t kObjectSize = 112;
    uint32_t CalculateSize() const { return kObjectSize; }

    // Gives the resource the render kernel it works for and forgets what an earlier load left
    // pending.
    virtual void Prepare(Kiv::RenderKernel* kernel);
    // Loads the definition on the kernel and completes the load: 0 on success, 1 on failure.
    virtual uint32_t Initialise(Kiv::RenderKernel* kernel);
    // A new instance of the loaded mesh; null without a kernel or a definition, or for a skinned
    // mesh without a skeleton.
    virtual std::unique_ptr<Kiv::Particle> CreateInstance() = 0;
    // The loaded definition; null before a successful load.
    virtual const HalvexIndexedMeshDefinition* GetDefinition() const = 0;

    // The file load: 0 success, 1 failure (the mesh's own code is not passed on).
    virtual uint32_t Load() { return 1; }
    // Hands the materials their textures and readies the loaded definition's chunks on the
    // kernel's display; then the observers are told.
    void LoadComplete() override { Kiv::Resource::LoadComplete(); }
    // The loaded definition's memory size; 0 without one.
    virtual size_t GetMemorySize() const { return 0; }
    // Whether instances test rays against the definition's collision tree when it has one.
    virtual bool UsesCollisionTree() const { return false; }

    Kiv::RenderKernel* GetKernel() const { return kernel_; }
    // The definition options (the material configuration) the next load hands its definition.
    void SetOptions(const MeshMaterialConfig& options) { options_ = options; }
    const MeshMaterialConfig& GetOptions() const { return options_; }
    void ClearPending();
    // The result of the last completion's chunk preparation: 0, or 9 when a chunk refused (kept
    // for inspection, never passed on).
    uint32_t GetCompletionResult() const { return completion_; }

    // The texture requests of one material, in the order of the walk.
    struct MaterialTextures {
        enum class State : uint8_t { kNothingPending, kPending, kRefused };
        State state = State::kNothingPending;
        std::vector<Kiv::TextureLoad*> textures;  // references held
    };
    const std::vector<MaterialTextures>& GetPending() const { return pending_; }

protected:
    MeshLoadArgs LoadArgs() const;
    // The completion's texture step over the materials, in order.
    void RequestTextures(const std::vector<std::shared_ptr<Kiv::Material>>& materials,
                         HalvexIndexedMeshDefinition& definition);

    Kiv::RenderKernel* kernel_ = nullptr;
    MeshMaterialConfig options_;
    std::vector<MaterialTextures> pending_;
    uint32_t completion_ = 0;
};

// An indexed mesh (".im").
class HalvexIndexedMeshResource : public HalvexGeometryBaseResource {
public:
    using HalvexGeometryBaseResource::HalvexGeometryBaseResource;
    std::unique_ptr<Kiv::Particle> CreateInstance() override;
    const HalvexIndexedMeshDefinition* GetDefinition() const override { return definition_.get(); }
    uint32_t Load() override;
    void LoadComplete() override;
    size_t GetMemorySize() const override;
    bool UsesCollisionTree() const override { return true; }

protected:
    std::unique_ptr<HalvexIndexedMeshDefinition> definition_;
};

// A progressive mesh (".pm"): an indexed mesh with progressive tables, which the definition
// reads and lets go. Its load takes the options with one rule of its own: without the
// dynamic-index setting present, hardware animation keeps float precision.
class HalvexProgressiveMeshResource : public HalvexIndexedMeshResource {
public:
    using HalvexIndexedMeshResource::HalvexIndexedMeshResource;
    std::unique_ptr<Kiv::Particle> CreateInstance() override;
    uint32_t Load() override;
    bool UsesCollisionTree() const override { return false; }
    const HalvexProgressiveMeshDefinition* GetProgressiveDefinition() const;
    // The options a load hands the definition.
    static MeshMaterialConfig ProgressiveOptions(MeshMaterialConfig options);
};

// A LOD mesh: the binary form (".lm") or the text form (".lm.txt"), chosen by the name. A failed
// load of either form leaves no definition.
class HalvexIndexedMeshLODResource : public HalvexGeometryBaseResource {
public:
    using HalvexGeometryBaseResource::HalvexGeometryBaseResource;
    std::unique_ptr<Kiv::Particle> CreateInstance() override;
    const HalvexIndexedMeshDefinition* GetDefinition() const override { return definition_.get(); }
    const HalvexIndexedMeshLODDefinition* GetLODDefinition() const { return definition_.get(); }
    uint32_t Load() override;
    uint32_t LoadTxt();
    void LoadComplete() override;
    size_t GetMemorySize() const override;

private:
    std::unique_ptr<HalvexIndexedMeshLODDefinition> definition_;
};

// Registers the ".im", ".pm", ".lm" and ".lm.txt" resource types with the engine.
void RegisterMeshResourceTypes();
// One of them, by its extension; false for any other extension.
bool RegisterMeshResourceType(std::string_view extension);
void UnregisterMeshResourceTypes();

// A ray or segment component that is not a finite number makes every test miss.
struct MeshRayHit {
    const HalvexIndexedMeshInstance* instance = nullptr;
    uint32_t face = 0, chunk = 0;
};

// A reference point of an instance: a named frame the instance carries, made from an
// attachment point whose name begins with "p".
using MeshReferencePoint = Kiv::ReferencePoint;

// One placed copy of an indexed mesh.
//
// A frame: Cull marks the instance (and its skeleton and attachments) culled in the view point's
// frame and, while its opacity is above 0, asks the view point for texture detail at the detail
// radius (the definition's texel scale), hands the level to its materials, adds itself to the
// view point and stores its matrix. Render then lights its chunks when an update is pending and
// draws each chunk that has elements through its render kernel (recorded in the view point with
// the matrix it was drawn with): with the draw matrix scaled in the instance's axes, or, for an
// instance whose chunks follow bones, with the bone's world matrix, and only when the bone was
// culled in this frame.
class HalvexIndexedMeshInstance : public Kiv::ParticleStructure,
                                  public Kiv::TriangleGeometry,
                                  public Kiv::LightTarget {
public:
    using ChunkArray = std::vector<std::shared_ptr<Kiv::GeometryChunk>>;
    using MaterialArray = std::vector<std::shared_ptr<Kiv::Material>>;
    // The flags bit of a chunk that every instance holds its own copy of.
    static constexpr uint32_t kFlagOwnedPerInstance = 4096;
    // The flags bit of a chunk that cannot be added to an instance.
    static constexpr uint32_t kFlagNotAddable = 64;

    explicit HalvexIndexedMeshInstance(Kiv::RenderKernel* kernel = nullptr);
    ~HalvexIndexedMeshInstance() override;

    // The number of triangles the instance draws.
    virtual int GetPolygonCount() const;
    virtual uint32_t GetID() const { return 20; }

    // Binds a new instance: resource, definition, skeleton copy, attachment particles.
    void Bind(HalvexGeometryBaseResource* resource, const HalvexIndexedMeshDefinition* definition);
    // Holds the resource (a reference) in place of the one held.
    void SetResource(HalvexGeometryBaseResource* resource);
    virtual void SetDefinition(const HalvexIndexedMeshDefinition* definition);
    // A copy of this instance (chunks with kFlagOwnedPerInstance its own, the rest shared).
    virtual std::unique_ptr<HalvexIndexedMeshInstance> CreateInstanceCopy() const;

    virtual void OwnChunkArray();
    virtual void OwnMaterialArray();
    void MakeChunkUnique(uint32_t i);
    void MakeMaterialUnique(uint32_t i);
    virtual bool AddChunk(const std::shared_ptr<Kiv::GeometryChunk>& chunk,
                          const std::shared_ptr<Kiv::Material>& material);
    // Puts chunk's data in place of chunk i's (made this instance's own first). Refused (false)
    // for a chunk that cannot be added, an i past the chunks, and unless both are indexed
    // triangle lists and chunk i's vertex format takes chunk's vertices.
    virtual bool ReplaceChunkData(const Kiv::GeometryChunk& chunk, uint32_t i);
    virtual void SetScale(const Kiv::Vector3& scale);
    const Kiv::Vector3& GetScale() const { return scale_; }
    // Texture t of material m takes the picture of an image file (LoadTexture) or a bitmap, in
    // the display format its component count gives (1: 5, 2: 1, 3: 3, 4: 8); a and b are handed
    // to the texture as they are. False for a material or texture that is not there, a file that
    // does not load, or another component count.
    bool LoadTexture(int a, int b, uint32_t m, uint32_t t, std::string_view file);
    bool SetTexture(int a, int b, uint32_t m, uint32_t t, const Kiv::Bitmap& bitmap);
    bool IsScaled() const { return scaled_; }
    uint32_t GetElementTotal() const;
    void SetOpacity(float opacity) override;
    // The box the particle's bounds follow: the definition's, scaled when the instance is.
    const Kiv::OrientedBox& GetBoundingVolume() const { return volume_; }
    void UpdateBoundingVolume();

    uint32_t GetChunkCount() const { return chunkCount_; }
    const std::shared_ptr<Kiv::GeometryChunk>& GetChunk(uint32_t i) const { return (*chunks_)[i]; }
    const std::shared_ptr<Kiv::Material>& GetMaterial(uint32_t i) const { return (*materials_)[i]; }
    const std::shared_ptr<ChunkArray>& GetChunkArray() const { return chunks_; }
    HalvexGeometryBaseResource* GetResource() const { return resource_; }
    float GetDetailRadius() const { return detailRadius_; }
    const std::vector<Kiv::Particle*>& GetChunkBones() const { return chunkBones_; }

    // --- a frame ---
    Kiv::Sphere GetGlobalBoundingSphere() const override;
    void Cull(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4x4& matrix) override;
    virtual void Render(Kiv::ViewPoint& viewPoint, Kiv::Matrix4x4 matrix);
    // The light target's update: the chunks are lit when an update is pending or forced.
    virtual void UpdateLight(bool force);
    Kiv::RenderKernel* GetKernel() const { return kernel_; }

    // The nearest triangle the ray meets nearer than *distance (lowering it); false when none.
    // The direction need not be normalised for a scaled instance; distances are measured along
    // the given ray. An indexed mesh whose collision tree is built asks the tree for the first
    // hit within 5000 along the ray; otherwise every triangle is tested, one- or two-sided by
    // its material.
    virtual bool TestCollisionGeometry(const Kiv::Vector3& point, const Kiv::Vector3& direction,
                                       float* distance, MeshRayHit* hit) const;

    // The triangle interface, on the instance's chunks: corner k (0 to 2) of a face by the
    // chunk's primitive (list, strip, fan); nothing for another primitive or a reference outside
    // the chunk's arrays.
    void DrawChunksDirect(Kiv::ViewPoint& viewPoint, bool lit) override;
    bool NotDrawnInFrame(const Kiv::ViewPoint& viewPoint) const override;
    std::optional<Kiv::Vector3> GetVertexPosition(uint32_t chunk, uint32_t face,
                                                  int k) const override;
    std::optional<Kiv::Vector3> GetFaceNormal(uint32_t chunk, uint32_t face) const override;
    std::optional<Kiv::Vector3> GetTriangleCentre(uint32_t chunk, uint32_t face) const override;
    // The neighbour across edge e; nothing when the chunk has no neighbours there.
    std::optional<Kiv::TriangleRef> GetFaceNeighbour(uint32_t chunk, uint32_t face,
                                                     int e) const override;
    const Kiv::Material* GetTriangleMaterial(uint32_t chunk) const override;

protected:
    // Draws `count` chunks (the instance's, or a level's) as Render does.
    void DrawChunks(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4x4& matrix,
                    const ChunkArray* chunks, const MaterialArray* materials, uint32_t count,
                    const std::vector<Kiv::Particle*>& bones);
    void DrawChunksDirect(Kiv::ViewPoint& viewPoint, bool lit, const ChunkArray* chunks,
                          const MaterialArray* materials, uint32_t count);
    // The render kernel's display; null without a kernel.
    Kiv::Display* Display() const;
    // The definition's collision tree when the resource's instances use one and it is built.
    const class HXAxisBoxTree* CollisionTree() const;
    // Copies this instance's state into a new one of the derived class.
    void CopyInto(HalvexIndexedMeshInstance& out) const;
    // Chunks with kFlagOwnedPerInstance become this instance's own, ready on the display.
    void PrepareOwnedChunks();
    // The copy of the definition's skeleton among this instance's children; null without one.
    Kiv::Particle* FindSkeletonCopy(const HalvexIndexedMeshDefinition& definition) const;
    void AddAttachmentParticles(const HalvexIndexedMeshDefinition& definition);

    Kiv::RenderKernel* kernel_;
    HalvexGeometryBaseResource* resource_ = nullptr;
    const HalvexIndexedMeshDefinition* definition_ = nullptr;
    std::shared_ptr<ChunkArray> chunks_;
    std::shared_ptr<MaterialArray> materials_;
    uint32_t chunkCount_ = 0;
    std::vector<Kiv::Particle*> chunkBones_;
    Kiv::Vector3 scale_{1, 1, 1};
    bool scaled_ = false;
    float detailRadius_ = 0;
    Kiv::Vector3 boundsMax_, boundsMin_;
    Kiv::OrientedBox box_, volume_;
};

// One placed copy of a progressive mesh: never shares a chunk with another instance, and takes
// no chunk from outside.
class HalvexProgressiveMeshInstance : public HalvexIndexedMeshInstance {
public:
    using HalvexIndexedMeshInstance::HalvexIndexedMeshInstance;
    void BindProgressive(HalvexGeometryBaseResource* resource,
                         const HalvexProgressiveMeshDefinition* definition);
    const HalvexProgressiveMeshDefinition* GetProgressiveDefinition() const { return progressive_; }
    bool AddChunk(const std::shared_ptr<Kiv::GeometryChunk>&,
                  const std::shared_ptr<Kiv::Material>&) override {
        return false;
    }
    bool ReplaceChunkData(const Kiv::GeometryChunk&, uint32_t) override { return false; }
    std::unique_ptr<HalvexIndexedMeshInstance> CreateInstanceCopy() const override;

protected:
    // The copy of a progressive instance: every chunk its own.
    void CopyProgressiveInto(HalvexProgressiveMeshInstance& out) const;

private:
    const HalvexProgressiveMeshDefinition* progressive_ = nullptr;
};

// A skinned instance of an indexed or progressive mesh: it carries its own copy of the skeleton
// and an influence mesh that, before each draw, brings the chunks the bones move (its own
// copies) to the bones' poses for the frame.
template <typename Base>
class HalvexSkinnedInstance : public Base {
public:
    using Base::Base;
    void Render(Kiv::ViewPoint& viewPoint, Kiv::Matrix4x4 matrix) override {
        UpdateSkin(viewPoint.GetCurrentFrame());
        Base::Render(viewPoint, matrix);
    }
    void DrawChunksDirect(Kiv::ViewPoint& viewPoint, bool lit) override {
        UpdateSkin(viewPoint.GetCurrentFrame());
        Base::DrawChunksDirect(viewPoint, lit);
    }
    const HalvexInfluenceMesh& GetInfluenceMesh() const { return skin_; }

protected:
    // After the base's binding, which added the skeleton's copy.
    void StartSkin(const HalvexIndexedMeshDefinition& definition) {
        skin_.Setup(definition);
        skin_.SetSkeleton(this->FindSkeletonCopy(definition));
        OwnMovedChunks();
    }
    // A copy's skin: the source's, on the copy's own skeleton and chunks.
    void CopySkin(const HalvexSkinnedInstance& source) {
        skin_ = source.skin_;
        skin_.SetSkeleton(this->FindSkeletonCopy(*this->definition_));
        OwnMovedChunks();
    }
    void OwnMovedChunks() {
        bool owned = false;
        for (uint32_t c = 0; c < this->chunkCount_; ++c) {
            if (!skin_.MovesChunk(0, c) || !(*this->chunks_)[c]) continue;
            if (!owned) this->OwnChunkArray();
            owned = true;
            this->MakeChunkUnique(c);
            (*this->chunks_)[c]->PrepareForDisplay(this->kernel_);
        }
    }
    void UpdateSkin(uint32_t frame) {
        if (this->chunks_) skin_.Update(*this->chunks_, 0, frame, this->kernel_);
    }

    HalvexInfluenceMesh skin_;
};

class HalvexDynamicIndexedMeshInstance : public HalvexSkinnedInstance<HalvexIndexedMeshInstance> {
public:
    using HalvexSkinnedInstance::HalvexSkinnedInstance;
    void BindSkinned(HalvexGeometryBaseResource* resource,
                     const HalvexIndexedMeshDefinition* definition);
    std::unique_ptr<HalvexIndexedMeshInstance> CreateInstanceCopy() const override;
};

class HalvexDynamicProgressiveMeshInstance
    : public HalvexSkinnedInstance<HalvexProgressiveMeshInstance> {
public:
    using HalvexSkinnedInstance::HalvexSkinnedInstance;
    void BindSkinned(HalvexGeometryBaseResource* resource,
                     const HalvexProgressiveMeshDefinition* definition);
    std::unique_ptr<HalvexIndexedMeshInstance> CreateInstanceCopy() const override;
};

// One level record of a LOD instance.
struct LodInstanceLevel {
    uint32_t chunkCount = 0;
    std::shared_ptr<HalvexIndexedMeshInstance::ChunkArray> chunks;
    std::shared_ptr<HalvexIndexedMeshInstance::MaterialArray> materials;
    std::vector<Kiv::PString> chunkBoneNames;
    std::vector<Kiv::Particle*> chunkBones;
    uint32_t faces = 0;
};

// One placed copy of a LOD mesh.
//
// A frame: Cull measures the distance of the instance's world bounding sphere, widened by 5.0,
// from the view point's camera (FindLOD), hides the cull attachments when the attachment cut-off
// is below that distance and shows them otherwise, and culls the instance; culled in this frame
// with an opacity above 0, it takes the level FindLODIndex names (unless locked) and, once the
// measured distance has reached the render cut-off, resets that level's chunks, adds itself to
// the view point and stores its matrix. Render lights the drawn level when its lighting mark is
// set (each level once per SetUpdateLighting(true)), then draws its chunks as the indexed
// instance does.
class HalvexIndexedMeshLODInstance : public HalvexIndexedMeshInstance, public Kiv::ObjectLOD {
public:
    explicit HalvexIndexedMeshLODInstance(Kiv::RenderKernel* kernel = nullptr);
    ~HalvexIndexedMeshLODInstance() override;

    uint32_t GetID() const override { return 21; }
    // The triangles of the selected level.
    int GetPolygonCount() const override;
    // The number of distance-selected levels (named meshes such as "collision" are not levels).
    virtual uint32_t GetLODCount() const;
    // Selects level record n (below the number of records): the indexed part takes its arrays.
    virtual void SelectLOD(uint32_t n);
    uint32_t GetSelectedLOD() const { return selected_; }
    uint32_t GetLevelRecordCount() const { return static_cast<uint32_t>(levels_.size()); }
    const LodInstanceLevel& GetLevel(uint32_t n) const { return levels_[n]; }
    uint32_t GetCurrentRecord() const { return current_; }
    // The mesh index of the named mesh, or -1.
    int FindNamedMesh(const Kiv::PString& name) const;

    void BindLOD(HalvexGeometryBaseResource* resource,
                 const HalvexIndexedMeshLODDefinition* definition);
    void SetLODDefinition(const HalvexIndexedMeshLODDefinition* definition);
    std::unique_ptr<HalvexIndexedMeshInstance> CreateInstanceCopy() const override;

    void OwnChunkArray() override;
    void OwnMaterialArray() override;
    // A LOD mesh's levels are fixed: nothing is added.
    bool AddChunk(const std::shared_ptr<Kiv::GeometryChunk>&,
                  const std::shared_ptr<Kiv::Material>&) override {
        return false;
    }
    bool ReplaceChunkData(const Kiv::GeometryChunk&, uint32_t) override { return false; }
    // Stores the scale; the bounding volume is left as it is.
    void SetScale(const Kiv::Vector3& scale) override;
    void SetOpacity(float opacity) override;

    void SetLock(bool on) { locked_ = on; }
    bool IsLocked() const { return locked_; }
    const std::vector<Kiv::Particle*>& GetCullAttachments() const { return cullAttachments_; }
    float GetRenderCutOff() const { return renderCutOff_; }
    float GetAttachmentCutOff() const { return attachmentCutOff_; }

    // --- a frame ---
    void Cull(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4x4& matrix) override;
    void Render(Kiv::ViewPoint& viewPoint, Kiv::Matrix4x4 matrix) override;
    void DrawChunksDirect(Kiv::ViewPoint& viewPoint, bool lit) override;
    // Every level's lighting mark, and the light target's update flag, set or cleared.
    void SetUpdateLighting(bool on) override;
    // Lights level n when its mark is set; the update flag drops with the last mark.
    void UpdateLevelLighting(uint32_t n);
    // Every distance-selected level (distanceOnly) or every level record.
    void UpdateAllLevelsLighting(bool distanceOnly);
    bool GetLightingMark(uint32_t n) const { return n < marks_.size() && marks_[n] != 0; }
    uint32_t GetMarksSet() const { return marksSet_; }

protected:
    void ResolveChunkBones();
    void CopyLODInto(HalvexIndexedMeshLODInstance& out) const;

    std::vector<LodNamedMesh> named_;
    std::vector<LodInstanceLevel> levels_;
    uint32_t selected_ = 0;
    uint32_t current_ = 0;
    uint32_t lodCount_ = 0;
    bool locked_ = false;
    float renderCutOff_ = 0, attachmentCutOff_ = 0;
    std::vector<Kiv::Particle*> cullAttachments_;
    std::vector<uint8_t> marks_;
    uint32_t marksSet_ = 0;
};

// A skinned LOD instance. Its animation follows the distance with a band of twice the LOD
// offset O around the animation cut-off A: past A + O it is switched off (the particles named
// "b.*" under the instance are hidden, so nothing drawn with them shows), below A - O on again.
// Before each draw, while the animation is on or an update is pending (binding, copying,
// SetSkinUpdatePending), the influence mesh brings the drawn level and every further animated
// level (the named meshes flagged animated) to the bones' poses.
class HalvexDynamicIndexedMeshLODInstance : public HalvexIndexedMeshLODInstance {
public:
    static constexpr uint8_t kSkinPending = 1;
    static constexpr uint8_t kAnimationOff = 2;

    using HalvexIndexedMeshLODInstance::HalvexIndexedMeshLODInstance;
    uint32_t GetID() const override { return 22; }
    void BindSkinned(HalvexGeometryBaseResource* resource,
                     const HalvexIndexedMeshLODDefinition* definition);
    std::unique_ptr<HalvexIndexedMeshInstance> CreateInstanceCopy() const override;

    // While locked, the distance still follows the camera (the drawn level stays).
    void Cull(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4x4& matrix) override;
    void Render(Kiv::ViewPoint& viewPoint, Kiv::Matrix4x4 matrix) override;
    void DrawChunksDirect(Kiv::ViewPoint& viewPoint, bool lit) override;

    void SetSkinUpdatePending() { flags_ |= kSkinPending; }
    uint8_t GetFlags() const { return flags_; }
    // How often the animation was switched off or on.
    uint32_t GetAnimationSwitches() const { return switches_; }
    float GetAnimationCutOff() const { return animationCutOff_; }
    const std::vector<uint32_t>& GetAnimatedLevels() const { return animated_; }
    const HalvexInfluenceMesh& GetInfluenceMesh() const { return skin_; }

private:
    void UpdateSkin(uint32_t frame);
    void ShowAnimatedParticles(bool shown);
    void OwnMovedChunks();

    HalvexInfluenceMesh skin_;
    float animationCutOff_ = 0;
    uint8_t flags_ = kSkinPending;
    std::vector<uint32_t> animated_;
    uint32_t switches_ = 0;
};
