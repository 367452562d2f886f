#include "validation/mesh_data.h"

#include <string>

#include "foundation/callback.h"
#include "foundation/main_thread.h"
#include "foundation/worker_queue.h"
#include "mesh/mesh_resources.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/geom/animation.h"
#include "platform/kiv/res/resource_database.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"

namespace {

// The engine's lookup mode of the checks: find the resource and make it now.
constexpr int kLookupNow = 2;
// The engine's blend mode of an animation added for inspection.
constexpr int kAnimationMode = 5;
// Description lines are read in pieces of this size, as the old tools did.
constexpr size_t kDescriptionLine = 512;
constexpr std::string_view kPrimary = "Primary=";

DUVLib::ErrorHandler* Handler() {
    return DUVLib::ErrorHandler::Instance();
}

const Kiv::PString& SomeName() {
    static const Kiv::PString name("some name");
    return name;
}

// True when the path, normalised, lies inside the folder.
bool Inside(std::string_view path, std::string_view folder) {
    if (folder.empty()) return true;
    Kiv::File::Path p(path), f(folder);
    p.Normalize();
    f.Normalize();
    f.RemoveTrailingSeparator();
    const std::string& ps = p.str();
    const std::string& fs = f.str();
    if (ps.size() <= fs.size() || ps.compare(0, fs.size(), fs) != 0) return false;
    if (ps[fs.size()] != '/') return false;
    // A ".." that Normalize could not take away climbs out again.
    return ps.find("/../") == std::string::npos && ps.substr(ps.size() - 3) != "/..";
}

// The first "Primary=" line of a texture description, cut at its line end; false when the file
// has none. A line longer than the piece size is read as a line all the same.
bool ReadPrimaryLine(const std::string& path, std::string& image) {
    Kiv::File file;
    if (!file.Open(path, Kiv::File::kModeRead)) return false;
    std::string line;
    bool truncated = false;
    while (file.ReadLine(line, kDescriptionLine - 1, &truncated)) {
        std::string rest;
        bool more = truncated;
        while (more && file.ReadLine(rest, kDescriptionLine, &more)) {
        }
        if (line.compare(0, kPrimary.size(), kPrimary) != 0) continue;
        image = line.substr(kPrimary.size());
        image.resize(std::min(image.size(), image.find_first_of("\r\n")));
        return true;
    }
    return false;
}

}  // namespace

MeshData::MeshData() = default;

MeshData::~MeshData() {
    animator_.reset();
    skeleton_.reset();
    SetFlags(GetFlags() & ~kFlagShown);
    // The instance goes with the particle's children; its resource after it.
    while (!GetChildren().empty())
        RemoveChild(GetChildren().back().get());
    if (resource_ != nullptr) resource_->ReleaseReference();
}

LODMeshData::~LODMeshData() = default;

const Kiv::PString& MeshData::GetName() const {
    return SomeName();
}

const Kiv::PString& LODMeshData::GetName() const {
    return SomeName();
}

bool MeshData::HasAttachmentPoint(const Kiv::PString& name) const {
    for (const AttachmentPoint& p : points_)
        if (p.name == name) return true;
    return false;
}

template <typename T>
bool MeshData::RunOnMainThread(T* object, void (T::*body)(void*)) {
    bool result = false;
    // A process that never recorded a main thread has none to wait for (a tool, a test): the
    // caller runs the body itself rather than wait for good.
    if (GetMainThreadId() == 0) {
        (object->*body)(&result);
        return result;
    }
    const TCXCallback call(new TCXCallbackCPPVoidPtr<T>(object, body));
    if (!WorkerCallQueue::Instance().Post(call, &result, kCallMainThread)) return false;
    return result;
}

bool MeshData::Load(const Kiv::PString& path, DUVLib::Container* owner) {
    owner_ = owner;
    path_ = path;
    return RunOnMainThread(this, &MeshData::LoadBody);
}

bool LODMeshData::Load(const Kiv::PString& path, DUVLib::Container* owner) {
    owner_ = owner;
    path_ = path;
    return RunOnMainThread(this, &LODMeshData::LoadLODBody);
}

bool MeshData::LoadAnimation(const Kiv::PString& path) {
    animationPath_ = path;
    return RunOnMainThread(this, &MeshData::LoadAnimationBody);
}

std::string MeshData::ShortPath() const {
    const std::string folder = DUVLib::DataManager::Instance().GetAssetFolderWithSeparator();
    std::string path = loadedPath_.str();
    if (folder.size() <= path.size()) path.erase(0, folder.size());
    return path;
}

void MeshData::ReportOwned(bool error, const Kiv::PString& text) {
    DUVLib::ErrorHandler* handler = Handler();
    if (handler == nullptr) return;
    if (owner_ != nullptr)
        error ? handler->Error(text, owner_) : handler->Warning(text, owner_);
    else
        error ? handler->Error(text) : handler->Warning(text);
}

