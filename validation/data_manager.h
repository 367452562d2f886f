// DUVLib::DataManager: the validator's one process-wide holder of what outlives a single check:
// the data folder with its templates, lists and personal details; the folder, resource
// database and build of the asset under validation; the flags the checks share; the registries
// of tags and containers later checks look up; the meshes loaded for the containers; and the
// program's vertex types registered at start-up.
//
// Start-up makes it (Startup) before the engine exists, hands it the engine objects
// (Initialise) and registers the vertex types; shutdown undoes both and saves the personal
// details. Instance() before Startup or after Shutdown ends the process.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"
#include "validation/mesh_data.h"

namespace Kiv {
class ResourceSystem;
class RenderKernel;
class ResourceDatabase;
class Particle;
}  // namespace Kiv

namespace DUVLib {

class Container;
class Tag;

// One line of a list file: the text before the first space, and the rest (null without one).
struct ListEntry {
    Kiv::PString key;
    Kiv::PString value;
};
using List = std::vector<ListEntry>;

// Reads a list file: one entry per line, a line kept to its first 255 bytes and to its first
// NUL. False when the file cannot be opened.
bool ReadListFile(std::string_view path, List& list);

struct PersonalDetails {
    std::string author;
    std::string license;
    std::string organisation;
    std::string email;
    std::string website;
    bool inputBoxOn = true;
};

// The engine objects start-up hands over once they run. A command-line run has no viewport, so
// the light and fog of an interactive view are never set up here.
struct Environment {
    Kiv::ResourceSystem* resourceSystem = nullptr;
    Kiv::RenderKernel* renderKernel = nullptr;
};

// How the data manager reaches the asset database's folders and shared resource databases;
// the program installs them at start-up (the validator stands below the database client).
struct AssetFolderServices {
    // The install's builtin folder, with a trailing separator; empty when unknown.
    std::string (*builtinFolder)() = nullptr;
    Kiv::ResourceDatabase* (*acquire)(const Kiv::PString& name, std::string_view folder) = nullptr;
    void (*release)(Kiv::ResourceDatabase* database) = nullptr;
    // The codes of the category-class table's first row for that class code and kind (the
    // database client's vocabulary); empty when no row fits.
    Kiv::String (*categoryClass)(const char* kind, const char* classCode) = nullptr;
};
const AssetFolderServices& GetAssetFolderServices();
void SetAssetFolderServices(const AssetFolderServices& services);

class DataManager {
public:
    virtual ~DataManager();
    DataManager(const DataManager&) = delete;
    DataManager& operator=(const DataManager&) = delete;

    virtual bool Initialise(const Environment& environment);
    virtual void MeshChanged() {}
    virtual void AddToGroupRegistry(const Kiv::PString& key, Tag* tag);
    virtual void AddToNameRegistry(const Kiv::PString& key, Container* container);
    virtual void RegistryChanged() {}
    virtual void UniqueTagsChanged() {}
    virtual void TagsChanged() {}
    virtual void AddUniqueTag(Tag* tag);
    virtual void AddTag(Tag* tag);
    // True when a container registered under the key has that name, or a loaded mesh has an
    // attachment point of that name.
    virtual bool IsRegisteredName(const Kiv::PString& name, const Kiv::PString& key) const;

    // --- process-wide ----------------------------------------------------------------------
    static bool Startup(std::string_view dataFolder);
    static DataManager& Instance();
    // Null when not started; never loads the personal details.
    static DataManager* Peek();
    static void Shutdown();
    static void RegisterHalvexBumpVertexType();
    static void UnregisterHalvexBumpVertexTypes();
    // The vertex types registered now, in order (for tests).
    static size_t VertexTypeCount();
    static const char* VertexTypeMaterial(size_t index);

    void PurgeUnusedResources();
    void SetValidationAssetFolder(const Kiv::PString& location, std::string_view path);
    void ForgetTag(const Tag* tag);
    void ForgetContainer(const Container* container);
    void ClearNameRegistry(const Kiv::PString& key);
    void ForgetNamedContainer(const Container* container);

