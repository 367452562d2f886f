// Skinned instances: which resource makes which, and the skin brought to the bones' poses once
// a frame.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "mesh/mesh_resources.h"
#include "mesh/mesh_test_support.h"
#include "mesh/testing/lod_writer.h"

namespace {

using namespace meshtesting;
using Kiv::PString;
using Kiv::Vector3;

MeshInfluence Influence(std::string name, std::string parent, Vector3 position,
                        std::vector<InfluenceGroup> groups) {
    MeshInfluence inf;
    inf.name = std::move(name);
    inf.parentName = std::move(parent);
    inf.position = position;
    inf.groups = std::move(groups);
    return inf;
}

// Two quads; the first moved by "root" (vertices 0 and 1) and half by "arm" (vertices 2 and 3),
// the second wholly by "arm". The arm hangs 1 above the root.
IdxmFile SkinnedQuads() {
    IdxmFile file = Quads(2);
    file.skinWeights = 2;
    file.skinBones = 2;
    file.influences = std::vector<MeshInfluence>{
        Influence("root", "", {0, 0, 0},
                  {{0, {{0, 1, {}}, {1, 1, {}}, {2, 0.5f, {}}, {3, 0.5f, {}}}}}),
        Influence("arm", "root", {0, 1, 0},
                  {{0, {{2, 0.5f, {}}, {3, 0.5f, {}}}},
                   {1, {{0, 1, {}}, {1, 1, {}}, {2, 1, {}}, {3, 1, {}}}}})};
    return file;
}

class Skinning : public MeshResources {
protected:
    template <typename Instance, typename Resource>
    std::unique_ptr<Instance> Make(const IdxmFile& file, const char* extension) {
        return MakeInstance<Instance, Resource>(
            folder.Write("s" + std::to_string(++n) + extension, WriteIdxm(file)));
    }
    void Draw(HalvexIndexedMeshInstance& instance) {
        view.NextFrame();
        instance.Cull(view, instance.GetWorldMatrix());
        instance.Render(view, instance.GetStoredMatrix());
    }
    static Vector3 Position(const Kiv::GeometryChunk& chunk, uint32_t v) {
        const auto* p = reinterpret_cast<const float*>(chunk.GetItem(Kiv::kItemPositions));
        return {p[3 * v], p[3 * v + 1], p[3 * v + 2]};
    }

