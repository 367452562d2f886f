// HalvexInfluenceMesh: the skin of a skinned instance. It keeps, per influence (a bone of the
// mesh's skeleton), the bone's bind pose and its weights on the vertices of each chunk of each
// level (an indexed mesh has one level, a LOD mesh one per mesh), and the instance's chunks as
// the definition gave them, which are the vertices it moves from.
//
// Once per frame it brings a level's chunks to the bones' current poses, on the CPU: a vertex
// moves to the weighted mean of its position carried by each of its bones from the bind pose to
// the current one (v * inverse(bind) * current, both relative to the skeleton root's parent, the
// instance), then the chunk's vertices go to the render kernel again. A chunk that follows one
// bone with every vertex at weight 1 is not touched: it gets the bone's matrix through
// AssignInfluenceMatrix. A bone the skeleton lacks leaves its vertices where the bind pose has
// them. A chunk already brought up to date in a frame is passed over for the rest of it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "mesh/indexed_mesh_definition.h"
#include "mesh/lod_mesh_definition.h"
#include "platform/kiv/scene/geometry.h"
#include "platform/kiv/scene/particle.h"

namespace Kiv {
class RenderKernel;
}

class HalvexInfluenceMesh {
public:
    using ChunkArray = std::vector<std::shared_ptr<Kiv::GeometryChunk>>;

    // An indexed (or progressive) mesh's influences: one level.
    void Setup(const HalvexIndexedMeshDefinition& definition);
    // A LOD mesh's bone table with its weights for each mesh.
    void Setup(const HalvexIndexedMeshLODDefinition& definition);
    // The instance's copy of the skeleton: each influence's bone is found in it by name (the
    // root itself when the name is the root's).
    void SetSkeleton(Kiv::Particle* root);
    Kiv::Particle* GetSkeleton() const { return skeleton_; }

    // Whether any vertex of chunk c of the level follows a bone: such a chunk must be the
    // instance's own.
    bool MovesChunk(uint32_t level, uint32_t c) const;
    // Brings the level's chunks (the instance's, parallel to the definition's) to the bones'
    // poses for the frame.
    void Update(const ChunkArray& chunks, uint32_t level, uint32_t frame,
                Kiv::RenderKernel* kernel);

    uint32_t GetInfluenceCount() const { return static_cast<uint32_t>(influences_.size()); }
    const Kiv::Particle* GetBone(uint32_t i) const { return influences_[i].bone; }
    // How many chunk updates (moved or assigned) were made: a test's view of the work done.
    uint32_t GetUpdateCount() const { return updates_; }

private:
    struct Weight {
        uint32_t vertex;
        float weight;
    };
    struct Group {
        uint32_t chunk;
        std::vector<Weight> weights;
    };
    struct Influence {
        Kiv::PString name;
        Kiv::Matrix4x4 bindInverse;
        Kiv::Particle* bone = nullptr;
        std::vector<std::vector<Group>> levels;
    };
    // The bone's frame relative to the skeleton root's parent.
    static Kiv::Matrix4x4 PoseOf(const Kiv::Particle& bone, const Kiv::Particle* stop);
    void TakeBindPoses(const Kiv::Particle* skeleton);

    std::vector<Influence> influences_;
    std::vector<ChunkArray> sources_;  // per level, the definition's chunks
    Kiv::Particle* skeleton_ = nullptr;
    std::map<std::pair<uint32_t, uint32_t>, uint32_t> lastFrame_;  // (level, chunk) -> frame
    uint32_t updates_ = 0;
};
