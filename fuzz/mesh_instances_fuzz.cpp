// Mesh instances over any bytes that load as an indexed, progressive or LOD mesh: each file that
// loads gets an instance and a copy, a collision tree over its definition and a fixed set of
// segment and ray queries and triangle reads, and frames culled and drawn from a few distances
// (a skinned mesh also with its skin, every bone moved), none of which may read outside a buffer
// (the sanitiser sees that) or answer with a triangle the mesh does not have.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "mesh/axis_box_tree.h"
#include "mesh/mesh_resources.h"
#include "mesh/progressive_mesh_definition.h"

namespace {

using Kiv::Vector3;

struct Env {
    Kiv::Display display;
    Kiv::MaterialManager materials;
    MeshLoadArgs args;
    Env() {
        materials.RegisterType("m.onetex");
        args.allowMissingMaterials = true;
    }
};

// Rays through and around the definition's bounds, from each axis both ways, and a few odd ones.
void Query(const HalvexIndexedMeshDefinition& def, HalvexIndexedMeshInstance& instance) {
    std::unique_ptr<CollisionGeometrySharingInterface> geometry;
    auto tree = BuildCollisionTree(def, &geometry);
    const Vector3 lo = def.GetBoundsMin(), hi = def.GetBoundsMax();
    const Vector3 mid = (lo + hi) * 0.5f;
    const Vector3 directions[] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0},       {0, -1, 0},
                                  {0, 0, 1}, {0, 0, -1}, {0.6f, 0.8f, 0}, {0, 0, 0}};
    for (const Vector3& d : directions) {
        const Vector3 from = mid - d * 1000.0f;
        const HXSegmentHit hit = tree->SegmentQuery(from, mid + d * 1000.0f);
        if (hit.reference >= 0) {
            Vector3 corners[3];
            if (!geometry->GetTriangle(static_cast<uint32_t>(hit.reference), corners)) std::abort();
        }
        for (const Vector3& scale : {Vector3{1, 1, 1}, Vector3{2, 0.5f, 1}}) {
            instance.SetScale(scale);
            float distance = 1e30f;
            MeshRayHit found;
            if (instance.TestCollisionGeometry(from, d, &distance, &found)) {
                if (found.chunk >= instance.GetChunkCount()) std::abort();
                if (!instance.GetVertexPosition(found.chunk, found.face, 0) &&
                    (instance.GetChunk(found.chunk)->GetFlags() & Kiv::kPrimitiveBitsMask) ==
                        Kiv::kPrimitiveBitsTriangleList)
                    std::abort();
            }
        }
    }
    for (uint32_t c = 0; c < instance.GetChunkCount(); ++c)
        for (uint32_t face = 0; face < 4; ++face) {
            instance.GetFaceNormal(c, face);
            instance.GetTriangleCentre(c, face);
            for (int e = 0; e < 3; ++e)
                instance.GetFaceNeighbour(c, face, e);
        }
}

// Frames from near and far; between them every particle under the instance moves.
void Frames(HalvexIndexedMeshInstance& instance) {
    Kiv::Camera camera;
    Kiv::ViewPoint view(&camera);
    for (float distance : {1.0f, 60.0f, 1e6f}) {
        camera.SetFrame(instance.GetGlobalBoundingSphere().centre + Vector3{0, 0, distance}, {});
        view.NextFrame();
        instance.Cull(view, instance.GetWorldMatrix());
        instance.Render(view, instance.GetStoredMatrix());
        instance.DrawChunksDirect(view, true);
        std::vector<Kiv::Particle*> under;
        instance.EnumerateParticles(under);
        for (Kiv::Particle* p : under)
            p->SetFrame(p->GetPosition() + Vector3{0.5f, 0, 0}, p->GetRotation());
    }
}

bool Skinned(const HalvexIndexedMeshDefinition& def) {
    return def.GetNumInfluences() > 0 && def.GetMaxBonesPerSubMesh() > 0 &&
           def.GetSkeleton() != nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 18)) return 0;
    Env env;
    {
        HalvexProgressiveMeshDefinition def;
        def.OpenBytes(std::span(data, size), "fuzz.pm");
        if (def.Load(&env.display, &env.materials, env.args) == kMeshOk) {
            HalvexIndexedMeshInstance indexed;
            indexed.Bind(nullptr, &def);
            Query(def, indexed);
            Query(def, *indexed.CreateInstanceCopy());
            Frames(indexed);
            HalvexProgressiveMeshInstance progressive;
            progressive.BindProgressive(nullptr, &def);
            Query(def, *progressive.CreateInstanceCopy());
            if (Skinned(def)) {
                HalvexDynamicIndexedMeshInstance skinned;
                skinned.BindSkinned(nullptr, &def);
                Frames(skinned);
                Frames(*skinned.CreateInstanceCopy());
                HalvexDynamicProgressiveMeshInstance skinnedProgressive;
                skinnedProgressive.BindSkinned(nullptr, &def);
                Frames(skinnedProgressive);
            }
        }
    }
    HalvexIndexedMeshLODDefinition lod;
    lod.OpenBytes(std::span(data, size), "fuzz.lm");
    if (lod.Load(&env.display, &env.materials, env.args) == kMeshOk) {
        HalvexIndexedMeshLODInstance instance;
        instance.BindLOD(nullptr, &lod);
        Query(lod, instance);
        auto copy = instance.CreateInstanceCopy();
        for (uint32_t n = 0; n < instance.GetLevelRecordCount(); ++n) {
            instance.SelectLOD(n);
            Query(lod, instance);
        }
        Frames(*copy);
        if (!lod.GetBones().empty() && lod.GetSkeleton() != nullptr) {
            HalvexDynamicIndexedMeshLODInstance skinned;
            skinned.BindSkinned(nullptr, &lod);
            Frames(skinned);
            Frames(*skinned.CreateInstanceCopy());
        }
    }
    return 0;
}