    // --- templates, lists, personal details -----------------------------------------------
    bool LoadTemplates();
    bool LoadLists();
    TDBTagRef GetTemplates() const { return templates_; }
    // A name some top-level template entry lists among its "subpossibilities"; the set is made
    // once per template load.
    bool IsKnownTopLevelTag(const Kiv::PString& name) const {
        return topLevelTags_.count(name) != 0;
    }
    // The list of that name; null when there is none.
    const List* GetList(const Kiv::PString& name) const;
    void LoadPersonalDetails();
    // False when the file was not written (it is then left as it was).
    bool SavePersonalDetails();
    const PersonalDetails& GetPersonalDetails() const { return personal_; }
    PersonalDetails& EditPersonalDetails() { return personal_; }

    // --- meshes ----------------------------------------------------------------------------
    // The mesh of a file reference (a path), by its extension: "im", "lm" and "lm.txt" load and
    // become the container's mesh and the current one; "pm" is reported as unsupported; "kin"
    // loads onto the current mesh. Null for everything but a loaded mesh.
    MeshData* LoadMesh(std::string_view path, Container* container);
    // Keeps a mesh under a container (the mesh loading's way in); replaces an older one.
    void KeepMesh(Container* container, std::unique_ptr<MeshData> mesh);
    MeshData* GetCurrentMesh() const { return currentMesh_; }
    // The mesh kept under the container; null when there is none (nothing is added).
    MeshData* MeshOf(const Container* container) const {
        auto it = meshes_.find(container);
        return it == meshes_.end() ? nullptr : it->second.get();
    }

    // --- state the checks share ------------------------------------------------------------
    const Kiv::PString& GetDataFolder() const { return dataFolder_; }
    const Kiv::File::Path& GetAssetFolder() const { return assetFolder_; }
    // The asset folder ending in "/" (empty when none is set).
    std::string GetAssetFolderWithSeparator() const;
    const Kiv::PString& GetAssetLocation() const { return assetLocation_; }
    Kiv::ResourceDatabase* GetResourceDatabase() const { return database_; }
    float GetBuild() const { return build_; }
    void SetBuild(float build) { build_ = build; }
    bool meshFailure = false;
    bool conversionCheck = false;
    bool meshMessagesSuppressed = false;

    // Registries, for reading.
    const std::vector<Tag*>* GetGroup(const Kiv::PString& key) const;
    const std::vector<Container*>* GetNamed(const Kiv::PString& key) const;
    const std::vector<Tag*>& GetUniqueTags() const { return uniqueTags_; }
    const std::vector<Tag*>& GetTags() const { return tags_; }
    Kiv::Particle* GetSceneRoot() const { return sceneRoot_.get(); }
    bool TemplatesLoaded() const { return templatesLoaded_; }

private:
    explicit DataManager(std::string_view dataFolder);
    void LoadPersonalDetailsOnce();
    // Makes a loaded mesh the container's and the current one, shown in the scene.
    void InstallMesh(Container* container, std::unique_ptr<MeshData> mesh);
    void CheckLODPerformance(LODMeshData& mesh, Container* container);
    void CollectTopLevelTags();
    void Unload();

    bool templatesLoaded_ = false;
    bool templatesResult_ = false;
    bool firstUse_ = false;
    bool personalUnreadable_ = false;
    Kiv::PString dataFolder_;
    Kiv::File::Path assetFolder_;
    TDBTagRef templates_;
    std::unordered_set<Kiv::PString, Kiv::PStringHash> topLevelTags_;
    Kiv::ResourceSystem* resourceSystem_ = nullptr;
    Kiv::RenderKernel* renderKernel_ = nullptr;
    std::unique_ptr<Kiv::Particle> sceneRoot_;
    std::map<const Container*, std::unique_ptr<MeshData>> meshes_;
    MeshData* currentMesh_ = nullptr;
    PersonalDetails personal_;
    std::map<Kiv::PString, std::vector<Container*>> nameRegistry_;
    std::map<Kiv::PString, std::vector<Tag*>> groupRegistry_;
    std::vector<Tag*> uniqueTags_;
    std::vector<Tag*> tags_;
    std::map<Kiv::PString, List> lists_;
    Kiv::ResourceDatabase* database_ = nullptr;
    Kiv::PString assetLocation_;
    float build_ = 3.6f;
};

}  // namespace DUVLib