    Kiv::Camera camera;
    Kiv::ViewPoint view{&camera};
    int n = 0;
};

TEST_F(Skinning, ResourcesMakeSkinnedInstancesOnlyWithASkeleton) {
    IdxmFile noSkeleton = SkinnedQuads();
    for (MeshInfluence& inf : *noSkeleton.influences)
        inf.parentName = "elsewhere";  // every bone names a parent: no tree is built
    IdxmFile progressive = SkinnedQuads();
    progressive.progressive = SampleProgressive();
    auto indexed =
        Make<HalvexIndexedMeshInstance, HalvexIndexedMeshResource>(SkinnedQuads(), ".im");
    EXPECT_NE(dynamic_cast<HalvexDynamicIndexedMeshInstance*>(indexed.get()), nullptr);
    auto pm = Make<HalvexIndexedMeshInstance, HalvexProgressiveMeshResource>(progressive, ".pm");
    EXPECT_NE(dynamic_cast<HalvexDynamicProgressiveMeshInstance*>(pm.get()), nullptr);
    EXPECT_EQ((Make<HalvexIndexedMeshInstance, HalvexIndexedMeshResource>(noSkeleton, ".im")),
              nullptr);
    auto plain = Make<HalvexIndexedMeshInstance, HalvexIndexedMeshResource>(Quads(1), ".im");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(dynamic_cast<HalvexDynamicIndexedMeshInstance*>(plain.get()), nullptr);

    auto skinnedLod = MakeInstance<HalvexIndexedMeshLODInstance, HalvexIndexedMeshLODResource>(
        folder.Write("l.lm", WriteLodm(SampleLod(true))));
    ASSERT_NE(skinnedLod, nullptr);
    EXPECT_EQ(skinnedLod->GetID(), 22u);
    EXPECT_EQ(skinnedLod->CreateInstanceCopy()->GetID(), 22u);
    // Bones that build no skeleton: no LOD instance either.
    auto unrooted = SampleLod(true);
    for (LodLevel& level : unrooted)
        if (level.mesh.influences)
            for (MeshInfluence& inf : *level.mesh.influences)
                inf.parentName = "elsewhere";
    auto* resource =
        Open<HalvexIndexedMeshLODResource>(folder.Write("u.lm", WriteLodm(unrooted)), &k.kernel);
    ASSERT_NE(resource, nullptr);
    ASSERT_NE(resource->GetLODDefinition(), nullptr);
    EXPECT_FALSE(resource->GetLODDefinition()->GetBones().empty());
    EXPECT_EQ(resource->GetLODDefinition()->GetSkeleton(), nullptr);
    EXPECT_EQ(resource->CreateInstance(), nullptr);
}

TEST_F(Skinning, VerticesFollowTheirBonesOnceAFrame) {
    for (const char* extension : {".im", ".pm"}) {
        IdxmFile file = SkinnedQuads();
        if (extension[1] == 'p') file.progressive = SampleProgressive();
        auto instance =
            extension[1] == 'p'
                ? Make<HalvexIndexedMeshInstance, HalvexProgressiveMeshResource>(file, extension)
                : Make<HalvexIndexedMeshInstance, HalvexIndexedMeshResource>(file, extension);
        ASSERT_NE(instance, nullptr) << extension;
        const HalvexIndexedMeshDefinition& definition = *instance->GetResource()->GetDefinition();
        // The chunks the skin moves are the instance's own; the definition's never move.
        EXPECT_NE(instance->GetChunk(0), definition.GetChunk(0)) << extension;

        Kiv::Particle* arm = instance->FindByName(PString("arm"));
        ASSERT_NE(arm, nullptr);
        Draw(*instance);  // the bind pose: nothing moves
        EXPECT_EQ(Position(*instance->GetChunk(0), 2), Position(*definition.GetChunk(0), 2));

        arm->SetFrame(arm->GetPosition() + Vector3{0, 0, 2}, arm->GetRotation());
        Draw(*instance);
        const Kiv::GeometryChunk& moved = *instance->GetChunk(0);
        EXPECT_EQ(Position(moved, 0), Position(*definition.GetChunk(0), 0)) << extension;
        // Half on the root, half on the arm raised by 2.
        EXPECT_EQ(Position(moved, 2), (Position(*definition.GetChunk(0), 2) + Vector3{0, 0, 1}));
        const auto bytes = k.kernel.GetBufferBytes(moved.GetVertexBuffer());
        ASSERT_EQ(bytes.size(), 48u);
        float z;
        std::memcpy(&z, bytes.data() + 2 * 12 + 8, 4);
        EXPECT_EQ(z, 1.0f);  // the render kernel has the moved vertices

        // The second quad follows the arm alone: it is given the arm's matrix, not moved.
        const auto* matrix = instance->GetChunk(1)->GetAssignedInfluenceMatrix(0);
        ASSERT_NE(matrix, nullptr);
        EXPECT_EQ((*matrix)[14], 2.0f);
        EXPECT_EQ(Position(*instance->GetChunk(1), 2), Position(*definition.GetChunk(1), 2));

        // Drawn twice in one frame, skinned once.
        const auto* skinned =
            dynamic_cast<HalvexSkinnedInstance<HalvexIndexedMeshInstance>*>(instance.get());
        const auto* skinnedPm =
            dynamic_cast<HalvexSkinnedInstance<HalvexProgressiveMeshInstance>*>(instance.get());
        const HalvexInfluenceMesh& skin =
            skinned != nullptr ? skinned->GetInfluenceMesh() : skinnedPm->GetInfluenceMesh();
        const uint32_t updates = skin.GetUpdateCount();
        instance->Render(view, instance->GetStoredMatrix());
        EXPECT_EQ(skin.GetUpdateCount(), updates);
        Draw(*instance);
        EXPECT_EQ(skin.GetUpdateCount(), updates + 2);
    }
}

TEST_F(Skinning, ACopyMovesItsOwnChunksWithItsOwnSkeleton) {
    auto source = Make<HalvexIndexedMeshInstance, HalvexIndexedMeshResource>(SkinnedQuads(), ".im");
    ASSERT_NE(source, nullptr);
    auto copy = source->CreateInstanceCopy();
    ASSERT_NE(dynamic_cast<HalvexDynamicIndexedMeshInstance*>(copy.get()), nullptr);
    EXPECT_NE(copy->GetChunk(0), source->GetChunk(0));
    Kiv::Particle* arm = copy->FindByName(PString("arm"));
    ASSERT_NE(arm, nullptr);
    EXPECT_NE(arm, source->FindByName(PString("arm")));
    arm->SetFrame(arm->GetPosition() + Vector3{0, 0, 4}, arm->GetRotation());
    Draw(*copy);
    Draw(*source);
    EXPECT_EQ(Position(*copy->GetChunk(0), 3).z, 2.0f);
    EXPECT_EQ(Position(*source->GetChunk(0), 3).z, 0.0f);
}

// --- the skinned LOD instance ---------------------------------------------------------------

class SkinnedLod : public Skinning {
protected:
    void SetUp() override {
        ASSERT_EQ(BuildLod(SampleLod(true), definition, &k.kernel.GetDisplay(),
                           &k.kernel.GetMaterialManager()),
                  0u);
        // Offset O = 10, animation cut-off A = 100.
        definition.SetViewSettings(HalvexIndexedMeshLODDefinition::kCentre, 10, 1, 100, 0, 0);
        definition.CompleteLoad(&k.kernel.GetDisplay());
        instance.BindSkinned(nullptr, &definition);
    }
    // A frame in which the measured distance (the camera's, plus the offset) is d.
    void DrawAt(float d) {
        camera.SetFrame(instance.GetGlobalBoundingSphere().centre + Vector3{0, 0, d - 10}, {});
        Draw(instance);
        ASSERT_FLOAT_EQ(instance.GetLastDistance(), d);
    }

