// The LOD mesh instance: one level record per mesh of the definition, the selected level in
// the indexed part (the collision geometry), copies that share what they can.
#include <algorithm>

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
    Kiv::Particle::SetOpacity(opacity);
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
    marks_.clear();
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
        marks_.push_back(1);
        SelectLOD(static_cast<uint32_t>(levels_.size() - 1));
        PrepareOwnedChunks();
    }
    marksSet_ = static_cast<uint32_t>(marks_.size());
    const int collision = FindNamedMesh(CollisionName());
    if (collision >= 0)
        SelectLOD(static_cast<uint32_t>(collision));
    else if (GetLODCount() > 0)
        SelectLOD(GetLODCount() - 1);
    current_ = 0;
}

void HalvexIndexedMeshLODInstance::Cull(Kiv::ViewPoint& viewPoint, const Kiv::Matrix4x4& matrix) {
    Kiv::Sphere sphere = GetGlobalBoundingSphere();
    sphere.radius += 5.0f;
    const float distance = FindLOD(sphere, viewPoint.GetCameraPosition());
    for (Kiv::Particle* attachment : cullAttachments_)
        attachment->SetHidden(attachmentCutOff_ < distance);
    Kiv::Particle::Cull(viewPoint, matrix);
    // Nothing of an instance faded out is drawn: the frame test below then fails.
    if (!(GetOpacity() > 0.0f)) SetLastCulledFrame(0);
    if (GetLastCulledFrame() != viewPoint.GetCurrentFrame() || levels_.empty()) return;
    if (!locked_) current_ = FindLODIndex(distance, GetLevelRecordCount());
    if (renderCutOff_ > GetLastDistance()) return;
    const LodInstanceLevel& level = levels_[current_];
    if (level.chunks)
        for (const auto& chunk : *level.chunks)
            if (chunk) chunk->Reset(-1);
    viewPoint.Add(this);
    StoreMatrix(viewPoint, matrix);
}

void HalvexIndexedMeshLODInstance::Render(Kiv::ViewPoint& viewPoint, Kiv::Matrix4x4 matrix) {
    if (current_ >= levels_.size()) return;
    if (scaled_) matrix.ScaleRows(scale_);
    UpdateLevelLighting(current_);
    const LodInstanceLevel& level = levels_[current_];
    DrawChunks(viewPoint, matrix, level.chunks.get(), level.materials.get(), level.chunkCount,
               level.chunkBones);
}

void HalvexIndexedMeshLODInstance::DrawChunksDirect(Kiv::ViewPoint& viewPoint, bool lit) {
    if (current_ >= levels_.size()) return;
    const LodInstanceLevel& level = levels_[current_];
    HalvexIndexedMeshInstance::DrawChunksDirect(viewPoint, lit, level.chunks.get(),
                                                level.materials.get(), level.chunkCount);
}

void HalvexIndexedMeshLODInstance::SetUpdateLighting(bool on) {
    std::fill(marks_.begin(), marks_.end(), on ? 1 : 0);
    update_ = on;
    marksSet_ = on ? static_cast<uint32_t>(marks_.size()) : 0;
}

void HalvexIndexedMeshLODInstance::UpdateLevelLighting(uint32_t n) {
    if (n >= marks_.size() || marks_[n] == 0) return;
    CalculateLighting(levels_[n].chunkCount);
    marks_[n] = 0;
    if (marksSet_ > 0) --marksSet_;
    if (marksSet_ == 0) update_ = false;
}

void HalvexIndexedMeshLODInstance::UpdateAllLevelsLighting(bool distanceOnly) {
    const uint32_t count =
        distanceOnly ? std::min(GetNumLevels(), GetLevelRecordCount()) : GetLevelRecordCount();
    for (uint32_t n = 0; n < count; ++n)
        UpdateLevelLighting(n);
}

