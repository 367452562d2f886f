#include "mesh/mesh_resources.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>

#include "mesh/mesh_collision.h"
#include "mesh/mesh_test_support.h"
#include "mesh/overlapped_resource.h"
#include "mesh/testing/lod_writer.h"
#include "platform/kiv/base/options.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/res/resource_database.h"

namespace {

using namespace meshtesting;
using Kiv::PString;
using Kiv::Vector3;

TEST_F(MeshResources, EachExtensionHasItsResource) {
    const std::string im = folder.Write("a.im", WriteIdxm(Quads(1)));
    const std::string lm =
        folder.Write("b.lm", meshtesting::WriteLodm(meshtesting::SampleLod(false)));
    IdxmFile progressiveFile = Quads(1);
    progressiveFile.progressive = SampleProgressive();
    const std::string pm = folder.Write("c.pm", WriteIdxm(progressiveFile));
    const std::string text =
        meshtesting::WriteLodTextFolder(folder.path, "d", meshtesting::SampleLod(false));
    uint32_t r = 9;
    auto* indexed = Open<HalvexIndexedMeshResource>(im, &k.kernel, &r);
    ASSERT_NE(indexed, nullptr);
    EXPECT_EQ(r, 0u);
    EXPECT_EQ(indexed->CalculateSize(), 112u);
    EXPECT_EQ(indexed->GetMemorySize(), indexed->GetDefinition()->GetSize());
    EXPECT_TRUE(indexed->GetDefinition()->GetChunk(0)->IsPrepared());
    auto* lod = Open<HalvexIndexedMeshLODResource>(lm, &k.kernel, &r);
    ASSERT_NE(lod, nullptr);
    EXPECT_EQ(r, 0u);
    EXPECT_EQ(lod->GetMemorySize(), lod->GetLODDefinition()->GetLodSize());
    // "x.lm.txt" is a LOD mesh's text, not a ".txt" of anything else.
    auto* fromText = Open<HalvexIndexedMeshLODResource>(text, &k.kernel, &r);
    ASSERT_NE(fromText, nullptr);
    EXPECT_EQ(r, 0u);
    EXPECT_EQ(fromText->GetLODDefinition()->GetNumMeshes(), 3u);
    auto* progressive = Open<HalvexProgressiveMeshResource>(pm, &k.kernel, &r);
    ASSERT_NE(progressive, nullptr);
    EXPECT_EQ(r, 0u);
    ASSERT_NE(progressive->GetProgressiveDefinition(), nullptr);
    EXPECT_EQ(progressive->GetDefinition()->GetName().view(), "c.pm");
    EXPECT_EQ(progressive->GetMemorySize(), progressive->GetDefinition()->GetSize());
    EXPECT_TRUE(progressive->GetDefinition()->GetChunk(0)->IsPrepared());
    EXPECT_NE(progressive->CreateInstance(), nullptr);
    EXPECT_EQ(progressive->CalculateSize(), 112u);
}

TEST_F(MeshResources, AFailedLoadLeavesNoDefinitionAndNoInstance) {
    const std::vector<uint8_t> good = WriteIdxm(Quads(1));
    std::vector<uint8_t> truncated(good.begin(), good.begin() + good.size() / 2);
    std::vector<uint8_t> lodBytes = meshtesting::WriteLodm(meshtesting::SampleLod(false));
    lodBytes.resize(lodBytes.size() - 7);
    // A LOD text naming a mesh that is not there fails as the binary load does: nothing kept.
    const std::string badText = folder.Write(
        "e.lm.txt",
        std::string(
            "mesh-table\n{\n  lod0\n  {\n    mesh missing.im\n    auto-create 0\n  }\n}\n"));
    struct Case {
        std::string path;
        Kiv::RenderKernel* kernel;
    } cases[] = {
        {folder.Write("ok.im", good), nullptr},  // no kernel: nothing loads
        {folder.Write("half.im", truncated), &k.kernel},
        {folder.Write("half.lm", lodBytes), &k.kernel},
        {folder.Write("half.pm", truncated), &k.kernel},
        {folder.Write("none.pm", good), nullptr},
        {badText, &k.kernel},
    };
    for (const Case& c : cases) {
        uint32_t r = 0;
        auto* resource = Open<HalvexGeometryBaseResource>(c.path, c.kernel, &r);
        ASSERT_NE(resource, nullptr) << c.path;
        EXPECT_EQ(r, 1u) << c.path;
        EXPECT_EQ(resource->GetDefinition(), nullptr) << c.path;
        EXPECT_EQ(resource->GetMemorySize(), 0u) << c.path;
        EXPECT_EQ(resource->CreateInstance(), nullptr) << c.path;
    }
}

// A chunk the display cannot ready (here: a kernel never started makes no buffers) marks the
// completion 9, which the resource keeps to itself: the load stands, the observers hear of it.
TEST_F(MeshResources, AChunkThatCannotBeReadiedIsNotAFailedLoad) {
    Kiv::RenderKernel unstarted{nullptr, 1.0f};
    unstarted.GetMaterialManager().RegisterType("m.onetex");
    for (Kiv::RenderKernel* kernel : {&k.kernel, &unstarted}) {
        const bool ready = kernel == &k.kernel;
        const std::string path =
            folder.Write(ready ? "ready.im" : "unready.im", WriteIdxm(Quads(2)));
        auto* resource =
            dynamic_cast<HalvexIndexedMeshResource*>(database.FindResource(PString(path), 2));
        ASSERT_NE(resource, nullptr);
        held.push_back(resource);
        int heard = 0;
        resource->AddObserver(&heard, [&](Kiv::Resource&) { ++heard; });
        EXPECT_EQ(resource->Initialise(kernel), 0u) << ready;
        EXPECT_EQ(resource->GetCompletionResult(), ready ? 0u : 9u);
        EXPECT_EQ(heard, 1);
        ASSERT_NE(resource->GetDefinition(), nullptr);
        EXPECT_EQ(resource->GetDefinition()->GetChunk(0)->IsPrepared(), ready);
        EXPECT_NE(resource->CreateInstance(), nullptr);
        resource->RemoveObserver(&heard);
    }
}

// --- the indexed instance ------------------------------------------------------------------

class IndexedInstance : public MeshResources {
protected:
    std::unique_ptr<HalvexIndexedMeshInstance> Make(const IdxmFile& file) {
        return MakeInstance<HalvexIndexedMeshInstance, HalvexIndexedMeshResource>(
            folder.Write("m" + std::to_string(++n) + ".im", WriteIdxm(file)));
    }
    int n = 0;
};

TEST_F(IndexedInstance, PointNamesMakeReferencePointsAndAttachmentParticles) {
    IdxmFile file = Quads(1);
    file.attachments = std::vector<MeshAttachmentPoint>(4);
    (*file.attachments)[0].name = PString("p.coupler.front");
    (*file.attachments)[1].name = PString("A.lamp");
    (*file.attachments)[1].position = {1, 2, 3};
    (*file.attachments)[2].name = PString("x.other");
    (*file.attachments)[3].name = PString("Pivot");
    auto instance = Make(file);
    ASSERT_NE(instance, nullptr);
    ASSERT_EQ(instance->GetReferencePoints().size(), 2u);
    EXPECT_EQ(instance->GetReferencePoints()[0].name, PString("p"));
    EXPECT_EQ(instance->GetReferencePoints()[0].subName, PString("coupler.front"));
    EXPECT_EQ(instance->GetReferencePoints()[1].name, PString("Pivot"));
    const Kiv::Particle* lamp = instance->FindByName(PString("A.lamp"));
    ASSERT_NE(lamp, nullptr);
    EXPECT_EQ(lamp->GetPosition(), (Vector3{1, 2, 3}));
    EXPECT_EQ(instance->FindByName(PString("x.other")), nullptr);
    EXPECT_EQ(instance->FindByName(PString("p.coupler.front")), nullptr);
    EXPECT_EQ(instance->GetPolygonCount(), 2);
}

TEST_F(IndexedInstance, CopiesOwnTheChunksMarkedPerInstanceAndShareTheRest) {
    IdxmFile file = Quads(2);
    auto source = Make(file);
    ASSERT_NE(source, nullptr);
    source->GetChunk(1)->SetFlags(source->GetChunk(1)->GetFlags() |
                                  HalvexIndexedMeshInstance::kFlagOwnedPerInstance);
    auto copy = source->CreateInstanceCopy();
    EXPECT_EQ(copy->GetChunk(0), source->GetChunk(0));
    EXPECT_NE(copy->GetChunk(1), source->GetChunk(1));
    EXPECT_TRUE(copy->GetChunk(1)->IsPrepared());
    EXPECT_EQ(copy->GetChunk(1)->GetIndexCount(), source->GetChunk(1)->GetIndexCount());
    EXPECT_EQ(copy->GetResource(), source->GetResource());
    // Making a chunk or a material unique past the count changes nothing.
    const auto before = copy->GetChunkArray();
    copy->MakeChunkUnique(2);
    EXPECT_EQ(copy->GetChunkArray(), before);
    EXPECT_EQ(copy->GetChunk(0), source->GetChunk(0));
    copy->OwnMaterialArray();
    copy->MakeMaterialUnique(2);
    EXPECT_EQ(copy->GetMaterial(0), source->GetMaterial(0));
    EXPECT_EQ(copy->GetMaterial(1), source->GetMaterial(1));
    copy->MakeMaterialUnique(1);
    EXPECT_NE(copy->GetMaterial(1), source->GetMaterial(1));
    EXPECT_EQ(copy->GetMaterial(0), source->GetMaterial(0));
}

TEST_F(IndexedInstance, AddChunkRefusesWhatItCannotHold) {
    auto instance = Make(Quads(1));
    ASSERT_NE(instance, nullptr);
    auto chunk = instance->GetChunk(0)->Copy();
    auto material = instance->GetMaterial(0);
    chunk->SetFlags(HalvexIndexedMeshInstance::kFlagNotAddable);
    EXPECT_FALSE(instance->AddChunk(chunk, material));
    EXPECT_FALSE(instance->AddChunk(nullptr, material));
    chunk->SetFlags(HalvexIndexedMeshInstance::kFlagOwnedPerInstance);
    const auto shared = instance->GetChunkArray();
    EXPECT_TRUE(instance->AddChunk(chunk, material));
    EXPECT_EQ(instance->GetChunkCount(), 2u);
    EXPECT_NE(instance->GetChunk(1), chunk);  // a copy of a per-instance chunk
    EXPECT_EQ(shared->size(), 1u);            // the array it shared is left alone
    HalvexIndexedMeshInstance empty;
    EXPECT_FALSE(empty.AddChunk(chunk, material));
}

TEST_F(IndexedInstance, ProgressiveInstancesNeverShareChunksNorTakeOne) {
    IdxmFile file = Quads(2);
    file.progressive = SampleProgressive();
    auto source = MakeInstance<HalvexProgressiveMeshInstance, HalvexProgressiveMeshResource>(
        folder.Write("p.pm", WriteIdxm(file)));
    ASSERT_NE(source, nullptr);
    EXPECT_NE(source->GetProgressiveDefinition(), nullptr);
    auto copy = source->CreateInstanceCopy();
    ASSERT_EQ(copy->GetChunkCount(), 2u);
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_NE(copy->GetChunk(i), source->GetChunk(i)) << i;
        EXPECT_TRUE(copy->GetChunk(i)->IsPrepared()) << i;
    }
    EXPECT_NE(copy->GetChunkArray(), source->GetChunkArray());
    EXPECT_FALSE(copy->AddChunk(source->GetChunk(0)->Copy(), source->GetMaterial(0)));
    EXPECT_EQ(copy->GetChunkCount(), 2u);
}