namespace {

// The resource of a mesh path, or null. A path that leaves the asset's folder is not opened.
// Without a registered type for the extension there are no mesh resources in this build: a
// check that asks (an owner is set) is told so once, as an ownerless warning, unless mesh
// messages are suppressed.
Kiv::Resource* FindMeshResource(const Kiv::PString& path, bool asked, bool& unavailable) {
    DUVLib::DataManager& manager = DUVLib::DataManager::Instance();
    unavailable = Kiv::FindResourceTypeFor(path.view()) == nullptr;
    if (unavailable) {
        if (asked && !manager.meshMessagesSuppressed)
            if (DUVLib::ErrorHandler* handler = Handler())
                handler->Warning(Kiv::PString("mesh checks are not available in this build"));
        return nullptr;
    }
    if (!Inside(path.view(), manager.GetAssetFolder().view())) return nullptr;
    Kiv::ResourceDatabase* database = manager.GetResourceDatabase();
    return database != nullptr ? database->FindResource(path, kLookupNow) : nullptr;
}

}  // namespace

void MeshData::LoadBody(void* out) {
    bool& result = *static_cast<bool*>(out);
    result = false;
    loadedPath_ = path_;
    DUVLib::DataManager& manager = DUVLib::DataManager::Instance();
    bool unavailable = false;
    Kiv::Resource* found = FindMeshResource(path_, owner_ != nullptr, unavailable);
    if (unavailable) return;
    if (dynamic_cast<HalvexProgressiveMeshResource*>(found) != nullptr) {
        found->ReleaseReference();
        result = true;
        return;
    }
    auto* resource = dynamic_cast<HalvexGeometryBaseResource*>(found);
    if (resource == nullptr) {
        if (found != nullptr || (owner_ != nullptr && !manager.meshMessagesSuppressed))
            ReportOwned(true, FindingText("$duv_mesh_load_mesh", {std::string_view(ShortPath())}));
        if (found != nullptr) found->ReleaseReference();
        return;
    }
    result = LoadFromResource(resource, false);
}

void LODMeshData::LoadLODBody(void* out) {
    bool& result = *static_cast<bool*>(out);
    result = false;
    loadedPath_ = path_;
    DUVLib::DataManager& manager = DUVLib::DataManager::Instance();
    bool unavailable = false;
    Kiv::Resource* found = FindMeshResource(path_, owner_ != nullptr, unavailable);
    if (unavailable) return;
    if (found == nullptr) {
        if (owner_ != nullptr && !manager.meshMessagesSuppressed)
            ReportOwned(true, FindingText("$duv_mesh_load_mesh", {std::string_view(ShortPath())}));
        return;
    }
    auto* resource = dynamic_cast<HalvexGeometryBaseResource*>(found);
    if (resource == nullptr) {
        // A resource of another kind under a LOD name cannot be initialised as a mesh.
        if (owner_ != nullptr) ReportOwned(true, FindingText("$duv_mesh_initialise_mesh", {path_}));
        found->ReleaseReference();
        return;
    }
    result = LoadFromResource(resource, true);
    if (result) lodInstance_ = static_cast<HalvexIndexedMeshLODInstance*>(instance_);
}

bool MeshData::LoadFromResource(HalvexGeometryBaseResource* resource, bool wantLOD) {
    Kiv::RenderKernel* kernel = Kiv::RenderKernel::GetCurrent();
    resource->Prepare(kernel);
    if (resource->Initialise(kernel) != 0) {
        if (owner_ != nullptr) ReportOwned(true, FindingText("$duv_mesh_initialise_mesh", {path_}));
        resource->ReleaseReference();
        return false;
    }
    std::unique_ptr<Kiv::Particle> made = resource->CreateInstance();
    auto* instance = dynamic_cast<HalvexIndexedMeshInstance*>(made.get());
    if (wantLOD && dynamic_cast<HalvexIndexedMeshLODInstance*>(made.get()) == nullptr)
        instance = nullptr;
    if (instance == nullptr) {
        // The shipped text is a format: filled, never followed by the path as more format.
        if (owner_ != nullptr) ReportOwned(true, FindingText("$duv_mesh_initialise_mesh", {path_}));
        resource->ReleaseReference();
        return false;
    }
    made.release();
    instance_ = instance;
    AddChild(std::unique_ptr<Kiv::Particle>(instance));
    definition_ = resource->GetDefinition();
    resource_ = resource;

    skeleton_ = std::make_unique<Kiv::SkeletonModifier>(this, kernel, 0.5f);
    animator_ = std::make_unique<Kiv::Animator>(
        nullptr, DUVLib::DataManager::Instance().GetResourceDatabase(), skeleton_.get());
    loaded_ = true;
    if (owner_ != nullptr)
        if (DUVLib::ErrorHandler* handler = Handler())
            handler->ExportNotice(LocalisedText("$duv_mesh_successfulmesh"), owner_);
    Inspect();
    return true;
}

