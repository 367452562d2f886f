// MeshData and LODMeshData: the validator's view of one mesh file of an asset, a particle that
// holds an instance of the mesh and what the checks read from it: its attachment points, the
// named particles of its hierarchy and the animations loaded onto it. Loading asks the asset's
// resource database for the mesh, makes an instance with a skeleton modifier and an animator,
// and reports what is wrong (missing materials, missing texture images) to the error handler
// against the owning container. The work runs on the main thread through the worker call queue
// while the validating thread waits.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/scene/geometry.h"
#include "platform/kiv/scene/particle.h"

class HalvexIndexedMeshDefinition;
class HalvexIndexedMeshInstance;
class HalvexIndexedMeshLODInstance;
class HalvexGeometryBaseResource;

namespace Kiv {
class Animator;
class SkeletonModifier;
}  // namespace Kiv

namespace DUVLib {
class Container;
}

class MeshData : public Kiv::Particle {
public:
    struct AttachmentPoint {
        Kiv::Matrix3 orientation;
        Kiv::Vector3 position;
        Kiv::PString name;  // the part after the last "/"
    };
    struct ChildParticle {
        Kiv::PString name;
    };
    struct Animation {
        Kiv::PString name;
        float length = 0;
    };

    MeshData();
    ~MeshData() override;

    // Loads the mesh of that file (a path) for the owner (null: findings are ownerless, and a
    // mesh that is not there is not reported). True when it loaded, or when it is a progressive
    // mesh, which is accepted without inspection.
    virtual bool Load(const Kiv::PString& path, DUVLib::Container* owner);
    virtual int GetPolygonCount() const;
    // "some name", for every mesh object.
    virtual const Kiv::PString& GetName() const;
    // Loads the animation of that file (a path) onto the mesh; true when it was added.
    bool LoadAnimation(const Kiv::PString& path);

    bool IsLoaded() const { return loaded_; }
    uint32_t GetAttachmentPointCount() const { return static_cast<uint32_t>(points_.size()); }
    const std::vector<AttachmentPoint>& GetAttachmentPoints() const { return points_; }
    const std::vector<ChildParticle>& GetChildParticles() const { return children_; }
    const std::vector<Animation>& GetAnimations() const { return animations_; }
    HalvexIndexedMeshInstance* GetInstance() const { return instance_; }
    const HalvexIndexedMeshDefinition* GetDefinition() const { return definition_; }
    DUVLib::Container* GetOwner() const { return owner_; }
    const Kiv::PString& GetLoadedPath() const { return loadedPath_; }
    // The path the mesh was asked for, as the findings name it.
    std::string GetFilePath() const { return path_.str(); }
    // True when an attachment point of the mesh has that name.
    bool HasAttachmentPoint(const Kiv::PString& name) const;

protected:
    // The bodies, run on the main thread; the argument is the bool result.
    void LoadBody(void* result);
    void LoadAnimationBody(void* result);
    // Runs a body on the main thread and waits for it.
    template <typename T>
    bool RunOnMainThread(T* object, void (T::*body)(void*));
    // Steps shared by both kinds once a resource is found: initialise, instance, skeleton,
    // inspection. The instance must be of the kind the caller asks.
    bool LoadFromResource(HalvexGeometryBaseResource* resource, bool wantLOD);
    void Inspect();
    // The mesh path without the asset folder, for the findings.
    std::string ShortPath() const;
    void ReportOwned(bool error, const Kiv::PString& text);

    Kiv::PString path_;
    Kiv::PString animationPath_;
    Kiv::PString loadedPath_;
    HalvexIndexedMeshInstance* instance_ = nullptr;  // owned as a child particle
    const HalvexIndexedMeshDefinition* definition_ = nullptr;
    // Our instances do not hold their resource, so the mesh does while it lives.
    HalvexGeometryBaseResource* resource_ = nullptr;
    std::vector<AttachmentPoint> points_;
    std::vector<ChildParticle> children_;
    std::vector<Animation> animations_;
    std::unique_ptr<Kiv::SkeletonModifier> skeleton_;
    std::unique_ptr<Kiv::Animator> animator_;
    DUVLib::Container* owner_ = nullptr;
    bool loaded_ = false;
};

class LODMeshData : public MeshData {
public:
    ~LODMeshData() override;
    bool Load(const Kiv::PString& path, DUVLib::Container* owner) override;
    int GetPolygonCount() const override;
    const Kiv::PString& GetName() const override;
    uint32_t GetLODCount() const;
    void SelectLOD(uint32_t n);
    HalvexIndexedMeshLODInstance* GetLODInstance() const { return lodInstance_; }

private:
    void LoadLODBody(void* result);
    HalvexIndexedMeshLODInstance* lodInstance_ = nullptr;
};
