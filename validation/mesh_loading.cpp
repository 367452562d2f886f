// Mesh loading for the checks: a mesh file a tag names is loaded by its extension into the
// data manager's inspection scene, kept as its container's mesh and the current one, and a LOD
// mesh of a sub-container gets three performance checks. Animations load onto the current mesh;
// progressive meshes are an unsupported format.
#include <memory>
#include <string>

#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/path.h"
#include "validation/container.h"
#include "validation/data_manager.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"
#include "validation/mesh_data.h"
#include "validation/tag_vocabulary.h"

namespace DUVLib {

namespace {

// A LOD mesh of one of these kinds needs no performance advice.
bool IsExemptKind(const Kiv::PString& kind) {
    for (TagWord w : {TagWord::kTraincar, TagWord::kBogey, TagWord::kInterior, TagWord::kPantograph,
                      TagWord::kDrivercharacter})
        if (kind == Voc(w)) return true;
    return false;
}

constexpr int kLowPolygons = 300;

}  // namespace

std::string DataManager::GetAssetFolderWithSeparator() const {
    std::string folder = assetFolder_.str();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

void DataManager::InstallMesh(Container* container, std::unique_ptr<MeshData> mesh) {
    if (currentMesh_ != nullptr)
        currentMesh_->SetFlags(currentMesh_->GetFlags() & ~Kiv::Particle::kFlagShown);
    MeshData* installed = mesh.get();
    KeepMesh(container, std::move(mesh));
    installed->SetFlags(installed->GetFlags() | Kiv::Particle::kFlagShown);
    UniqueTagsChanged();
    TagsChanged();
    // KeepMesh has told MeshChanged. A command-line run has no light to give the instance.
}

void DataManager::CheckLODPerformance(LODMeshData& mesh, Container* container) {
    const Container* parent = container->GetParent();
    if (parent == nullptr) return;
    const Kiv::PString kind = TDBContainerTag::GetString(parent->GetSoup(), Voc(TagWord::kKind));
    if (IsExemptKind(kind)) return;
    ErrorHandler* handler = ErrorHandler::Instance();
    if (handler == nullptr) return;
    // The path after the asset folder follows the texts, used as they are (never as a format).
    // The folder's own separator is kept: "/a.lm".
    std::string path(mesh.GetLoadedPath().view());
    const size_t folder = GetAssetFolderWithSeparator().size();
    if (folder != 0 && folder < path.size()) path.erase(0, folder - 1);
    auto warn = [&](const char* key) {
        handler->Warning(Kiv::PString(LocalisedText(key).str() + path), container);
    };
    if (mesh.GetAttachmentPointCount() == 0 && mesh.GetAnimations().empty())
        warn("$duv_lm_performance_no_attachments");
    if (mesh.GetLODCount() == 1) warn("$duv_lm_performance_single_lod");
    if (mesh.GetLODCount() > 0) mesh.SelectLOD(mesh.GetLODCount() - 1);
    if (mesh.GetPolygonCount() < kLowPolygons) warn("$duv_lm_performance_low_poly");
}

MeshData* DataManager::LoadMesh(std::string_view text, Container* container) {
    if (text.empty()) return nullptr;
    Kiv::File::Path path(text);
    if (path.GetExt().empty()) return nullptr;
    // Tags name their files inside the asset's folder, so the path is a whole one already (on
    // Linux an absolute path begins with "/"); "\" from old files becomes "/".
    path.ReplaceBackSlashes();
    const Kiv::PString resolved(path.view());
    ErrorHandler* handler = ErrorHandler::Instance();

    const bool textLOD = path.IsExt("txt") && Kiv::File::Path(path).SetExt("").IsExt("lm");
    if (path.IsExt("im")) {
        auto mesh = std::make_unique<MeshData>();
        if (!mesh->Load(resolved, container)) {
            meshFailure = true;
            return nullptr;
        }
        MeshData* kept = mesh.get();
        InstallMesh(container, std::move(mesh));
        return kept;
    }
    if (path.IsExt("lm") || textLOD) {
        auto mesh = std::make_unique<LODMeshData>();
        if (!mesh->Load(resolved, container)) {
            meshFailure = true;
            return nullptr;
        }
        LODMeshData* kept = mesh.get();
        InstallMesh(container, std::move(mesh));
        // Without a container there is nothing to judge the mesh against.
        if (!textLOD && container != nullptr) CheckLODPerformance(*kept, container);
        return kept;
    }
    if (path.IsExt("txt")) return nullptr;
    if (path.IsExt("pm")) {
        meshFailure = true;
        if (handler != nullptr) {
            const Kiv::PString text = LocalisedText("$duv_dm_unsupportedformat");
            if (static_cast<int>(static_cast<double>(build_) * 100.0 + 0.1) < 290)
                handler->Warning(text, container);
            else
                handler->Error(text, container);
        }
        // Loaded only for what its own load reports.
        MeshData probe;
        probe.Load(resolved, container);
        return nullptr;
    }
    if (path.IsExt("kin")) {
        if (currentMesh_ != nullptr && currentMesh_->IsLoaded()) {
            currentMesh_->LoadAnimation(resolved);
        } else if (!meshFailure && !meshMessagesSuppressed) {
            meshFailure = true;
            if (handler != nullptr)
                handler->Error(
                    Kiv::PString(LocalisedText("$duv_dm_animationfailed").str() + resolved.str()),
                    container);
        }
        return nullptr;
    }
    return nullptr;
}

}  // namespace DUVLib