TEST_F(MeshResources, ProgressiveOptionsKeepFloatPrecisionWithoutADynamicIndexSetting) {
    MeshMaterialConfig none;
    const MeshMaterialConfig given = HalvexProgressiveMeshResource::ProgressiveOptions(none);
    EXPECT_EQ(given.hardwareAnimationFloatPrecision.value, 1);
    EXPECT_EQ(given.hardwareAnimationFloatPrecision.present, 1);
    MeshMaterialConfig withIndex;
    withIndex.dynamicIndex = {0, 1};
    EXPECT_EQ(HalvexProgressiveMeshResource::ProgressiveOptions(withIndex)
                  .hardwareAnimationFloatPrecision.present,
              0);
}

TEST_F(IndexedInstance, OpacityReachesEveryChunk) {
    auto instance = Make(Quads(2));
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->GetOpacity(), 1.0f);
    instance->SetOpacity(0.0f);
    EXPECT_EQ(instance->GetOpacity(), 0.0f);
    for (uint32_t i = 0; i < instance->GetChunkCount(); ++i)
        EXPECT_EQ(instance->GetChunk(i)->GetOpacity(), 0.0f) << i;
}

TEST_F(IndexedInstance, ScaleSetsTheFlagAndTheVolume) {
    auto instance = Make(Quads(1));
    ASSERT_NE(instance, nullptr);
    const Vector3 extents = instance->GetBoundingVolume().halfExtents;
    instance->SetScale({1, 1, 1});
    EXPECT_FALSE(instance->IsScaled());
    instance->SetScale({1, 1, 0.99f});
    EXPECT_TRUE(instance->IsScaled());
    EXPECT_FLOAT_EQ(instance->GetBoundingVolume().halfExtents.z, extents.z * 0.99f);
    EXPECT_FLOAT_EQ(instance->GetBoundingVolume().halfExtents.x, extents.x);
}