    HalvexIndexedMeshLODDefinition definition;
    HalvexDynamicIndexedMeshLODInstance instance{&k.kernel};
};

TEST_F(SkinnedLod, TheAnimationSwitchesOffAboveTheBandAndOnBelowIt) {
    EXPECT_EQ(instance.GetAnimationCutOff(), 100.0f);
    Kiv::Particle* wheel = instance.AddChild(std::make_unique<Kiv::Particle>(PString("b.wheel")));
    Kiv::Particle* plain = instance.AddChild(std::make_unique<Kiv::Particle>(PString("b.")));
    struct Step {
        float distance;
        uint32_t switches;
        bool off;
    } steps[] = {
        {89, 0, false},                   // A - O - 1: on, as it started
        {105, 0, false}, {111, 1, true},  // off on crossing A + O
        {95, 1, true},   {91, 1, true},   // back in the band: still off
        {89, 2, false},                   // on only below A - O
    };
    for (const Step& s : steps) {
        DrawAt(s.distance);
        EXPECT_EQ(instance.GetAnimationSwitches(), s.switches) << s.distance;
        EXPECT_EQ((instance.GetFlags() & instance.kAnimationOff) != 0, s.off) << s.distance;
        EXPECT_EQ(wheel->IsHidden(), s.off) << s.distance;
        EXPECT_FALSE(plain->IsHidden());  // a name of two characters is no animated part
    }
}

TEST_F(SkinnedLod, ThePoseStaysWhileTheAnimationIsOffUnlessAskedFor) {
    DrawAt(50);
    const HalvexInfluenceMesh& skin = instance.GetInfluenceMesh();
    const uint32_t afterFirst = skin.GetUpdateCount();
    EXPECT_GT(afterFirst, 0u);
    DrawAt(150);  // switched off: no skinning
    DrawAt(150);
    EXPECT_EQ(skin.GetUpdateCount(), afterFirst);
    instance.SetSkinUpdatePending();
    DrawAt(150);
    EXPECT_GT(skin.GetUpdateCount(), afterFirst);
    // The drawn level's chunks are the instance's own.
    const uint32_t level = instance.GetCurrentRecord();
    EXPECT_NE(instance.GetLevel(level).chunks->at(0), definition.GetRecords()[level].chunks[0]);
}

TEST_F(SkinnedLod, WhileLockedTheDistanceStillFollowsTheCamera) {
    DrawAt(20);
    instance.SetLock(true);
    DrawAt(150);
    EXPECT_EQ(instance.GetCurrentRecord(), 0u);
    EXPECT_NE(instance.GetFlags() & instance.kAnimationOff, 0);
}

TEST_F(Skinning, AWeightOnAVertexTheChunkLacksMovesNothing) {
    IdxmFile file = SkinnedQuads();
    (*file.influences)[1].groups[0].entries.push_back({4000, 1, {}});  // past the quad's four
    auto instance = Make<HalvexIndexedMeshInstance, HalvexIndexedMeshResource>(file, ".im");
    ASSERT_NE(instance, nullptr);
    Kiv::Particle* arm = instance->FindByName(PString("arm"));
    arm->SetFrame(arm->GetPosition() + Vector3{0, 0, 2}, arm->GetRotation());
    Draw(*instance);
    EXPECT_EQ(Position(*instance->GetChunk(0), 3).z, 1.0f);
}

TEST_F(SkinnedLod, AnimatedNamedMeshesAreSkinnedBesideTheDrawnLevel) {
    // The collision mesh of this LOD is not animated: only the drawn level moves.
    EXPECT_TRUE(instance.GetAnimatedLevels().empty());
    auto levels = SampleLod(true);
    levels[2].animated = true;
    HalvexIndexedMeshLODDefinition animated;
    ASSERT_EQ(BuildLod(levels, animated, &k.kernel.GetDisplay(), &k.kernel.GetMaterialManager()),
              0u);
    animated.CompleteLoad(&k.kernel.GetDisplay());
    HalvexDynamicIndexedMeshLODInstance withCollision(&k.kernel);
    withCollision.BindSkinned(nullptr, &animated);
    EXPECT_EQ(withCollision.GetAnimatedLevels(), (std::vector<uint32_t>{2}));
    Draw(instance);
    Draw(withCollision);
    EXPECT_EQ(withCollision.GetInfluenceMesh().GetUpdateCount(),
              2 * instance.GetInfluenceMesh().GetUpdateCount());
    EXPECT_NE(withCollision.GetLevel(2).chunks->at(0), animated.GetRecords()[2].chunks[0]);
}

}  // namespace
