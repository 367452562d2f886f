#include "mesh/mesh_resources.h"

#include "mesh/mesh_collision.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/display/render_kernel.h"

namespace {

// The engine's own result of a resource load.
constexpr uint32_t kLoaded = 0;
constexpr uint32_t kNotLoaded = 1;

// A chunk that could not be made ready on the display; the completion keeps it to itself.
uint32_t PrepareChunks(const HalvexIndexedMeshDefinition& definition, Kiv::RenderKernel* kernel) {
    uint32_t result = kMeshOk;
    for (uint32_t i = 0; i < definition.GetNumSubMeshes(); ++i)
        if (definition.GetChunk(i) && !definition.GetChunk(i)->PrepareForDisplay(kernel))
            result = RES_FILE_DATA_ERROR;
    return result;
}

// A skinned mesh (influences and a second skinning count) needs a skeleton to follow.
bool IsSkinned(const HalvexIndexedMeshDefinition& definition) {
    return definition.GetNumInfluences() > 0 && definition.GetMaxBonesPerSubMesh() > 0;
}

}  // namespace

HalvexGeometryBaseResource::~HalvexGeometryBaseResource() = default;

void HalvexGeometryBaseResource::Prepare(Kiv::RenderKernel* kernel) {
    kernel_ = kernel;
    ClearPending();
}

uint32_t HalvexGeometryBaseResource::Initialise(Kiv::RenderKernel* kernel) {
    Prepare(kernel);
    if (Load() != kLoaded) return kNotLoaded;
    LoadComplete();
    return kLoaded;
}

MeshLoadArgs HalvexGeometryBaseResource::LoadArgs() const {
    MeshLoadArgs args;
    // A material the kernel cannot make still loads as a stand-in; the definition keeps its
    // name among the missing ones, where the checks find it.
    args.allowMissingMaterials = true;
    args.ownerName = GetName().str();
    return args;
}

// --- indexed ------------------------------------------------------------------------------

uint32_t HalvexIndexedMeshResource::Load() {
    ClearPending();
    if (kernel_ == nullptr) return kNotLoaded;
    auto definition = std::make_unique<HalvexIndexedMeshDefinition>(options_);
    if (!definition->OpenFile(GetName().view())) return kNotLoaded;
    if (definition->Load(&kernel_->GetDisplay(), &kernel_->GetMaterialManager(), LoadArgs()) !=
        kMeshOk)
        return kNotLoaded;
    definition_ = std::move(definition);
    return kLoaded;
}

void HalvexIndexedMeshResource::LoadComplete() {
    if (definition_ == nullptr) return;
    completion_ = PrepareChunks(*definition_, kernel_);
    if (UsesCollisionTree()) definition_->GetCollision().RequestBuild();
}

size_t HalvexIndexedMeshResource::GetMemorySize() const {
    return definition_ != nullptr ? definition_->GetSize() : 0;
}

std::unique_ptr<Kiv::Particle> HalvexIndexedMeshResource::CreateInstance() {
    if (kernel_ == nullptr || definition_ == nullptr) return nullptr;
    if (IsSkinned(*definition_)) {
        if (definition_->GetSkeleton() == nullptr) return nullptr;  // nothing to follow
        auto skinned = std::make_unique<HalvexDynamicIndexedMeshInstance>(kernel_);
        skinned->BindSkinned(this, definition_.get());
        return skinned;
    }
    auto instance = std::make_unique<HalvexIndexedMeshInstance>(kernel_);
    instance->Bind(this, definition_.get());
    return instance;
}

// --- progressive --------------------------------------------------------------------------

MeshMaterialConfig HalvexProgressiveMeshResource::ProgressiveOptions(MeshMaterialConfig options) {
    if (options.dynamicIndex.present == 0) options.hardwareAnimationFloatPrecision = {1, 1};
    return options;
}

uint32_t HalvexProgressiveMeshResource::Load() {
    ClearPending();
    if (kernel_ == nullptr) return kNotLoaded;
    auto definition =
        std::make_unique<HalvexProgressiveMeshDefinition>(ProgressiveOptions(options_));
    if (definition->LoadFile(GetName().view(), &kernel_->GetDisplay(),
                             &kernel_->GetMaterialManager(), LoadArgs()) != kMeshOk)
        return kNotLoaded;
    definition_ = std::move(definition);
    return kLoaded;
}