// Two parallel quads facing +z at z = 0 (chunk 0) and z = 1 (chunk 1); a ray from z = 5 down.
IdxmFile TwoLayers() {
    IdxmFile file = Quads(2);
    for (size_t v = 2; v < file.subMeshes[1].geometry.vertices.size(); v += 5)
        file.subMeshes[1].geometry.vertices[v] = 1.0f;
    return file;
}

// The same answers from the definition's collision tree (built when a background loading system
// exists) as from the triangles one by one, scaled or not; only the tree knows no facing.
TEST_F(IndexedInstance, RayTestsFindTheNearestTriangleOnBothPaths) {
    for (const bool tree : {false, true}) {
        std::optional<OverlappedResourceSystem> system;
        if (tree) system.emplace(false);
        auto instance = Make(TwoLayers());
        ASSERT_NE(instance, nullptr);
        MeshCollision& collision = instance->GetResource()->GetDefinition()->GetCollision();
        EXPECT_EQ(collision.HasRequest(), tree);  // asked for when the load completed
        if (tree) {
            EXPECT_EQ(collision.GetTree(), nullptr);  // queued, not built yet
            while (system->LoadNext()) {
            }
            EXPECT_NE(collision.GetTree(), nullptr);
        }
        const Vector3 down{0, 0, -1};
        struct Case {
            const char* what;
            Vector3 point, direction;
            Vector3 scale;
            float distance;
            bool hit;
            float found;
            uint32_t face, chunk;
        } cases[] = {
            {"nearer layer", {0.75f, 0.25f, 5}, down, {1, 1, 1}, 100, true, 4, 0, 1},
            {"second triangle", {0.25f, 0.75f, 5}, down, {1, 1, 1}, 100, true, 4, 1, 1},
            {"exactly at the distance", {0.75f, 0.25f, 5}, down, {1, 1, 1}, 4, false, 4, 0, 0},
            {"beyond the distance", {0.75f, 0.25f, 5}, down, {1, 1, 1}, 3, false, 3, 0, 0},
            {"facing away",
             {0.75f, 0.25f, -5},
             {0, 0, 1},
             {1, 1, 1},
             100,
             tree,
             tree ? 5.0f : 100.0f,
             0,
             0},
            {"missing the box", {5, 5, 5}, down, {1, 1, 1}, 100, false, 100, 0, 0},
            {"not a number", {NAN, 0.25f, 5}, down, {1, 1, 1}, 100, false, 100, 0, 0},
            {"infinite direction",
             {0.75f, 0.25f, 5},
             {0, 0, -INFINITY},
             {1, 1, 1},
             100,
             false,
             100,
             0,
             0},
            {"zero scale", {0.75f, 0.25f, 5}, down, {1, 0, 1}, 100, false, 100, 0, 0},
            // Scaled twice as high: the upper layer stands at z = 2, 3 along the given ray.
            {"scaled", {0.75f, 0.25f, 5}, down, {1, 1, 2}, 100, true, 3, 0, 1},
            // Scaled twice as wide: the point (1.5, 0.5) lies over the quad's (0.75, 0.25).
            {"scaled wide", {1.5f, 0.5f, 5}, down, {2, 2, 1}, 100, true, 4, 0, 1},
        };
        for (const Case& c : cases) {
            instance->SetScale(c.scale);
            float distance = c.distance;
            MeshRayHit hit;
            EXPECT_EQ(instance->TestCollisionGeometry(c.point, c.direction, &distance, &hit), c.hit)
                << c.what << (tree ? " (tree)" : "");
            EXPECT_FLOAT_EQ(distance, c.found) << c.what << (tree ? " (tree)" : "");
            if (!c.hit) continue;
            EXPECT_EQ(hit.instance, instance.get()) << c.what << (tree ? " (tree)" : "");
            EXPECT_EQ(hit.face, c.face) << c.what << (tree ? " (tree)" : "");
            EXPECT_EQ(hit.chunk, c.chunk) << c.what << (tree ? " (tree)" : "");
        }
    }
}

