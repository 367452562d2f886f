// The LOD mesh instance: one level record per mesh of the definition, the selected level in
// the indexed part (the collision geometry), copies that share what they can.
#include "mesh/mesh_resources.h"

namespace {

const Kiv::PString& CollisionName() {
    static const Kiv::PString name("collision");
    return name;
}

}  // namespace

HalvexIndexedMeshLODInstance::HalvexIndexedMeshLODInstance(Kiv::RenderKernel* kernel)
    : HalvexIndexedMeshInstance(kernel) {}

HalvexIndexedMeshLODInstance::~HalvexIndexedMeshLODInstance() = default;

int HalvexIndexedMeshLODInstance::GetPolygonCount() const {
    return selected_ < levels_.size() ? static_cast<int>(levels_[selected_].faces) : 0;
}

uint32_t HalvexIndexedMeshLODInstance::GetLODCount() const {
    return std::min(GetNumLevels(), GetLevelRecordCount());
}

void HalvexIndexedMeshLODInstance::SelectLOD(uint32_t n) {
    if (n >= levels_.size()) return;
    const LodInstanceLevel& level = levels_[n];
    chunkCount_ = level.chunkCount;
    chunks_ = level.chunks;
    materials_ = level.materials;
    chunkBones_ = level.chunkBones;
    selected_ = n;
}

int HalvexIndexedMeshLODInstance::FindNamedMesh(const Kiv::PString& name) const {
    for (const LodNamedMesh& named : named_)
        if (named.name == name) return static_cast<int>(named.mesh);
    return -1;
}

void HalvexIndexedMeshLODInstance::OwnChunkArray() {
    HalvexIndexedMeshInstance::OwnChunkArray();
    if (selected_ < levels_.size()) levels_[selected_].chunks = chunks_;
}

void HalvexIndexedMeshLODInstance::OwnMaterialArray() {
    HalvexIndexedMeshInstance::OwnMaterialArray();
    if (selected_ < levels_.size()) levels_[selected_].materials = materials_;
}

void HalvexIndexedMeshLODInstance::SetScale(const Kiv::Vector3& scale) {
    scale_ = scale;
    scaled_ = !(scale.x == 1.0f && scale.y == 1.0f && scale.z == 1.0f);
}

void HalvexIndexedMeshLODInstance::SetOpacity(float opacity) {
    opacity_ = opacity;
    for (const LodInstanceLevel& level : levels_)
        if (level.chunks)
            for (const auto& chunk : *level.chunks)
                if (chunk) chunk->SetOpacity(Display(), opacity);
}

void HalvexIndexedMeshLODInstance::SetLODDefinition(
    const HalvexIndexedMeshLODDefinition* definition) {
    Init(definition->GetDistances(), definition->GetCalcPoint());
    SetMultiplier(definition->GetMultiplier());
    SetOffset(definition->GetOffset());
    named_ = definition->GetNamedMeshes();
    renderCutOff_ = definition->GetRenderCutOff();
    attachmentCutOff_ = definition->GetAttachmentCutOff();
    // The indexed part first, while there are no level records for its own chunk copies to
    // land in; the records then get theirs level by level.
    levels_.clear();
    HalvexIndexedMeshInstance::SetDefinition(definition);
    for (const LodRecord& record : definition->GetRecords()) {
        LodInstanceLevel level;
        level.chunkCount = static_cast<uint32_t>(record.chunks.size());
        level.chunks = std::make_shared<ChunkArray>(record.chunks);
        level.materials = std::make_shared<MaterialArray>(record.materials);
        level.materials->resize(level.chunks->size());
        level.chunkBoneNames = record.chunkBones;
        level.faces = record.totalFaces;
        levels_.push_back(std::move(level));
        SelectLOD(static_cast<uint32_t>(levels_.size() - 1));
        PrepareOwnedChunks();
    }
    const int collision = FindNamedMesh(CollisionName());
    if (collision >= 0)
        SelectLOD(static_cast<uint32_t>(collision));
    else if (GetLODCount() > 0)
        SelectLOD(GetLODCount() - 1);
    current_ = 0;
}

void HalvexIndexedMeshLODInstance::ResolveChunkBones() {
    Kiv::Particle* skeleton = nullptr;
    if (definition_ != nullptr && definition_->GetSkeleton() != nullptr)
        skeleton = FindByName(definition_->GetSkeleton()->GetName());
    for (LodInstanceLevel& level : levels_) {
        level.chunkBones.clear();
        if (skeleton == nullptr) continue;
        for (const Kiv::PString& name : level.chunkBoneNames)
            level.chunkBones.push_back(
                name.IsNull() || name.view().empty() ? nullptr : skeleton->FindByName(name));
    }
    if (selected_ < levels_.size()) chunkBones_ = levels_[selected_].chunkBones;
}

void HalvexIndexedMeshLODInstance::BindLOD(HalvexGeometryBaseResource* resource,
                                           const HalvexIndexedMeshLODDefinition* definition) {
    SetResource(resource);
    SetLODDefinition(definition);
    if (const Kiv::Particle* skeleton = definition->GetSkeleton()) AddChild(skeleton->Copy());
    ResolveChunkBones();
    AddAttachmentParticles(*definition);
    cullAttachments_.clear();
    for (const Kiv::PString& name : definition->GetCullAttachments())
        if (Kiv::Particle* found = FindByName(name); found != nullptr && found != this)
            cullAttachments_.push_back(found);
}

std::unique_ptr<HalvexIndexedMeshInstance> HalvexIndexedMeshLODInstance::CreateInstanceCopy()
    const {
    auto copy = std::make_unique<HalvexIndexedMeshLODInstance>(kernel_);
    CopyInto(*copy);
    copy->InitInstance(*this);
    copy->named_ = named_;
    copy->locked_ = locked_;
    copy->renderCutOff_ = renderCutOff_;
    copy->attachmentCutOff_ = attachmentCutOff_;
    copy->levels_ = levels_;
    for (uint32_t n = 0; n < copy->levels_.size(); ++n) {
        copy->SelectLOD(n);
        copy->PrepareOwnedChunks();
    }
    copy->ResolveChunkBones();
    copy->SelectLOD(selected_);
    copy->current_ = 0;
    for (const Kiv::Particle* cull : cullAttachments_)
        if (Kiv::Particle* found = copy->FindByName(cull->GetName()); found != nullptr)
            copy->cullAttachments_.push_back(found);
    return copy;
}