void HalvexIndexedMeshLODInstance::ResolveChunkBones() {
    Kiv::Particle* skeleton = nullptr;
    if (definition_ != nullptr && definition_->GetSkeleton() != nullptr)
        skeleton = FindByName(definition_->GetSkeleton()->GetName());
    const auto named = [](const Kiv::PString& name) {
        return !name.IsNull() && !name.view().empty();
    };
    for (LodInstanceLevel& level : levels_) {
        level.chunkBones.clear();
        // A level none of whose chunks follows a bone draws with the instance's matrix (a
        // skinned level moves its vertices instead): a table of null bones would draw nothing.
        if (skeleton == nullptr ||
            std::none_of(level.chunkBoneNames.begin(), level.chunkBoneNames.end(), named))
            continue;
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
    CopyLODInto(*copy);
    return copy;
}

void HalvexIndexedMeshLODInstance::CopyLODInto(HalvexIndexedMeshLODInstance& out) const {
    auto* copy = &out;
    CopyInto(*copy);
    copy->Kiv::ObjectLOD::InitInstance(*this);
    copy->named_ = named_;
    copy->locked_ = locked_;
    copy->renderCutOff_ = renderCutOff_;
    copy->attachmentCutOff_ = attachmentCutOff_;
    copy->levels_ = levels_;
    copy->marks_ = marks_;
    copy->marksSet_ = marksSet_;
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
}

// --- skinned ------------------------------------------------------------------------------

void HalvexDynamicIndexedMeshLODInstance::BindSkinned(
    HalvexGeometryBaseResource* resource, const HalvexIndexedMeshLODDefinition* definition) {
    SetResource(resource);
    SetLODDefinition(definition);
    animationCutOff_ = definition->GetAnimationCutOff();
    skin_.Setup(*definition);
    animated_.clear();
    for (const LodNamedMesh& named : definition->GetNamedMeshes())
        if (named.animated && named.mesh < GetLevelRecordCount() &&
            std::find(animated_.begin(), animated_.end(), named.mesh) == animated_.end())
            animated_.push_back(named.mesh);
    if (const Kiv::Particle* skeleton = definition->GetSkeleton())
        skin_.SetSkeleton(AddChild(skeleton->Copy()));
    AddAttachmentParticles(*definition);
    OwnMovedChunks();
    flags_ = kSkinPending;
}

void HalvexDynamicIndexedMeshLODInstance::OwnMovedChunks() {
    const uint32_t selected = selected_;
    for (uint32_t n = 0; n < levels_.size(); ++n) {
        SelectLOD(n);
        bool owned = false;
        for (uint32_t c = 0; c < chunkCount_; ++c) {
            if (!skin_.MovesChunk(n, c) || !(*chunks_)[c]) continue;
            if (!owned) OwnChunkArray();
            owned = true;
            MakeChunkUnique(c);
            (*chunks_)[c]->PrepareForDisplay(kernel_);
        }
    }
    SelectLOD(selected);
}

std::unique_ptr<HalvexIndexedMeshInstance> HalvexDynamicIndexedMeshLODInstance::CreateInstanceCopy()
    const {
    auto copy = std::make_unique<HalvexDynamicIndexedMeshLODInstance>(kernel_);
    CopyLODInto(*copy);
    copy->skin_ = skin_;
    copy->animationCutOff_ = animationCutOff_;
    copy->flags_ = flags_ | kSkinPending;
    copy->animated_ = animated_;
    copy->switches_ = 0;
    copy->skin_.SetSkeleton(definition_ != nullptr ? copy->FindSkeletonCopy(*definition_)
                                                   : nullptr);
    copy->OwnMovedChunks();
    return copy;
}

void HalvexDynamicIndexedMeshLODInstance::Cull(Kiv::ViewPoint& viewPoint,
                                               const Kiv::Matrix4x4& matrix) {
    HalvexIndexedMeshLODInstance::Cull(viewPoint, matrix);
    if (locked_) FindLOD(GetGlobalBoundingSphere(), viewPoint.GetCameraPosition());
}

void HalvexDynamicIndexedMeshLODInstance::Render(Kiv::ViewPoint& viewPoint, Kiv::Matrix4x4 matrix) {
    UpdateSkin(viewPoint.GetCurrentFrame());
    HalvexIndexedMeshLODInstance::Render(viewPoint, matrix);
}

void HalvexDynamicIndexedMeshLODInstance::DrawChunksDirect(Kiv::ViewPoint& viewPoint, bool lit) {
    UpdateSkin(viewPoint.GetCurrentFrame());
    HalvexIndexedMeshLODInstance::DrawChunksDirect(viewPoint, lit);
}

void HalvexDynamicIndexedMeshLODInstance::ShowAnimatedParticles(bool shown) {
    std::vector<Kiv::Particle*> under;
    EnumerateParticles(under);
    for (Kiv::Particle* p : under) {
        const std::string_view name = p->GetName().view();
        if (name.size() > 2 && name.substr(0, 2) == "b.") p->SetHidden(!shown);
    }
}

void HalvexDynamicIndexedMeshLODInstance::UpdateSkin(uint32_t frame) {
    const float distance = GetLastDistance(), offset = GetOffset();
    if (distance - offset > animationCutOff_) {
        if ((flags_ & kAnimationOff) == 0) ++switches_;
        flags_ |= kAnimationOff;
        ShowAnimatedParticles(false);
    } else if (distance + offset < animationCutOff_) {
        if ((flags_ & kAnimationOff) != 0) ++switches_;
        flags_ &= ~kAnimationOff;
        ShowAnimatedParticles(true);
    }
    // A pose switched off by distance stays as it was last brought, unless asked for again.
    if ((flags_ & kSkinPending) == 0 && (flags_ & kAnimationOff) != 0) return;
    flags_ &= ~kSkinPending;
    if (current_ < levels_.size() && levels_[current_].chunks)
        skin_.Update(*levels_[current_].chunks, current_, frame, kernel_);
    for (uint32_t n : animated_)
        if (n != current_ && n < levels_.size() && levels_[n].chunks)
            skin_.Update(*levels_[n].chunks, n, frame, kernel_);
}