// A chunk of 32768 triangles (128 x 128 quads) and a second chunk: a triangle whose first index
// lies past 65535 must still be reported as the first chunk's, on both paths.
TEST_F(IndexedInstance, ATriangleFarIntoALargeChunkKeepsItsChunk) {
    IdxmFile file = GridMesh(128);
    ASSERT_EQ(file.subMeshes.size(), 1u);
    file.subMeshes.push_back(QuadSubMesh(201, 1.0f));
    for (size_t v = 2; v < file.subMeshes[1].geometry.vertices.size(); v += 5)
        file.subMeshes[1].geometry.vertices[v] = -50.0f;  // far below the grid
    struct Case {
        float x, y;
        uint32_t face;
    } cases[] = {
        {5.75f, 100.25f, 2 * (100 * 128 + 5)},          // first index 76830
        {127.25f, 127.75f, 2 * (127 * 128 + 127) + 1},  // the chunk's last triangle
        {0.75f, 0.25f, 0},
    };
    for (const bool tree : {false, true}) {
        std::optional<OverlappedResourceSystem> system;
        if (tree) system.emplace(false);
        auto instance = Make(file);
        ASSERT_NE(instance, nullptr);
        if (tree) {
            while (system->LoadNext()) {
            }
            ASSERT_NE(instance->GetResource()->GetDefinition()->GetCollision().GetTree(), nullptr);
        }
        for (const Case& c : cases) {
            float distance = 100;
            MeshRayHit hit;
            ASSERT_TRUE(instance->TestCollisionGeometry({c.x, c.y, 5}, {0, 0, -1}, &distance, &hit))
                << c.face << (tree ? " (tree)" : "");
            EXPECT_FLOAT_EQ(distance, 5) << c.face << (tree ? " (tree)" : "");
            EXPECT_EQ(hit.chunk, 0u) << c.face << (tree ? " (tree)" : "");
            EXPECT_EQ(hit.face, c.face) << c.face << (tree ? " (tree)" : "");
        }
    }
}

