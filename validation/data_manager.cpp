#include "validation/data_manager.h"

#include <algorithm>
#include <unordered_set>

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/find.h"
#include "platform/kiv/display/materials.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/scene/particle.h"
#include "platform/kiv/scene/scene.h"
#include "validation/container.h"
#include "validation/error_handler.h"
#include "validation/finding_text.h"
#include "validation/tag_vocabulary.h"

namespace DUVLib {

namespace {

DataManager* gManager = nullptr;
AssetFolderServices gServices;

// The program's material types: one dummy of each is loaded at start-up so that the engine
// knows its vertex layout before any mesh is read.
constexpr const char* kDummyMaterials[] = {
    "HalvexDummyLoad.m.tbumptex",       "HalvexDummyLoad.m.tbumpcoltex",
    "HalvexDummyLoad.m.tbumpglosscol",  "HalvexDummyLoad.m.tbumpenv",
    "HalvexDummyLoad.m.tgroundonetex",  "HalvexDummyLoad.m.tgroundonetexvs",
    "HalvexDummyLoad.m.tonetexnoalpha", "HalvexDummyLoad.m.tbumpgloss",
    "HalvexDummyLoad.m.tglossrust",     "HalvexDummyLoad.m.notex",
    "HalvexDummyLoad.m.onetex",         "HalvexDummyLoad.m.nofogtex",
    "HalvexDummyLoad.m.gloss",          "HalvexDummyLoad.m.reflect"};
constexpr size_t kDummyCount = std::size(kDummyMaterials);
constexpr size_t kNotex = 9, kOnetex = 10, kGloss = 12, kReflect = 13;
// The program's two alpha-blend caches, made by the material plug-ins that provide them.
constexpr const char* kProgramCaches[] = {"HalvexAlphaBlendCache", "AlphaBlendCacheUnsorted"};

struct VertexTypes {
    bool registered = false;
    Kiv::LoadedMaterial* materials[kDummyCount] = {};
    Kiv::RenderingCache* caches[3] = {};
    std::vector<Kiv::VertexType*> types;
};
VertexTypes gVertex;

constexpr size_t kListLineBuffer = 256;

template <typename T>
void EraseAll(std::vector<T*>& v, const void* item) {
    v.erase(std::remove(v.begin(), v.end(), item), v.end());
}

std::string JoinData(const Kiv::PString& folder, std::string_view name) {
    Kiv::File::Path path(folder.view());
    path.AddPath(name);
    return path.str();
}

}  // namespace

void SetAssetFolderServices(const AssetFolderServices& services) {
    gServices = services;
}

const AssetFolderServices& GetAssetFolderServices() {
    return gServices;
}

DataManager::DataManager(std::string_view dataFolder) : dataFolder_(dataFolder) {}

DataManager::~DataManager() {
    PurgeUnusedResources();
    if (database_ != nullptr && gServices.release != nullptr) gServices.release(database_);
    database_ = nullptr;
}

bool DataManager::Startup(std::string_view dataFolder) {
    if (gManager == nullptr) gManager = new DataManager(dataFolder);
    return true;
}

DataManager& DataManager::Instance() {
    if (gManager == nullptr) FatalError("DataManager::Instance> datamanger not initialised");
    if (!gManager->firstUse_) {
        gManager->firstUse_ = true;
        gManager->LoadPersonalDetailsOnce();
    }
    return *gManager;
}

DataManager* DataManager::Peek() {
    return gManager;
}

void DataManager::LoadPersonalDetailsOnce() {
    if (Kiv::File::IsDirectory(dataFolder_.view())) LoadPersonalDetails();
}

void DataManager::Shutdown() {
    if (gManager == nullptr) return;
    // Details never read would be saved as empty texts over the user's own.
    if (!gManager->firstUse_) {
        gManager->firstUse_ = true;
        gManager->LoadPersonalDetailsOnce();
    }
    gManager->SavePersonalDetails();
    if (gManager->sceneRoot_ != nullptr && gManager->renderKernel_ != nullptr &&
        gManager->renderKernel_->GetScene() != nullptr)
        gManager->renderKernel_->GetScene()->UnlinkScene(gManager->sceneRoot_.get());
    gManager->Unload();
    gManager->sceneRoot_.reset();
    delete gManager;
    gManager = nullptr;
}

void DataManager::Unload() {
    if (!templatesLoaded_) return;
    templatesLoaded_ = false;
    PurgeUnusedResources();
    if (database_ != nullptr && gServices.release != nullptr) gServices.release(database_);
    database_ = nullptr;
    uniqueTags_.clear();
    tags_.clear();
    lists_.clear();
    templates_ = TDBTagRef();
    topLevelTags_.clear();
}

bool DataManager::Initialise(const Environment& environment) {
    resourceSystem_ = environment.resourceSystem;
    renderKernel_ = environment.renderKernel;
    sceneRoot_ = std::make_unique<Kiv::Particle>();
    if (renderKernel_ != nullptr && renderKernel_->GetScene() != nullptr)
        renderKernel_->GetScene()->AddScene(sceneRoot_.get());
    return true;
}

void DataManager::RegisterHalvexBumpVertexType() {
    if (gVertex.registered) return;
    gVertex.registered = true;

    Kiv::RenderingCacheManager& caches = Kiv::RenderingCacheManager::Instance();
    for (size_t i = 0; i < 2; ++i) {
        gVertex.caches[i] = Kiv::RenderingCacheManager::MakeCache(kProgramCaches[i]);
        if (gVertex.caches[i] == nullptr)
            LogOutputf(
                "DataManager::RegisterHalvexBumpVertexType> no material plug-in provides '%s'",
                kProgramCaches[i]);
        caches.AddCache(gVertex.caches[i]);
    }
    gVertex.caches[2] = new Kiv::UnsortedAlphaBlendCache(1);
    caches.AddCache(gVertex.caches[2]);

    for (Kiv::VertexType* type : gVertex.types)
        type->ReleaseReference();
    gVertex.types.clear();

    for (size_t i = 0; i < kDummyCount; ++i) {
        gVertex.materials[i] = Kiv::MaterialLoader::Load(kDummyMaterials[i]);
        if (gVertex.materials[i] == nullptr)
            LogOutputf("DataManager::RegisterHalvexBumpVertexType> Unable to load '%s'",
                       kDummyMaterials[i] + std::string_view("HalvexDummyLoad.").size());
    }

    Kiv::Texture* texture = Kiv::SharedTextureCollection::GetTexture(0);
    if (texture == nullptr)
        LogOutputf("DataManager::RegisterHalvexBumpVertexType> SharedTextureCollection failed");
    for (size_t i : {kGloss, kReflect})
        if (gVertex.materials[i] != nullptr) gVertex.materials[i]->SetTexture(9, texture, 1.0f);

    Kiv::StandardChunkHint hint(4, 24);
    hint.flags = (hint.flags & 0xF2) | 0x02;
    hint.vertexUsage = 1;
    for (size_t i : {kNotex, kOnetex, kGloss, kReflect}) {
        if (gVertex.materials[i] == nullptr) continue;
        Kiv::VertexType* type = gVertex.materials[i]->CreateVertexType(hint, 3, 1, 3, 0, 0);
        if (type != nullptr) gVertex.types.push_back(type);
    }
    if (texture != nullptr) texture->ReleaseReference();
}

void DataManager::UnregisterHalvexBumpVertexTypes() {
    if (!gVertex.registered) return;
    gVertex.registered = false;
    for (Kiv::VertexType* type : gVertex.types)
        type->ReleaseReference();
    gVertex.types.clear();
    for (Kiv::LoadedMaterial*& material : gVertex.materials) {
        if (material != nullptr) material->ReleaseReference();
        material = nullptr;
    }
    for (Kiv::RenderingCache*& cache : gVertex.caches) {
        if (cache == nullptr) continue;
        Kiv::RenderingCacheManager::Instance().RemoveCache(cache);
        cache->ReleaseReference();
        cache = nullptr;
    }
}

size_t DataManager::VertexTypeCount() {
    return gVertex.types.size();
}

const char* DataManager::VertexTypeMaterial(size_t index) {
    return index < gVertex.types.size() ? gVertex.types[index]->GetMaterial().c_str() : "";
}

void DataManager::AddToGroupRegistry(const Kiv::PString& key, Tag* tag) {
    groupRegistry_[key].push_back(tag);
    RegistryChanged();
}

void DataManager::AddToNameRegistry(const Kiv::PString& key, Container* container) {
    nameRegistry_[key].push_back(container);
    RegistryChanged();
}

void DataManager::AddUniqueTag(Tag* tag) {
    if (std::find(uniqueTags_.begin(), uniqueTags_.end(), tag) != uniqueTags_.end()) return;
    uniqueTags_.push_back(tag);
    UniqueTagsChanged();
}

void DataManager::AddTag(Tag* tag) {
    tags_.push_back(tag);
    TagsChanged();
}

const std::vector<Tag*>* DataManager::GetGroup(const Kiv::PString& key) const {
    auto it = groupRegistry_.find(key);
    return it == groupRegistry_.end() ? nullptr : &it->second;
}

const std::vector<Container*>* DataManager::GetNamed(const Kiv::PString& key) const {
    auto it = nameRegistry_.find(key);
    return it == nameRegistry_.end() ? nullptr : &it->second;
}

void DataManager::ForgetTag(const Tag* tag) {
    for (auto& [key, tags] : groupRegistry_)
        EraseAll(tags, tag);
    EraseAll(uniqueTags_, tag);
    EraseAll(tags_, tag);
}

void DataManager::ForgetContainer(const Container* container) {
    auto it = meshes_.find(container);
    if (it == meshes_.end()) return;
    if (currentMesh_ == it->second.get()) currentMesh_ = nullptr;
    meshes_.erase(it);
    UniqueTagsChanged();
    TagsChanged();
}

void DataManager::ForgetNamedContainer(const Container* container) {
    for (auto& [key, containers] : nameRegistry_)
        EraseAll(containers, container);
}

void DataManager::ClearNameRegistry(const Kiv::PString& key) {
    auto it = nameRegistry_.find(key);
    if (it != nameRegistry_.end()) it->second.clear();
}

void DataManager::PurgeUnusedResources() {
    meshes_.clear();
    currentMesh_ = nullptr;
    Kiv::PStringCache::CollectGarbage();
    if (renderKernel_ != nullptr && renderKernel_->GetScene() != nullptr)
        renderKernel_->GetScene()->PurgeDeathRow();
}

void DataManager::SetValidationAssetFolder(const Kiv::PString& location, std::string_view path) {
    if (database_ != nullptr && gServices.release != nullptr) gServices.release(database_);
    database_ = nullptr;
    assetLocation_ = location;
    assetFolder_ = Kiv::File::Path(path);
    std::string folder = gServices.builtinFolder != nullptr ? gServices.builtinFolder() : "";
    folder += location.view();
    if (gServices.acquire != nullptr) database_ = gServices.acquire(location, folder);
}

bool DataManager::IsRegisteredName(const Kiv::PString& name, const Kiv::PString& key) const {
    if (const std::vector<Container*>* named = GetNamed(key)) {
        for (const Container* c : *named)
            if (c != nullptr && c->GetName() == name) return true;
    }
    for (const auto& [owner, mesh] : meshes_)
        if (mesh != nullptr && mesh->HasAttachmentPoint(name)) return true;
    return false;
}

void DataManager::KeepMesh(Container* container, std::unique_ptr<MeshData> mesh) {
    auto& slot = meshes_[container];
    if (currentMesh_ == slot.get()) currentMesh_ = nullptr;
    slot = std::move(mesh);
    currentMesh_ = slot.get();
    MeshChanged();
}

// --- templates ----------------------------------------------------------------------------

bool DataManager::LoadTemplates() {
    // Loaded once per process: a failed load is not repeated, and keeps answering as it did.
    if (templatesLoaded_) return templatesResult_;
    templatesLoaded_ = true;
    templatesResult_ = false;
    templates_ = TDBTagRef();

    // Names already merged: only those need their older definition removed.
    std::unordered_set<Kiv::PString, Kiv::PStringHash> merged;
    for (const char* file : {"inheritance.txt", "kind.txt", "container.txt"}) {
        TDBTagRef tree;
        if (!ReadConfigFile("", JoinData(dataFolder_, file), tree, "txt")) continue;
        const uint32_t n = TDBContainerTag::CountChildren(tree);
        for (uint32_t i = 0; i < n; ++i) {
            const Kiv::PString name = TDBContainerTag::GetChildName(tree, i);
            TDBTagRef child = TDBContainerTag::GetContainerAt(tree, i);
            if (child.IsEmpty()) child = TDBTagRef::Adopt(new TDBContainerTag());
            templates_.EnsureContainer();
            if (!merged.insert(name).second) TDBContainerTag::RemoveTag(templates_, name);
            templates_->AddChild(name, child);
        }
    }
    if (templates_.IsEmpty() || templates_.IsNullChunk()) return false;
    CollectTopLevelTags();
    templatesResult_ = LoadLists();
    return templatesResult_;
}

void DataManager::CollectTopLevelTags() {
    topLevelTags_.clear();
    const uint32_t n = TDBContainerTag::CountChildren(templates_);
    for (uint32_t i = 0; i < n; ++i) {
        const TDBTagRef entry = TDBContainerTag::GetContainerAt(templates_, i);
        if (TDBContainerTag::GetInt(entry, Voc(TagWord::kTopLevel), 0) == 0) continue;
        const TDBTagRef names =
            TDBContainerTag::GetContainer(entry, Voc(TagWord::kSubpossibilities));
        const uint32_t m = TDBContainerTag::CountChildren(names);
        for (uint32_t j = 0; j < m; ++j)
            topLevelTags_.insert(TDBContainerTag::GetChildName(names, j));
    }
}

bool DataManager::LoadLists() {
    Kiv::File::Path pattern(dataFolder_.view());
    pattern.AddPath("lists");
    pattern.AddPath("*.*");
    pattern.ReplaceForwardSlashes();
    Kiv::File::Find find;
    if (!find.Open(pattern.view())) return false;
    for (bool more = find.IsValid(); more; more = find.Next()) {
        const Kiv::PString name(find.GetName());
        if (name == Voc(TagWord::kDot) || name == Voc(TagWord::kDotDot)) continue;
        List list;
        if (find.IsDirectory() || !ReadListFile(find.GetNameAndPath(), list)) return false;
        lists_[name] = std::move(list);
    }
    return true;
}

bool ReadListFile(std::string_view path, List& list) {
    Kiv::File file;
    if (!file.Open(path, Kiv::File::kModeRead)) return false;
    list.clear();
    std::string line;
    bool truncated = false;
    while (file.ReadLine(line, kListLineBuffer - 1, &truncated)) {
        // The line buffer holds 255 bytes: the rest of a longer line is dropped, never read as
        // a line of its own.
        std::string rest;
        bool more = truncated;
        while (more && file.ReadLine(rest, 4096, &more)) {
        }
        // What the buffer holds is a C text: it ends at a NUL byte.
        line.resize(std::min(line.size(), line.find('\0')));
        ListEntry entry;
        const size_t space = line.find(' ');
        std::string text = space == std::string::npos ? line : line.substr(space + 1);
        // Line ends are cut from the end, never the first character.
        while (text.size() > 1 && (text.back() == '\r' || text.back() == '\n'))
            text.pop_back();
        if (space == std::string::npos) {
            entry.key = Kiv::PString(text);
        } else {
            entry.key = Kiv::PString(std::string_view(line).substr(0, space));
            entry.value = Kiv::PString(text);
        }
        list.push_back(std::move(entry));
    }
    return true;
}

const List* DataManager::GetList(const Kiv::PString& name) const {
    auto it = lists_.find(name);
    return it == lists_.end() ? nullptr : &it->second;
}

// --- personal details ------------------------------------------------------------------------

void DataManager::LoadPersonalDetails() {
    const std::string path = JoinData(dataFolder_, "personalDetails.txt");
    if (!Kiv::File::IsPresent(path)) return;
    TDBTagRef tree;
    if (!ReadConfigFile("", path, tree, "txt")) {
        // Saving would put empty details over a file we could not read.
        personalUnreadable_ = true;
        LogOutputf("DataManager::LoadPersonalDetails> cannot read '%s'; it is left as it is",
                   path.c_str());
        return;
    }
    personal_.author = TDBContainerTag::GetString(tree, Voc(TagWord::kAuthor)).str();
    personal_.organisation = TDBContainerTag::GetString(tree, Voc(TagWord::kOrganisation)).str();
    personal_.email = TDBContainerTag::GetString(tree, Voc(TagWord::kEmail)).str();
    personal_.website = TDBContainerTag::GetString(tree, Voc(TagWord::kWebsite)).str();
    personal_.license = TDBContainerTag::GetString(tree, Voc(TagWord::kLicense)).str();
    personal_.inputBoxOn = TDBContainerTag::GetInt(tree, Voc(TagWord::kIsinputboxon), 0) != 0;
}

bool DataManager::SavePersonalDetails() {
    if (personalUnreadable_) return false;
    TDBTagRef tree;
    TDBContainerTag::SetString(tree, Voc(TagWord::kAuthor), Kiv::PString(personal_.author));
    TDBContainerTag::SetString(tree, Voc(TagWord::kOrganisation),
                               Kiv::PString(personal_.organisation));
    TDBContainerTag::SetString(tree, Voc(TagWord::kEmail), Kiv::PString(personal_.email));
    TDBContainerTag::SetString(tree, Voc(TagWord::kWebsite), Kiv::PString(personal_.website));
    TDBContainerTag::SetString(tree, Voc(TagWord::kLicense), Kiv::PString(personal_.license));
    TDBContainerTag::SetInt(tree, Voc(TagWord::kIsinputboxon), personal_.inputBoxOn ? 1 : 0);
    return WriteConfigFile(tree, "", JoinData(dataFolder_, "personalDetails.txt"), "txt");
}

}  // namespace DUVLib