const HalvexProgressiveMeshDefinition* HalvexProgressiveMeshResource::GetProgressiveDefinition()
    const {
    return static_cast<const HalvexProgressiveMeshDefinition*>(definition_.get());
}

std::unique_ptr<Kiv::Particle> HalvexProgressiveMeshResource::CreateInstance() {
    if (kernel_ == nullptr || definition_ == nullptr) return nullptr;
    if (IsSkinned(*definition_)) {
        if (definition_->GetSkeleton() == nullptr) return nullptr;
        auto skinned = std::make_unique<HalvexDynamicProgressiveMeshInstance>(kernel_);
        skinned->BindSkinned(this, GetProgressiveDefinition());
        return skinned;
    }
    auto instance = std::make_unique<HalvexProgressiveMeshInstance>(kernel_);
    instance->BindProgressive(this, GetProgressiveDefinition());
    return instance;
}

// --- LOD ----------------------------------------------------------------------------------

uint32_t HalvexIndexedMeshLODResource::Load() {
    if (Kiv::File::Path(GetName().view()).IsExt("lm.txt")) return LoadTxt();
    ClearPending();
    if (kernel_ == nullptr) return kNotLoaded;
    auto definition = std::make_unique<HalvexIndexedMeshLODDefinition>(options_);
    if (!definition->OpenFile(GetName().view())) return kNotLoaded;
    Kiv::Display& display = kernel_->GetDisplay();
    definition->SetHardwareAnimation(
        display.SupportsCapability(Kiv::Display::kCapabilityHardwareSkinning));
    if (definition->LoadBinary(&display, &kernel_->GetMaterialManager(), LoadArgs()) != kMeshOk)
        return kNotLoaded;
    definition_ = std::move(definition);
    return kLoaded;
}

uint32_t HalvexIndexedMeshLODResource::LoadTxt() {
    if (kernel_ == nullptr) return kNotLoaded;
    auto definition = std::make_unique<HalvexIndexedMeshLODDefinition>(options_);
    Kiv::Display& display = kernel_->GetDisplay();
    definition->SetHardwareAnimation(
        display.SupportsCapability(Kiv::Display::kCapabilityHardwareSkinning));
    // A text load that fails keeps nothing of what it built: instances made from half a
    // definition would read past its arrays.
    if (definition->LoadText(GetName().view(), &display, &kernel_->GetMaterialManager(),
                             LoadArgs()) != kMeshOk)
        return kNotLoaded;
    definition_ = std::move(definition);
    return kLoaded;
}

void HalvexIndexedMeshLODResource::LoadComplete() {
    if (definition_ != nullptr && kernel_ != nullptr)
        completion_ = definition_->CompleteLoad(&kernel_->GetDisplay());
}

size_t HalvexIndexedMeshLODResource::GetMemorySize() const {
    return definition_ != nullptr ? definition_->GetLodSize() : 0;
}

std::unique_ptr<Kiv::Particle> HalvexIndexedMeshLODResource::CreateInstance() {
    if (kernel_ == nullptr || definition_ == nullptr) return nullptr;
    if (!definition_->GetBones().empty()) {
        if (definition_->GetSkeleton() == nullptr) return nullptr;
        auto skinned = std::make_unique<HalvexDynamicIndexedMeshLODInstance>(kernel_);
        skinned->BindSkinned(this, definition_.get());
        return skinned;
    }
    auto instance = std::make_unique<HalvexIndexedMeshLODInstance>(kernel_);
    instance->BindLOD(this, definition_.get());
    return instance;
}

// --- types ----------------------------------------------------------------------------------

namespace {

template <typename T>
Kiv::Resource* Make(const Kiv::PString& name, Kiv::ResourceDatabase* database) {
    return new T(name, database);
}

}  // namespace

void RegisterMeshResourceTypes() {
    Kiv::RegisterResourceType({"im", Make<HalvexIndexedMeshResource>});
    Kiv::RegisterResourceType({"pm", Make<HalvexProgressiveMeshResource>});
    Kiv::RegisterResourceType({"lm.txt", Make<HalvexIndexedMeshLODResource>});
    Kiv::RegisterResourceType({"lm", Make<HalvexIndexedMeshLODResource>});
}

void UnregisterMeshResourceTypes() {
    for (const char* extension : {"im", "pm", "lm", "lm.txt"})
        Kiv::UnregisterResourceType(extension);
}
