// The indexed mesh instance: binding to a definition, copies that share what they can, the
// bounding volume, ray tests and the triangle interface.
#include <cmath>

#include "mesh/axis_box_tree.h"
#include "mesh/mesh_collision.h"
#include "mesh/mesh_resources.h"
#include "platform/kiv/base/bitmap.h"
#include "platform/kiv/display/materials.h"
#include "platform/kiv/display/render_kernel.h"

namespace {

using Kiv::Vector3;

bool Finite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Whether the ray point + t * direction (t >= 0) meets the box (slabs along the box's axes).
bool RayMeetsBox(const Kiv::OrientedBox& box, const Vector3& point, const Vector3& direction) {
    if (box.IsZero()) return false;
    const Vector3 offset = point - box.center;
    const float half[3] = {box.halfExtents.x, box.halfExtents.y, box.halfExtents.z};
    float nearest = 0.0f, farthest = INFINITY;
    for (int a = 0; a < 3; ++a) {
        const float o = box.axes[a].Dot(offset), d = box.axes[a].Dot(direction);
        if (std::fabs(d) < 1e-12f) {
            if (std::fabs(o) > half[a]) return false;
            continue;
        }
        float t0 = (-half[a] - o) / d, t1 = (half[a] - o) / d;
        if (t0 > t1) std::swap(t0, t1);
        nearest = std::max(nearest, t0);
        farthest = std::min(farthest, t1);
        if (nearest > farthest) return false;
    }
    return true;
}

bool BeginsWith(const Kiv::PString& name, char lower) {
    const std::string_view n = name.view();
    return !n.empty() && (n[0] == lower || n[0] == lower - 'a' + 'A');
}

}  // namespace

HalvexIndexedMeshInstance::HalvexIndexedMeshInstance(Kiv::RenderKernel* kernel) : kernel_(kernel) {}

HalvexIndexedMeshInstance::~HalvexIndexedMeshInstance() {
    SetResource(nullptr);
}

void HalvexIndexedMeshInstance::SetResource(HalvexGeometryBaseResource* resource) {
    // The resource stays loaded while an instance uses it.
    if (resource != nullptr) {
        resource->AddReference();
        resource->Lock();
    }
    if (resource_ != nullptr) {
        resource_->Unlock();
        resource_->ReleaseReference();
    }
    resource_ = resource;
}

int HalvexIndexedMeshInstance::GetPolygonCount() const {
    int faces = 0;
    for (uint32_t i = 0; i < chunkCount_; ++i)
        if ((*chunks_)[i]) faces += static_cast<int>((*chunks_)[i]->GetFaceCount());
    return faces;
}

void HalvexIndexedMeshInstance::SetDefinition(const HalvexIndexedMeshDefinition* definition) {
    definition_ = definition;
    chunkCount_ = definition->GetNumSubMeshes();
    chunks_ = std::make_shared<ChunkArray>();
    materials_ = std::make_shared<MaterialArray>();
    for (uint32_t i = 0; i < chunkCount_; ++i) {
        chunks_->push_back(definition->GetChunk(i));
        materials_->push_back(definition->GetMaterial(i));
    }
    boundsMax_ = definition->GetBoundsMax();
    boundsMin_ = definition->GetBoundsMin();
    box_ = definition->GetOrientedBox();
    // The texel scale is the definition's measure of how large its texture detail is.
    detailRadius_ = definition->GetTexelScale();
    references_.clear();
    for (const MeshAttachmentPoint& a : definition->GetAttachments()) {
        if (!BeginsWith(a.name, 'p')) continue;
        Kiv::ReferencePoint r;
        Kiv::ReferencePoint::GetSubNames(a.name, &r.name, &r.subName);
        r.position = a.position;
        r.rotation = Kiv::Quaternion::FromMatrix(a.orientation);
        AddReferencePoint(std::move(r));
    }
    SetName(definition->GetName());
    UpdateBoundingVolume();
    PrepareOwnedChunks();
}

void HalvexIndexedMeshInstance::Bind(HalvexGeometryBaseResource* resource,
                                     const HalvexIndexedMeshDefinition* definition) {
    SetResource(resource);
    SetDefinition(definition);
    chunkBones_.clear();
    if (const Kiv::Particle* skeleton = definition->GetSkeleton()) AddChild(skeleton->Copy());
    AddAttachmentParticles(*definition);
}

void HalvexIndexedMeshInstance::AddAttachmentParticles(
    const HalvexIndexedMeshDefinition& definition) {
    for (const MeshAttachmentPoint& a : definition.GetAttachments()) {
        if (!BeginsWith(a.name, 'a')) continue;
        const Kiv::Quaternion rotation = Kiv::Quaternion::FromMatrix(a.orientation);
        auto refused = AddAttachmentPoint(std::make_unique<Kiv::AttachmentPoint>(a.name));
        if (refused == nullptr) {
            Kiv::AttachmentPoint* taken = GetAttachmentPoints().back();
            Vector3 position;
            Kiv::Quaternion local;
            taken->GlobalToLocal(a.position, rotation, &position, &local);
            taken->SetFrame(position, local);
        } else {
            refused->SetFrame(a.position, rotation);
            AddChild(std::move(refused));
        }
    }
}

void HalvexIndexedMeshInstance::PrepareOwnedChunks() {
    bool owned = false;
    for (uint32_t i = 0; i < chunkCount_; ++i) {
        const auto& chunk = (*chunks_)[i];
        if (!chunk || (chunk->GetFlags() & kFlagOwnedPerInstance) == 0) continue;
        if (!owned) OwnChunkArray();
        owned = true;
        MakeChunkUnique(i);
        (*chunks_)[i]->PrepareForDisplay(kernel_);
    }
}

void HalvexIndexedMeshInstance::OwnChunkArray() {
    if (chunks_) chunks_ = std::make_shared<ChunkArray>(*chunks_);
}

void HalvexIndexedMeshInstance::OwnMaterialArray() {
    if (materials_) materials_ = std::make_shared<MaterialArray>(*materials_);
}

void HalvexIndexedMeshInstance::MakeChunkUnique(uint32_t i) {
    if (i >= chunkCount_ || !(*chunks_)[i]) return;
    (*chunks_)[i] = (*chunks_)[i]->Copy();
}

void HalvexIndexedMeshInstance::MakeMaterialUnique(uint32_t i) {
    if (i >= chunkCount_ || !(*materials_)[i]) return;
    (*materials_)[i] = std::make_shared<Kiv::Material>(*(*materials_)[i]);
}

bool HalvexIndexedMeshInstance::AddChunk(const std::shared_ptr<Kiv::GeometryChunk>& chunk,
                                         const std::shared_ptr<Kiv::Material>& material) {
    // A chunk another owner holds (one more reference than the caller's) is not taken either.
    if (!chunk || (chunk->GetFlags() & kFlagNotAddable) != 0 || !chunks_) return false;
    std::shared_ptr<Kiv::GeometryChunk> added = chunk;
    if ((chunk->GetFlags() & kFlagOwnedPerInstance) != 0) {
        added = chunk->Copy();
        added->PrepareForDisplay(kernel_);
    }
    auto chunks = std::make_shared<ChunkArray>(*chunks_);
    auto materials = std::make_shared<MaterialArray>(*materials_);
    chunks->push_back(std::move(added));
    materials->push_back(material);
    chunks_ = std::move(chunks);
    materials_ = std::move(materials);
    ++chunkCount_;
    return true;
}

void HalvexIndexedMeshInstance::SetScale(const Vector3& scale) {
    scale_ = scale;
    scaled_ = !(scale.x == 1.0f && scale.y == 1.0f && scale.z == 1.0f);
    UpdateBoundingVolume();
}

void HalvexIndexedMeshInstance::UpdateBoundingVolume() {
    volume_ = box_;
    if (scaled_)
        volume_.halfExtents = {box_.halfExtents.x * scale_.x, box_.halfExtents.y * scale_.y,
                               box_.halfExtents.z * scale_.z};
}

bool HalvexIndexedMeshInstance::LoadTexture(int a, int b, uint32_t m, uint32_t t,
                                            std::string_view file) {
    Kiv::Bitmap bitmap;
    return bitmap.Load(file) && SetTexture(a, b, m, t, bitmap);
}

bool HalvexIndexedMeshInstance::SetTexture(int a, int b, uint32_t m, uint32_t t,
                                           const Kiv::Bitmap& bitmap) {
    if (!materials_ || m >= chunkCount_ || m >= materials_->size() || !(*materials_)[m])
        return false;
    Kiv::Texture* texture = (*materials_)[m]->GetTexture(t);
    if (texture == nullptr) return false;
    static constexpr uint32_t kFormatOfComponents[] = {0, 5, 1, 3, 8};
    const int components = bitmap.GetFileChannels();
    if (components < 1 || components > 4) return false;
    return texture->LoadFromBitmap(bitmap, kFormatOfComponents[components], a, b);
}

uint32_t HalvexIndexedMeshInstance::GetElementTotal() const {
    uint32_t total = 0;
    for (uint32_t i = 0; i < chunkCount_; ++i)
        if ((*chunks_)[i]) total += (*chunks_)[i]->GetFaceCount();
    return total;
}

void HalvexIndexedMeshInstance::SetOpacity(float opacity) {
    if (chunks_)
        for (uint32_t i = 0; i < chunkCount_; ++i)
            if ((*chunks_)[i]) (*chunks_)[i]->SetOpacity(Display(), opacity);
    Kiv::Particle::SetOpacity(opacity);
}

bool HalvexIndexedMeshInstance::ReplaceChunkData(const Kiv::GeometryChunk& chunk, uint32_t i) {
    if ((chunk.GetFlags() & kFlagNotAddable) != 0 || !chunks_ || i >= chunkCount_ || !(*chunks_)[i])
        return false;
    const Kiv::GeometryChunk& target = *(*chunks_)[i];
    const auto triangleList = [](const Kiv::GeometryChunk& c) {
        return (c.GetFlags() & Kiv::kPrimitiveBitsTriangleList) != 0 && c.GetLayout() == 1;
    };
    if (!triangleList(chunk) || !triangleList(target) || !target.AcceptsVertexFormat(chunk))
        return false;
    OwnChunkArray();
    MakeChunkUnique(i);
    return (*chunks_)[i]->TakeData(chunk, kernel_);
}

Kiv::Sphere HalvexIndexedMeshInstance::GetGlobalBoundingSphere() const {
    return {GetWorldMatrix().TransformPoint(volume_.center), volume_.halfExtents.Length()};
}

void HalvexIndexedMeshInstance::Cull(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4x4& matrix) {
    Kiv::Particle::Cull(viewPoint, matrix);
    if (!(GetOpacity() > 0.0f)) return;
    const uint32_t level =
        viewPoint.CalcWantedMipLevelsForCull(detailRadius_, GetGlobalBoundingSphere().centre);
    if (materials_)
        for (uint32_t i = 0; i < chunkCount_ && i < materials_->size(); ++i)
            if ((*materials_)[i]) (*materials_)[i]->SetWantedMipLevel(level);
    viewPoint.Add(this);
    StoreMatrix(viewPoint, matrix);
}

void HalvexIndexedMeshInstance::UpdateLight(bool force) {
    if (!update_ && !force) return;
    CalculateLighting(chunkCount_);
    update_ = false;
}

void HalvexIndexedMeshInstance::Render(Kiv::ViewPoint& viewPoint, Kiv::Matrix4x4 matrix) {
    if (scaled_) matrix.ScaleRows(scale_);
    UpdateLight(false);
    DrawChunks(viewPoint, matrix, chunks_.get(), materials_.get(), chunkCount_, chunkBones_);
}

void HalvexIndexedMeshInstance::DrawChunks(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4x4& matrix,
                                           const ChunkArray* chunks, const MaterialArray* materials,
                                           uint32_t count,
                                           const std::vector<Kiv::Particle*>& bones) {
    if (chunks == nullptr) return;
    for (uint32_t i = 0; i < count && i < chunks->size(); ++i) {
        Kiv::GeometryChunk* chunk = (*chunks)[i].get();
        if (chunk == nullptr || chunk->GetFaceCount() == 0) continue;
        Kiv::Matrix4x4 drawn = matrix;
        if (!bones.empty()) {
            const Kiv::Particle* bone = i < bones.size() ? bones[i] : nullptr;
            if (bone == nullptr || bone->GetLastCulledFrame() != viewPoint.GetCurrentFrame())
                continue;
            drawn = bone->GetWorldMatrix();
        }
        Kiv::Material* material =
            materials != nullptr && i < materials->size() ? (*materials)[i].get() : nullptr;
        if (material == nullptr || Display() == nullptr) continue;
        // Blended chunks wait in the frame's caches, placed by where the chunk is drawn.
        Display()->SetObjectMatrix(drawn);
        material->RenderChunk(*Display(), *chunk);
        viewPoint.RecordDraw({this, chunk, material, this, drawn, false});
    }
}

void HalvexIndexedMeshInstance::DrawChunksDirect(Kiv::ViewPoint& viewPoint, bool lit) {
    DrawChunksDirect(viewPoint, lit, chunks_.get(), materials_.get(), chunkCount_);
}

void HalvexIndexedMeshInstance::DrawChunksDirect(Kiv::ViewPoint& viewPoint, bool lit,
                                                 const ChunkArray* chunks,
                                                 const MaterialArray* materials, uint32_t count) {
    if (chunks == nullptr) return;
    for (uint32_t i = 0; i < count && i < chunks->size(); ++i) {
        Kiv::GeometryChunk* chunk = (*chunks)[i].get();
        if (chunk == nullptr || chunk->GetFaceCount() == 0) continue;
        chunk->PrepareForDisplay(kernel_);
        Kiv::Material* material =
            materials != nullptr && i < materials->size() ? (*materials)[i].get() : nullptr;
        if (material == nullptr || Display() == nullptr) continue;
        if (lit) {
            const Kiv::Camera* camera = viewPoint.GetCamera();
            material->SetLightingState(
                *chunk, camera ? camera->GetViewTransform() : Kiv::Matrix4x4{}, this, GetOpacity());
        }
        // Direct draws are not sorted: blended chunks too are drawn now.
        Display()->SetDrawAtOnce(true);
        material->RenderChunk(*Display(), *chunk);
        Display()->SetDrawAtOnce(false);
        viewPoint.RecordDraw({this, chunk, material, this, GetStoredMatrix(), lit});
    }
}

bool HalvexIndexedMeshInstance::NotDrawnInFrame(const Kiv::ViewPoint& viewPoint) const {
    return GetLastCulledFrame() != viewPoint.GetCurrentFrame();
}

const Kiv::Material* HalvexIndexedMeshInstance::GetTriangleMaterial(uint32_t chunk) const {
    return materials_ && chunk < chunkCount_ && chunk < materials_->size()
               ? (*materials_)[chunk].get()
               : nullptr;
}

Kiv::Display* HalvexIndexedMeshInstance::Display() const {
    return kernel_ != nullptr ? &kernel_->GetDisplay() : nullptr;
}

void HalvexIndexedMeshInstance::CopyInto(HalvexIndexedMeshInstance& out) const {
    out.SetName(GetName());
    out.SetFrame(GetPosition(), GetRotation());
    for (const auto& child : GetChildren())
        out.AddChild(child->Copy());
    out.Kiv::ParticleStructure::InitInstance(*this);
    out.Kiv::Geometry::InitInstance(*this);
    out.Kiv::LightTarget::InitInstance(*this);
    out.definition_ = definition_;
    out.chunks_ = chunks_;
    out.materials_ = materials_;
    out.chunkCount_ = chunkCount_;
    out.boundsMax_ = boundsMax_;
    out.boundsMin_ = boundsMin_;
    out.box_ = box_;
    out.volume_ = volume_;
    out.detailRadius_ = detailRadius_;
    out.SetResource(resource_);
    out.Kiv::Particle::SetOpacity(GetOpacity());
    out.scale_ = scale_;
    out.scaled_ = scaled_;
}

std::unique_ptr<HalvexIndexedMeshInstance> HalvexIndexedMeshInstance::CreateInstanceCopy() const {
    auto copy = std::make_unique<HalvexIndexedMeshInstance>(kernel_);
    CopyInto(*copy);
    copy->PrepareOwnedChunks();
    return copy;
}

bool HalvexIndexedMeshInstance::TestCollisionGeometry(const Vector3& point,
                                                      const Vector3& direction, float* distance,
                                                      MeshRayHit* hit) const {
    if (!Finite(point) || !Finite(direction) || distance == nullptr || !chunks_) return false;
    // Into mesh space: the point and direction divided by the scale. The direction is not
    // normalised again, so a hit's parameter is its distance along the given ray.
    Vector3 p = point, d = direction;
    if (scaled_) {
        if (scale_.x == 0.0f || scale_.y == 0.0f || scale_.z == 0.0f) return false;
        p = {p.x / scale_.x, p.y / scale_.y, p.z / scale_.z};
        d = {d.x / scale_.x, d.y / scale_.y, d.z / scale_.z};
    }
    if (!RayMeetsBox(box_, p, d)) return false;
    if (const HXAxisBoxTree* tree = CollisionTree()) {
        // The first hit within 5000 along the ray; the fraction of that length is its distance.
        constexpr float kReach = 5000.0f;
        const HXSegmentHit h = tree->SegmentQuery(p, p + d * kReach);
        if (h.reference < 0) return false;
        const float along = h.fraction * kReach;
        if (!(along < *distance)) return false;
        *distance = along;
        const auto reference = static_cast<uint32_t>(h.reference);
        if (hit != nullptr) *hit = {this, reference & 0x7FFFu, reference >> 15};
        return true;
    }
    float best = *distance;
    bool found = false;
    uint32_t bestFace = 0, bestChunk = 0;
    for (uint32_t c = 0; c < chunkCount_; ++c) {
        const Kiv::GeometryChunk* chunk = (*chunks_)[c].get();
        if (chunk == nullptr) continue;
        const uint16_t* indices = chunk->GetIndexArray();
        const auto* positions = reinterpret_cast<const float*>(chunk->GetItem(Kiv::kItemPositions));
        if (indices == nullptr || positions == nullptr) continue;
        const Kiv::Material* material = (*materials_)[c].get();
        const bool twoSided = material != nullptr && material->IsTwoSided();
        const uint32_t vertices = chunk->GetVertexCount();
        for (uint32_t f = 0; 3 * uint64_t{f} + 3 <= chunk->GetIndexCount(); ++f) {
            Vector3 corner[3];
            bool inside = true;
            for (int k = 0; k < 3 && inside; ++k) {
                const uint32_t v = indices[3 * f + k];
                inside = v < vertices;
                if (inside)
                    corner[k] = {positions[3 * v], positions[3 * v + 1], positions[3 * v + 2]};
            }
            if (!inside) continue;
            // The test answers true for a farther hit too, leaving the best where it was: the
            // record moves only with the best distance, so it stays on the nearest triangle.
            const float before = best;
            const bool met =
                twoSided ? RayTriangleTwoSided(p, d, corner[0], corner[1], corner[2], &best)
                         : RayTriangleOneSided(p, d, corner[0], corner[1], corner[2], &best);
            if (met && best < before) {
                found = true;
                bestFace = f;
                bestChunk = c;
            }
        }
    }
    if (!found || !(best < *distance)) return false;
    *distance = best;
    if (hit != nullptr) *hit = {this, bestFace, bestChunk};
    return true;
}

const HXAxisBoxTree* HalvexIndexedMeshInstance::CollisionTree() const {
    if (resource_ == nullptr || !resource_->UsesCollisionTree() || definition_ == nullptr)
        return nullptr;
    return definition_->GetCollision().GetTree();
}

std::optional<Vector3> HalvexIndexedMeshInstance::GetVertexPosition(uint32_t c, uint32_t face,
                                                                    int k) const {
    if (!chunks_ || c >= chunkCount_ || !(*chunks_)[c] || k < 0 || k > 2) return std::nullopt;
    const Kiv::GeometryChunk& chunk = *(*chunks_)[c];
    const uint16_t* indices = chunk.GetIndexArray();
    const auto* positions = reinterpret_cast<const float*>(chunk.GetItem(Kiv::kItemPositions));
    if (indices == nullptr || positions == nullptr) return std::nullopt;
    uint64_t at;
    switch (chunk.GetFlags() & Kiv::kPrimitiveBitsMask) {
        case Kiv::kPrimitiveBitsTriangleList:
            at = 3 * uint64_t{face} + k;
            break;
        case Kiv::kPrimitiveBitsTriangleStrip:  // odd faces turn the other way
            at = (k != 0 && (face & 1) != 0) ? uint64_t{face} + 3 - k : uint64_t{face} + k;
            break;
        case Kiv::kPrimitiveBitsTriangleFan:
            at = k == 0 ? 0 : uint64_t{face} + k;
            break;
        default:
            return std::nullopt;
    }
    if (at >= chunk.GetIndexCount() || indices[at] >= chunk.GetVertexCount()) return std::nullopt;
    const float* v = positions + 3 * size_t{indices[at]};
    return Vector3{v[0], v[1], v[2]};
}

std::optional<Vector3> HalvexIndexedMeshInstance::GetFaceNormal(uint32_t c, uint32_t face) const {
    if (!chunks_ || c >= chunkCount_ || !(*chunks_)[c]) return std::nullopt;
    const Kiv::GeometryChunk& chunk = *(*chunks_)[c];
    const float* normals = chunk.GetFaceNormalArray();
    if (normals != nullptr && face < chunk.GetFaceCount())
        return Vector3{normals[3 * face], normals[3 * face + 1], normals[3 * face + 2]};
    auto a = GetVertexPosition(c, face, 0), b = GetVertexPosition(c, face, 1),
         d = GetVertexPosition(c, face, 2);
    if (!a || !b || !d) return std::nullopt;
    Vector3 n = (*a - *b).Cross(*b - *d);
    if (n.LengthSquared() > 1e-9f) return n * (1.0f / n.Length());
    return Vector3{1.0f, 0.0f, 0.0f};
}

std::optional<Vector3> HalvexIndexedMeshInstance::GetTriangleCentre(uint32_t c,
                                                                    uint32_t face) const {
    auto a = GetVertexPosition(c, face, 0), b = GetVertexPosition(c, face, 1),
         d = GetVertexPosition(c, face, 2);
    if (!a || !b || !d) return std::nullopt;
    return (*a + *b + *d) * (1.0f / 3.0f);
}

std::optional<Kiv::TriangleRef> HalvexIndexedMeshInstance::GetFaceNeighbour(uint32_t c,
                                                                            uint32_t face,
                                                                            int e) const {
    if (!chunks_ || c >= chunkCount_ || !(*chunks_)[c] || e < 0 || e > 2) return std::nullopt;
    const Kiv::GeometryChunk& chunk = *(*chunks_)[c];
    if (face >= chunk.GetNumFaceNeighbors()) return std::nullopt;
    const uint32_t entry = chunk.GetFaceNeighborArray()[3 * size_t{face} + e];
    if (entry == 0xFFFFFFFFu) return std::nullopt;
    return Kiv::TriangleRef{entry & 0xFFFFu, entry >> 16};
}

// --- progressive ------------------------------------------------------------------------------

void HalvexProgressiveMeshInstance::BindProgressive(
    HalvexGeometryBaseResource* resource, const HalvexProgressiveMeshDefinition* definition) {
    Bind(resource, definition);
    progressive_ = definition;
}

std::unique_ptr<HalvexIndexedMeshInstance> HalvexProgressiveMeshInstance::CreateInstanceCopy()
    const {
    auto copy = std::make_unique<HalvexProgressiveMeshInstance>(kernel_);
    CopyProgressiveInto(*copy);
    return copy;
}

void HalvexProgressiveMeshInstance::CopyProgressiveInto(HalvexProgressiveMeshInstance& out) const {
    CopyInto(out);
    out.progressive_ = progressive_;
    // Every chunk is the copy's own.
    out.OwnChunkArray();
    for (uint32_t i = 0; i < out.chunkCount_; ++i) {
        out.MakeChunkUnique(i);
        if ((*out.chunks_)[i]) (*out.chunks_)[i]->PrepareForDisplay(kernel_);
    }
}

// --- skinned ------------------------------------------------------------------------------

Kiv::Particle* HalvexIndexedMeshInstance::FindSkeletonCopy(
    const HalvexIndexedMeshDefinition& definition) const {
    const Kiv::Particle* root = definition.GetSkeleton();
    if (root == nullptr) return nullptr;
    for (const auto& child : GetChildren())
        if (Kiv::Particle* found = child->FindByName(root->GetName())) return found;
    return nullptr;
}

void HalvexDynamicIndexedMeshInstance::BindSkinned(HalvexGeometryBaseResource* resource,
                                                   const HalvexIndexedMeshDefinition* definition) {
    Bind(resource, definition);
    StartSkin(*definition);
}

std::unique_ptr<HalvexIndexedMeshInstance> HalvexDynamicIndexedMeshInstance::CreateInstanceCopy()
    const {
    auto copy = std::make_unique<HalvexDynamicIndexedMeshInstance>(kernel_);
    CopyInto(*copy);
    copy->PrepareOwnedChunks();
    copy->CopySkin(*this);
    return copy;
}

void HalvexDynamicProgressiveMeshInstance::BindSkinned(
    HalvexGeometryBaseResource* resource, const HalvexProgressiveMeshDefinition* definition) {
    BindProgressive(resource, definition);
    StartSkin(*definition);
}

std::unique_ptr<HalvexIndexedMeshInstance>
HalvexDynamicProgressiveMeshInstance::CreateInstanceCopy() const {
    auto copy = std::make_unique<HalvexDynamicProgressiveMeshInstance>(kernel_);
    CopyProgressiveInto(*copy);
    copy->CopySkin(*this);
    return copy;
}
