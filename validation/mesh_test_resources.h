// Test mesh resources for the mesh checks: ".im" and ".lm" files of a test's folder are served
// as geometry resources that read the file as an indexed mesh (written by the fixture writer),
// and ".pm" files as progressive resources. An instance carries the mesh's attachment points
// and bones as particles; a LOD instance's levels have the polygon counts the test gives.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mesh/indexed_mesh_definition.h"
#include "mesh/mesh_resources.h"
#include "platform/kiv/res/resource.h"

namespace meshcheck {

struct Env {
    Kiv::Display display;
    Kiv::MaterialManager materials;
    // Polygon counts of each LOD file's levels, by file name (the last path part).
    std::map<std::string, std::vector<int>> levels;
    // Names (last path part) that the ".im" type serves as progressive meshes.
    std::vector<std::string> progressive;
    Env() { materials.RegisterType("m.onetex"); }
};

inline Env& TheEnv() {
    static Env env;
    return env;
}

inline std::string LastPart(const Kiv::PString& name) {
    const std::string s = name.str();
    const size_t slash = s.rfind('/');
    return slash == std::string::npos ? s : s.substr(slash + 1);
}

inline void AddPoints(Kiv::Particle& instance, const HalvexIndexedMeshDefinition& definition) {
    for (const MeshAttachmentPoint& a : definition.GetAttachments())
        instance.AddChild(std::make_unique<Kiv::Particle>(a.name));
    if (const Kiv::Particle* skeleton = definition.GetSkeleton())
        instance.AddChild(skeleton->Copy());
}

class Instance : public HalvexIndexedMeshInstance {
public:
    explicit Instance(int polygons) : polygons_(polygons) {}
    int GetPolygonCount() const override { return polygons_; }

private:
    int polygons_;
};

class LODInstance : public HalvexIndexedMeshLODInstance {
public:
    explicit LODInstance(std::vector<int> levels) : levels_(std::move(levels)) {}
    int GetPolygonCount() const override { return levels_.empty() ? 0 : levels_[selected_]; }
    uint32_t GetLODCount() const override { return static_cast<uint32_t>(levels_.size()); }
    void SelectLOD(uint32_t n) override { selected_ = n; }

private:
    std::vector<int> levels_;
    uint32_t selected_ = 0;
};

class Resource : public HalvexGeometryBaseResource {
public:
    Resource(const Kiv::PString& name, Kiv::ResourceDatabase* database, bool lod)
        : HalvexGeometryBaseResource(name, database), lod_(lod) {}
    void Prepare(Kiv::RenderKernel*) override {}
    uint32_t Initialise(Kiv::RenderKernel*) override {
        definition_ = std::make_unique<HalvexIndexedMeshDefinition>();
        if (!definition_->OpenFile(GetName().view())) return 1;
        MeshLoadArgs args;
        args.allowMissingMaterials = true;
        return definition_->Load(&TheEnv().display, &TheEnv().materials, args);
    }
    std::unique_ptr<Kiv::Particle> CreateInstance() override {
        if (definition_ == nullptr) return nullptr;
        std::unique_ptr<Kiv::Particle> instance;
        if (lod_) {
            auto it = TheEnv().levels.find(LastPart(GetName()));
            if (it == TheEnv().levels.end()) return nullptr;
            instance = std::make_unique<LODInstance>(it->second);
        } else {
            instance = std::make_unique<Instance>(static_cast<int>(definition_->GetTotalFaces()));
        }
        AddPoints(*instance, *definition_);
        return instance;
    }
    const HalvexIndexedMeshDefinition* GetDefinition() const override { return definition_.get(); }

private:
    bool lod_;
    std::unique_ptr<HalvexIndexedMeshDefinition> definition_;
};

class Progressive : public HalvexProgressiveMeshResource {
public:
    using HalvexProgressiveMeshResource::HalvexProgressiveMeshResource;
    void Prepare(Kiv::RenderKernel*) override {}
    uint32_t Initialise(Kiv::RenderKernel*) override { return 0; }
    std::unique_ptr<Kiv::Particle> CreateInstance() override { return nullptr; }
    const HalvexIndexedMeshDefinition* GetDefinition() const override { return nullptr; }
};

inline Kiv::Resource* MakeIndexed(const Kiv::PString& name, Kiv::ResourceDatabase* database) {
    const std::vector<std::string>& p = TheEnv().progressive;
    if (std::find(p.begin(), p.end(), LastPart(name)) != p.end())
        return new Progressive(name, database);
    return new Resource(name, database, false);
}
inline Kiv::Resource* MakeLOD(const Kiv::PString& name, Kiv::ResourceDatabase* database) {
    return new Resource(name, database, true);
}
inline Kiv::Resource* MakeProgressive(const Kiv::PString& name, Kiv::ResourceDatabase* database) {
    return new Progressive(name, database);
}

// Registers the three types for a test's life.
struct Types {
    Types() {
        Kiv::RegisterResourceType({"im", MakeIndexed});
        Kiv::RegisterResourceType({"lm", MakeLOD});
        Kiv::RegisterResourceType({"pm", MakeProgressive});
    }
    ~Types() {
        for (const char* e : {"im", "lm", "pm"})
            Kiv::UnregisterResourceType(e);
        TheEnv().levels.clear();
        TheEnv().progressive.clear();
    }
};

}  // namespace meshcheck