TEST_F(IndexedInstance, TwoSidedMaterialsAreMetFromBehind) {
    auto instance = Make(Quads(1));
    ASSERT_NE(instance, nullptr);
    float distance = 100;
    EXPECT_FALSE(
        instance->TestCollisionGeometry({0.75f, 0.25f, -5}, {0, 0, 1}, &distance, nullptr));
    instance->OwnMaterialArray();
    instance->MakeMaterialUnique(0);
    instance->GetMaterial(0)->SetTwoSided(true);
    EXPECT_TRUE(instance->TestCollisionGeometry({0.75f, 0.25f, -5}, {0, 0, 1}, &distance, nullptr));
    EXPECT_FLOAT_EQ(distance, 5);
}

TEST_F(IndexedInstance, TheTriangleInterfaceReadsCornersByPrimitive) {
    // Four vertices on a line of x; indices 0 1 2 3 read as a list, a strip and a fan.
    IdxmFile file = Quads(1);
    IdxmGeometry& g = file.subMeshes[0].geometry;
    g.indices = {0, 1, 2, 3, 0, 2};
    g.faceCount = 2;
    file.subMeshes[0].neighbours = std::vector<uint32_t>{0x00010000, 0xFFFFFFFF, 1, 0, 0, 0};
    auto instance = Make(file);
    ASSERT_NE(instance, nullptr);
    const Vector3 v[4] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    // As loaded, the file's triangle list.
    EXPECT_EQ(instance->GetVertexPosition(0, 1, 0), v[3]);
    auto chunk = instance->GetChunk(0);
    struct Case {
        uint32_t primitive, face;
        int k;
        int vertex;  // -1: nothing
    } cases[] = {
        {4, 1, 0, 3},  {4, 1, 2, 2},  {4, 2, 0, -1},                // list: 3f + k
        {8, 0, 1, 1},  {8, 1, 0, 1},  {8, 1, 1, 3},  {8, 1, 2, 2},  // strip: odd faces turn
        {16, 1, 0, 0}, {16, 1, 1, 2}, {16, 1, 2, 3},                // fan: index 0 first
        {2, 0, 0, -1},                                              // another primitive: nothing
    };
    for (const Case& c : cases) {
        chunk->SetFlags((chunk->GetFlags() & ~31u) | c.primitive);
        auto p = instance->GetVertexPosition(0, c.face, c.k);
        ASSERT_EQ(p.has_value(), c.vertex >= 0) << c.primitive << " " << c.face << " " << c.k;
        if (p) {
            EXPECT_EQ(*p, v[c.vertex]) << c.primitive << " " << c.face << " " << c.k;
        }
    }
    chunk->SetFlags((chunk->GetFlags() & ~31u) | 4);
    EXPECT_EQ(instance->GetFaceNormal(0, 0), (Vector3{0, 0, 1}));  // the file's own
    auto centre = instance->GetTriangleCentre(0, 0);
    ASSERT_TRUE(centre);
    EXPECT_FLOAT_EQ(centre->x, 2.0f / 3.0f);
    EXPECT_FLOAT_EQ(centre->y, 1.0f / 3.0f);
    auto neighbour = instance->GetFaceNeighbour(0, 0, 0);
    ASSERT_TRUE(neighbour);
    EXPECT_EQ(neighbour->face, 0u);
    EXPECT_EQ(neighbour->chunk, 1u);
    EXPECT_FALSE(instance->GetFaceNeighbour(0, 0, 1));
    EXPECT_FALSE(instance->GetFaceNeighbour(0, 5, 0));

    // A chunk without face normals: (A - B) x (B - C), normalised; (1, 0, 0) for no area.
    auto bare = std::make_shared<Kiv::GeometryChunk>(4, 0, 6, 0, 0, Kiv::StandardChunkHint(0, 0));
    bare->SetFlags(Kiv::kPrimitiveBitsTriangleList);
    auto* p = reinterpret_cast<float*>(bare->GetItem(Kiv::kItemPositions));
    const float corners[12] = {0, 0, 0, 0, 2, 0, 2, 0, 0, 0, 4, 0};
    std::copy(corners, corners + 12, p);
    const uint16_t triangles[6] = {0, 1, 2, 0, 1, 3};  // the second has no area
    std::copy(triangles, triangles + 6, bare->GetIndexArray());
    ASSERT_TRUE(instance->AddChunk(bare, instance->GetMaterial(0)));
    EXPECT_EQ(instance->GetFaceNormal(1, 0), (Vector3{0, 0, -1}));
    EXPECT_EQ(instance->GetFaceNormal(1, 1), (Vector3{1, 0, 0}));
}

