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

HalvexGeometryBaseResource::~HalvexGeometryBaseResource() {
    ClearPending();
}

void HalvexGeometryBaseResource::ClearPending() {
    for (MaterialTextures& m : pending_)
        for (Kiv::TextureLoad* t : m.textures)
            t->ReleaseReference();
    pending_.clear();
}

void HalvexGeometryBaseResource::RequestTextures(
    const std::vector<std::shared_ptr<Kiv::Material>>& materials,
    HalvexIndexedMeshDefinition& definition) {
    ClearPending();
    for (const auto& material : materials) {
        MaterialTextures& entry = pending_.emplace_back();
        if (!material) continue;
        const std::string folder = material->GetDescription().folder.str();
        bool refused = false, waiting = false;
        for (const Kiv::TextureRequest& request : material->GetTextureRequests()) {
            auto* texture = new Kiv::TextureLoad(folder, request.name.view());
            texture->Load();
            if (texture->IsAvailable())
                material->SetTexture(request.slot, texture->GetTexture(), request.value);
            if (texture->HasFailed()) {
                if (texture->GetFailure() == Kiv::TextureLoad::kNoSuchFile && material->GetFlag()) {
                    texture->ReleaseReference();  // optional: the material does without it
                    continue;
                }
                Kiv::File::Path path(folder);
                path.AddPath(request.name.view());
                definition.RefusedTextureRequests().push_back(Kiv::PString(path.str()));
                refused = true;
            }
            waiting = waiting || !texture->IsAvailable();
            entry.textures.push_back(texture);
        }
        entry.state = refused   ? MaterialTextures::State::kRefused
                      : waiting ? MaterialTextures::State::kPending
                                : MaterialTextures::State::kNothingPending;
    }
}

bool HalvexGeometryBaseResource::LoadAll() {
    if (!Kiv::Resource::LoadAll()) return false;
    for (MaterialTextures& m : pending_) {
        bool waiting = false;
        for (Kiv::TextureLoad* texture : m.textures) {
            if (texture->IsAvailable()) continue;
            if (texture->Load() == Kiv::TextureLoad::State::kFailed) return false;
            waiting = waiting || !texture->IsAvailable();
        }
        if (m.state == MaterialTextures::State::kPending && !waiting)
            m.state = MaterialTextures::State::kNothingPending;
    }
    return true;
}

uint32_t HalvexGeometryBaseResource::IsAllLoaded() const {
    if (const uint32_t base = Kiv::Resource::IsAllLoaded()) return base;
    for (const MaterialTextures& m : pending_) {
        if (m.state == MaterialTextures::State::kNothingPending) continue;
        if (m.state != MaterialTextures::State::kPending) return 1;
        for (const Kiv::TextureLoad* texture : m.textures) {
            if (texture->IsAvailable()) continue;
            return texture->HasFailed() || texture->IsAllLoaded() == 1 ? 1 : 5;
        }
    }
    return 0;
}

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
    if (definition_ != nullptr) {
        std::vector<std::shared_ptr<Kiv::Material>> materials;
        for (uint32_t i = 0; i < definition_->GetNumSubMeshes(); ++i)
            materials.push_back(definition_->GetMaterial(i));
        RequestTextures(materials, *definition_);
        completion_ = PrepareChunks(*definition_, kernel_);
        if (UsesCollisionTree()) definition_->GetCollision().RequestBuild();
    }
    HalvexGeometryBaseResource::LoadComplete();
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
    if (definition_ != nullptr && kernel_ != nullptr) {
        // The levels share one material table: each material's textures are asked for once.
        RequestTextures(definition_->GetMaterialTable(), *definition_);
        completion_ = definition_->CompleteLoad(&kernel_->GetDisplay());
    }
    HalvexGeometryBaseResource::LoadComplete();
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

constexpr Kiv::ResourceType kMeshTypes[] = {
    {"im", Make<HalvexIndexedMeshResource>},
    {"pm", Make<HalvexProgressiveMeshResource>},
    {"lm.txt", Make<HalvexIndexedMeshLODResource>},
    {"lm", Make<HalvexIndexedMeshLODResource>},
};

}  // namespace

bool RegisterMeshResourceType(std::string_view extension) {
    for (const Kiv::ResourceType& type : kMeshTypes)
        if (extension == type.extension) {
            Kiv::RegisterResourceType(type);
            return true;
        }
    return false;
}

void RegisterMeshResourceTypes() {
    for (const Kiv::ResourceType& type : kMeshTypes)
        Kiv::RegisterResourceType(type);
}

void UnregisterMeshResourceTypes() {
    for (const Kiv::ResourceType& type : kMeshTypes)
        Kiv::UnregisterResourceType(type.extension);
}