void MeshData::Inspect() {
    if (definition_ == nullptr) return;
    // 1. Attachment points, under the last part of their names.
    points_.clear();
    for (const MeshAttachmentPoint& a : definition_->GetAttachments()) {
        std::string_view name = a.name.view();
        const size_t slash = name.rfind('/');
        if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
        points_.push_back({a.orientation, a.position, Kiv::PString(name)});
    }
    // 2. Materials that did not load.
    for (const Kiv::PString& material : definition_->GetMissingMaterials())
        ReportOwned(true, FindingText("$duv_mesh_failedmaterial",
                                      {material, std::string_view(ShortPath())}));
    // 3. The primary image of every texture description the materials name, looked for beside
    // the mesh.
    const Kiv::File::Path meshPath(loadedPath_.view());
    const std::string folder(meshPath.GetFolder());
    for (uint32_t i = 0; i < definition_->GetNumSubMeshes(); ++i) {
        const std::vector<Kiv::TextureRequest>* textures =
            definition_->GetMaterialTexturesAddress(i);
        if (textures == nullptr) continue;
        for (const Kiv::TextureRequest& texture : *textures) {
            Kiv::File::Path description(folder);
            const Kiv::File::Path name(texture.name.view());
            if (name.IsExt("txt")) {
                description.AddPath(name.view());
            } else if (name.IsExt("texture")) {
                description.AddPath(name.view());
                description.Add(".txt");
            } else {
                continue;
            }
            // A description outside the asset is not opened; a missing one is not reported here.
            if (!Inside(description.view(), folder) || !Kiv::File::IsPresent(description.view()))
                continue;
            std::string image;
            if (!ReadPrimaryLine(description.str(), image)) continue;
            Kiv::File::Path imagePath(description.GetFolder());
            imagePath.AddPath(image);
            if (!image.empty() && Inside(imagePath.view(), folder) &&
                Kiv::File::IsPresent(imagePath.view()))
                continue;
            ReportOwned(
                true, FindingText("$duv_mesh_load_texture",
                                  {std::string_view(image), imagePath.view(), description.view()}));
        }
    }
    // 4. The named particles of the hierarchy.
    children_.clear();
    if (const Kiv::Particle* root = definition_->GetSkeleton()) {
        std::vector<Kiv::Particle*> all;
        root->EnumerateParticles(all);
        for (const Kiv::Particle* p : all)
            children_.push_back({p->GetName()});
    }
}

void MeshData::LoadAnimationBody(void* out) {
    bool& result = *static_cast<bool*>(out);
    result = false;
    if (animator_ == nullptr) {
        ReportOwned(true, LocalisedText("$duv_mesh_animationfailedmesh"));
        return;
    }
    const Kiv::PString lower = animationPath_.ToLower();
    DUVLib::DataManager& manager = DUVLib::DataManager::Instance();
    // An animation outside the asset's folder is not opened: it cannot be read.
    const uint32_t added =
        Inside(animationPath_.view(), manager.GetAssetFolder().view())
            ? animator_->Add(lower, nullptr, kAnimationMode, 1.0f, 0.0f, 1.0f, 0.0f)
            : Kiv::Animator::kNoResource;
    const char* key = added == Kiv::Animator::kSkeletonMismatch
                          ? "$duv_mesh_animationfailedskeleton"
                      : added == Kiv::Animator::kNoResource ? "$duv_mesh_animationfailedres"
                      : added == Kiv::Animator::kNoObserver ? "$duv_mesh_animationfailedobserver"
                                                            : nullptr;
    if (key != nullptr) {
        ReportOwned(true, FindingText(key, {animationPath_}));
        return;
    }
    std::unique_ptr<Kiv::AnimationModifier> modifier = Kiv::AnimationModifier::CreateInstance(
        manager.GetResourceDatabase(), lower, kAnimationMode);
    animations_.push_back({animationPath_, modifier != nullptr ? modifier->GetLength() : 0.0f});
    if (DUVLib::ErrorHandler* handler = Handler()) {
        const Kiv::PString notice = LocalisedText("$duv_mesh_successfulanimation");
        if (owner_ != nullptr)
            handler->ExportNotice(notice, owner_);
        else
            handler->IsNewKey(notice);
    }
    result = true;
}

int MeshData::GetPolygonCount() const {
    return instance_ != nullptr ? instance_->GetPolygonCount() : 0;
}

int LODMeshData::GetPolygonCount() const {
    return lodInstance_ != nullptr ? lodInstance_->GetPolygonCount() : 0;
}

uint32_t LODMeshData::GetLODCount() const {
    return lodInstance_ != nullptr ? lodInstance_->GetLODCount() : 0;
}

void LODMeshData::SelectLOD(uint32_t n) {
    if (lodInstance_ != nullptr && n < lodInstance_->GetLODCount()) lodInstance_->SelectLOD(n);
}