// --- the LOD instance ----------------------------------------------------------------------

class LodInstance : public MeshResources {
protected:
    std::unique_ptr<HalvexIndexedMeshLODInstance> Make(
        const std::vector<meshtesting::LodLevel>& levels) {
        return MakeInstance<HalvexIndexedMeshLODInstance, HalvexIndexedMeshLODResource>(
            folder.Write("l" + std::to_string(++n) + ".lm", meshtesting::WriteLodm(levels)));
    }
    int n = 0;
};

TEST_F(LodInstance, RayTestsRunAgainstTheCollisionMesh) {
    auto instance = Make(meshtesting::SampleLod(false));
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->GetLevelRecordCount(), 3u);
    EXPECT_EQ(instance->GetLODCount(), 2u);  // "collision" is no level of detail
    EXPECT_EQ(instance->GetSelectedLOD(), 2u);
    EXPECT_EQ(instance->GetCurrentRecord(), 0u);
    EXPECT_EQ(instance->FindNamedMesh(PString("collision")), 2);
    EXPECT_EQ(instance->FindNamedMesh(PString("other")), -1);
    // The collision quad is 3 wide; the drawn levels 2 and 1.
    float distance = 100;
    EXPECT_TRUE(instance->TestCollisionGeometry({2.5f, 0.5f, 5}, {0, 0, -1}, &distance, nullptr));
    EXPECT_EQ(instance->GetCullAttachments().size(), 1u);
    EXPECT_NE(instance->FindByName(PString("a.lamp")), nullptr);
}

