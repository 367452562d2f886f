// The mesh resources and instances, as the validator's mesh checks read them: a geometry
// resource (indexed and LOD meshes) loads its definition on a render kernel and makes
// instances; a progressive mesh resource is accepted as it is; an instance tells its polygon
// count, and a LOD instance its levels. The concrete resources of the mesh files register their
// types with the engine (Kiv::RegisterResourceType); until they do, no mesh resource exists.
#pragma once

#include <cstdint>
#include <memory>

#include "mesh/indexed_mesh_definition.h"
#include "platform/kiv/res/resource.h"
#include "platform/kiv/scene/particle.h"

namespace Kiv {
class RenderKernel;
}

// The base of the indexed and LOD mesh resources.
class HalvexGeometryBaseResource : public Kiv::Resource {
public:
    using Kiv::Resource::Resource;

    // Gives the resource the render kernel it works for and forgets what an earlier load left
    // pending.
    virtual void Prepare(Kiv::RenderKernel* kernel) = 0;
    // Loads the definition on the kernel: 0 on success.
    virtual uint32_t Initialise(Kiv::RenderKernel* kernel) = 0;
    // A new instance of the loaded mesh (a HalvexIndexedMeshInstance); null when none can be
    // made.
    virtual std::unique_ptr<Kiv::Particle> CreateInstance() = 0;
    // The loaded definition (for a LOD mesh, that of its finest level); null before a load.
    virtual const HalvexIndexedMeshDefinition* GetDefinition() const = 0;
};

// A progressive mesh: accepted by the checks without inspection.
class HalvexProgressiveMeshResource : public HalvexGeometryBaseResource {
public:
    using HalvexGeometryBaseResource::HalvexGeometryBaseResource;
};

// An instance of an indexed mesh: a particle under which the mesh's attachment points hang.
class HalvexIndexedMeshInstance : public Kiv::Particle {
public:
    using Kiv::Particle::Particle;
    virtual int GetPolygonCount() const = 0;
};

// An instance of a LOD mesh; the polygon count is that of the selected level.
class HalvexIndexedMeshLODInstance : public HalvexIndexedMeshInstance {
public:
    using HalvexIndexedMeshInstance::HalvexIndexedMeshInstance;
    virtual uint32_t GetLODCount() const = 0;
    // Selects level n (0 .. count - 1).
    virtual void SelectLOD(uint32_t n) = 0;
};