TEST_F(LodInstance, WithoutCollisionMeshTheCoarsestLevelIsHit) {
    auto levels = meshtesting::SampleLod(false);
    levels.pop_back();
    auto instance = Make(levels);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->GetSelectedLOD(), 1u);
    float distance = 100;
    EXPECT_FALSE(instance->TestCollisionGeometry({1.5f, 0.5f, 5}, {0, 0, -1}, &distance, nullptr));
    EXPECT_TRUE(instance->TestCollisionGeometry({0.75f, 0.25f, 5}, {0, 0, -1}, &distance, nullptr));
    instance->SelectLOD(0);
    EXPECT_EQ(instance->GetPolygonCount(), 2);
    instance->SelectLOD(7);  // no such record: nothing changes
    EXPECT_EQ(instance->GetSelectedLOD(), 0u);
}

TEST_F(LodInstance, OpacityReachesEveryChunkOfEveryLevel) {
    auto instance = Make(meshtesting::SampleLod(false));
    ASSERT_NE(instance, nullptr);
    instance->SetOpacity(0.25f);
    EXPECT_EQ(instance->GetOpacity(), 0.25f);
    for (uint32_t n = 0; n < instance->GetLevelRecordCount(); ++n)
        for (const auto& chunk : *instance->GetLevel(n).chunks)
            EXPECT_EQ(chunk->GetOpacity(), 0.25f) << n;
}

TEST_F(LodInstance, ACopyKeepsItsSourcesLevelAndItsOwnChunks) {
    auto source = Make(meshtesting::SampleLod(false));
    ASSERT_NE(source, nullptr);
    source->GetLevel(0).chunks->at(0)->SetFlags(source->GetLevel(0).chunks->at(0)->GetFlags() |
                                                HalvexIndexedMeshInstance::kFlagOwnedPerInstance);
    source->SetLock(true);
    auto made = source->CreateInstanceCopy();
    auto* copy = static_cast<HalvexIndexedMeshLODInstance*>(made.get());
    EXPECT_EQ(copy->GetSelectedLOD(), 2u);
    EXPECT_EQ(copy->GetCurrentRecord(), 0u);
    EXPECT_TRUE(copy->IsLocked());
    EXPECT_EQ(copy->GetID(), 21u);
    EXPECT_NE(copy->GetLevel(0).chunks->at(0), source->GetLevel(0).chunks->at(0));
    EXPECT_EQ(copy->GetLevel(1).chunks->at(0), source->GetLevel(1).chunks->at(0));
    ASSERT_EQ(copy->GetCullAttachments().size(), 1u);
    EXPECT_EQ(copy->GetCullAttachments()[0]->GetParent(), copy);
}

}  // namespace
