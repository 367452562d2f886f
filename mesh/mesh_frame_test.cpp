// Instances in a frame: what culling adds to the view point and what drawing leaves there and in
// the render kernel.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "mesh/mesh_resources.h"
#include "mesh/mesh_test_support.h"
#include "mesh/testing/lod_writer.h"

namespace {

using namespace meshtesting;
using Kiv::PString;
using Kiv::Vector3;

// An instance whose chunks follow bones the test names.
struct BonedInstance : HalvexIndexedMeshInstance {
    using HalvexIndexedMeshInstance::HalvexIndexedMeshInstance;
    void SetBones(std::vector<Kiv::Particle*> bones) { chunkBones_ = std::move(bones); }
};

class InstanceFrame : public MeshResources {
protected:
    std::unique_ptr<HalvexIndexedMeshInstance> Indexed(const IdxmFile& file) {
        return MakeInstance<HalvexIndexedMeshInstance, HalvexIndexedMeshResource>(
            folder.Write("m" + std::to_string(++n) + ".im", WriteIdxm(file)));
    }
    // A LOD instance of a definition built here, so that its view settings can be chosen.
    std::unique_ptr<HalvexIndexedMeshLODInstance> Lod(float renderCutOff, float attachmentCutOff,
                                                      bool skinned = false) {
        auto definition = std::make_unique<HalvexIndexedMeshLODDefinition>();
        EXPECT_EQ(BuildLod(SampleLod(skinned), *definition, &k.kernel.GetDisplay(),
                           &k.kernel.GetMaterialManager()),
                  0u);
        definition->SetViewSettings(HalvexIndexedMeshLODDefinition::kCentre, 0, 1, 0, renderCutOff,
                                    attachmentCutOff);
        EXPECT_EQ(definition->CompleteLoad(&k.kernel.GetDisplay()), 0u);
        auto instance = std::make_unique<HalvexIndexedMeshLODInstance>(&k.kernel);
        instance->BindLOD(nullptr, definition.get());
        definitions.push_back(std::move(definition));
        return instance;
    }
    // The camera at that distance straight above the instance's bounding sphere's centre.
    void CameraAt(const HalvexIndexedMeshInstance& instance, float distance) {
        camera.SetFrame(instance.GetGlobalBoundingSphere().centre + Vector3{0, 0, distance}, {});
    }
    // A new frame in which the instance is culled and, when it was added, drawn.
    bool Frame(HalvexIndexedMeshInstance& instance) {
        view.NextFrame();
        k.kernel.ClearDrawCalls();
        instance.Cull(view, instance.GetWorldMatrix());
        if (view.GetAdded().empty()) return false;
        instance.Render(view, instance.GetStoredMatrix());
        return true;
    }

    Kiv::Camera camera;
    Kiv::ViewPoint view{&camera};
    std::vector<std::unique_ptr<HalvexIndexedMeshLODDefinition>> definitions;
    int n = 0;
};

// --- the indexed instance -------------------------------------------------------------------

TEST_F(InstanceFrame, CullAddsAnInstanceThatShowsAndAsksForTextureDetail) {
    auto instance = Indexed(Quads(2));
    ASSERT_NE(instance, nullptr);
    EXPECT_GT(instance->GetDetailRadius(), 0.0f);
    CameraAt(*instance, 8 * instance->GetDetailRadius());
    struct Case {
        float opacity;
        bool added;
    } cases[] = {{1.0f, true}, {0.01f, true}, {0.0f, false}, {-1.0f, false}};
    for (const Case& c : cases) {
        instance->SetOpacity(c.opacity);
        const uint32_t asks = view.GetMipLevelAsks();
        view.NextFrame();
        instance->Cull(view, instance->GetWorldMatrix());
        // Culled either way; only a visible instance asks for detail and joins the frame.
        EXPECT_EQ(instance->GetLastCulledFrame(), view.GetCurrentFrame()) << c.opacity;
        EXPECT_EQ(view.GetAdded().size(), c.added ? 1u : 0u) << c.opacity;
        EXPECT_EQ(view.GetMipLevelAsks() - asks, c.added ? 1u : 0u) << c.opacity;
        if (!c.added) continue;
        EXPECT_EQ(instance->GetStoredFrame(), view.GetCurrentFrame());
        // Three halvings bring the camera's distance within the radius.
        for (uint32_t i = 0; i < instance->GetChunkCount(); ++i)
            EXPECT_EQ(instance->GetMaterial(i)->GetWantedMipLevel(), 3u) << i;
    }
}

TEST_F(InstanceFrame, RenderDrawsChunksWithElementsWithTheScaledMatrixAndLightsOnce) {
    auto instance = Indexed(Quads(2));
    ASSERT_NE(instance, nullptr);
    auto empty = std::make_shared<Kiv::GeometryChunk>(3, 0, 0, 0, 0, Kiv::StandardChunkHint(0, 0));
    ASSERT_TRUE(instance->AddChunk(empty, instance->GetMaterial(0)));
    instance->SetFrame({10, 0, 0}, {});
    instance->SetScale({2, 1, 1});
    ASSERT_TRUE(Frame(*instance));

    Kiv::Matrix4x4 expected = Kiv::Matrix4x4::FromFrame({10, 0, 0}, {});
    expected.ScaleRows({2, 1, 1});
    ASSERT_EQ(view.GetDraws().size(), 2u);  // the empty chunk is never drawn
    for (uint32_t i = 0; i < 2; ++i) {
        EXPECT_EQ(view.GetDraws()[i].chunk, instance->GetChunk(i).get());
        EXPECT_EQ(view.GetDraws()[i].material, instance->GetMaterial(i).get());
        EXPECT_EQ(view.GetDraws()[i].matrix, expected);
    }
    const auto calls = k.kernel.GetDrawCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].count, 6u);
    EXPECT_EQ(instance->GetCalculationCount(), 1u);
    EXPECT_EQ(instance->GetLitChunkCount(), 3u);

    // The lighting is worked out again only when asked for.
    ASSERT_TRUE(Frame(*instance));
    EXPECT_EQ(instance->GetCalculationCount(), 1u);
    instance->SetUpdateLighting(true);
    ASSERT_TRUE(Frame(*instance));
    EXPECT_EQ(instance->GetCalculationCount(), 2u);
    EXPECT_FALSE(instance->GetUpdateLighting());
}

TEST_F(InstanceFrame, AChunkFollowingABoneIsDrawnOnlyWhenTheBoneWasCulled) {
    auto made = Indexed(Quads(2));
    ASSERT_NE(made, nullptr);
    // The same instance with bones: the resource's binding, then the bones.
    BonedInstance instance(&k.kernel);
    instance.Bind(made->GetResource(), made->GetResource()->GetDefinition());
    Kiv::Particle* arm = instance.AddChild(std::make_unique<Kiv::Particle>(PString("arm")));
    arm->SetFrame({0, 5, 0}, {});
    instance.SetBones({arm, nullptr});

    ASSERT_TRUE(Frame(instance));
    ASSERT_EQ(view.GetDraws().size(), 1u);  // the chunk without a bone is not drawn
    EXPECT_EQ(view.GetDraws()[0].chunk, instance.GetChunk(0).get());
    EXPECT_EQ(view.GetDraws()[0].matrix, arm->GetWorldMatrix());

    arm->SetHidden(true);  // not culled in this frame: not drawn
    ASSERT_TRUE(Frame(instance));
    EXPECT_TRUE(view.GetDraws().empty());
    EXPECT_FALSE(instance.NotDrawnInFrame(view));
}

TEST_F(InstanceFrame, TheTriangleInterfaceDrawsDirectlyAndKnowsTheFrame) {
    auto instance = Indexed(Quads(2));
    ASSERT_NE(instance, nullptr);
    EXPECT_TRUE(instance->NotDrawnInFrame(view));  // never culled
    instance->Cull(view, instance->GetWorldMatrix());
    EXPECT_FALSE(instance->NotDrawnInFrame(view));
    view.NextFrame();
    EXPECT_TRUE(instance->NotDrawnInFrame(view));

    // Drawn lit, each chunk's material is given the lighting state first; unlit, it is not.
    camera.SetFrame({3, 4, 5}, {});
    instance->SetOpacity(0.5f);
    for (const bool lit : {false, true}) {
        view.NextFrame();
        instance->DrawChunksDirect(view, lit);
        ASSERT_EQ(view.GetDraws().size(), 2u);
        for (uint32_t i = 0; i < 2; ++i) {
            const Kiv::Material& material = *instance->GetMaterial(i);
            EXPECT_EQ(view.GetDraws()[i].lit, lit);
            ASSERT_EQ(material.GetLightingStateCount(), lit ? 1u : 0u) << i;
            if (!lit) continue;
            const auto& state = material.GetLightingState();
            EXPECT_EQ(state.chunk, instance->GetChunk(i).get()) << i;
            EXPECT_EQ(state.view, camera.GetViewTransform()) << i;
            EXPECT_EQ(state.lights, static_cast<const Kiv::LightTarget*>(instance.get())) << i;
            EXPECT_EQ(state.opacity, 0.5f) << i;
        }
    }
    EXPECT_EQ(instance->GetTriangleMaterial(1), instance->GetMaterial(1).get());
    EXPECT_EQ(instance->GetTriangleMaterial(2), nullptr);
}

TEST_F(InstanceFrame, ReplaceChunkDataTakesOnlyATriangleListOfTheSameFormat) {
    auto instance = Indexed(Quads(2));
    auto other = Indexed([] {
        IdxmFile f;
        f.subMeshes.push_back(QuadSubMesh(201, 4.0f));
        return f;
    }());
    ASSERT_NE(instance, nullptr);
    ASSERT_NE(other, nullptr);
    const Kiv::GeometryChunk& big = *other->GetChunk(0);

    auto flagged = [&](uint32_t set, uint32_t clear) {
        auto c = big.Copy();
        c->SetFlags((c->GetFlags() | set) & ~clear);
        return c;
    };
    Kiv::StandardChunkHint twoSets(0, 0);
    twoSets.texCoordSets = 2;
    auto moreItems = std::make_shared<Kiv::GeometryChunk>(4, 0, 6, 2, 0, twoSets);
    moreItems->SetFlags(Kiv::kPrimitiveBitsTriangleList);
    struct Case {
        const char* what;
        std::shared_ptr<Kiv::GeometryChunk> chunk;
        uint32_t index;
    } refused[] = {
        {"past the chunks", big.Copy(), 2},
        {"not addable", flagged(HalvexIndexedMeshInstance::kFlagNotAddable, 0), 0},
        {"a strip", flagged(Kiv::kPrimitiveBitsTriangleStrip, Kiv::kPrimitiveBitsTriangleList), 0},
        {"another vertex format", moreItems, 0},
    };
    const Kiv::GeometryChunk* shared = instance->GetChunk(0).get();
    for (const Case& c : refused) {
        ASSERT_NE(c.chunk, nullptr) << c.what;
        EXPECT_FALSE(instance->ReplaceChunkData(*c.chunk, c.index)) << c.what;
        EXPECT_EQ(instance->GetChunk(0).get(), shared) << c.what;
    }

    ASSERT_TRUE(instance->ReplaceChunkData(big, 0));
    // The instance's own chunk took the data; the definition's is as it was.
    EXPECT_NE(instance->GetChunk(0).get(), shared);
    EXPECT_EQ(instance->GetVertexPosition(0, 0, 1), (Vector3{4, 0, 0}));
    EXPECT_EQ(instance->GetResource()->GetDefinition()->GetChunk(0).get(), shared);
    EXPECT_TRUE(instance->GetChunk(0)->IsPrepared());
    EXPECT_TRUE(Frame(*instance));
    EXPECT_EQ(k.kernel.GetDrawCalls().size(), 2u);
}

// --- the LOD instance -----------------------------------------------------------------------

TEST_F(InstanceFrame, TheLevelFollowsTheDistanceUnlessLocked) {
    auto instance = Lod(0, 0);
    struct Step {
        float distance;
        bool lock;
        uint32_t level;
    } steps[] = {
        {10, false, 0},
        {100, false, 1},  // the second level starts at 50; the sphere's widening is not counted
        {10, true, 1},    // locked: the camera moves, the drawn level stays
        {10, false, 0},
    };
    for (const Step& s : steps) {
        instance->SetLock(s.lock);
        CameraAt(*instance, s.distance);
        ASSERT_TRUE(Frame(*instance)) << s.distance;
        EXPECT_EQ(instance->GetCurrentRecord(), s.level) << s.distance;
        EXPECT_FLOAT_EQ(instance->GetLastDistance(), s.distance);
        const auto& level = instance->GetLevel(s.level);
        ASSERT_EQ(view.GetDraws().size(), 1u);
        EXPECT_EQ(view.GetDraws()[0].chunk, level.chunks->at(0).get());
        EXPECT_EQ(level.chunks->at(0)->GetLastReset(), -1);
    }
    // Ray tests keep to the collision mesh whatever is drawn.
    EXPECT_EQ(instance->GetSelectedLOD(), 2u);
}

TEST_F(InstanceFrame, TheRenderCutOffAndTheAttachmentCutOff) {
    struct Case {
        float renderCutOff, attachmentCutOff, distance;
        bool drawn, attachmentHidden;
    } cases[] = {
        {0, 0, 10, true, true},  // defaults: always drawn, cull attachments always hidden
        {100, 0, 50, false, true}, {100, 0, 100, true, true},
        {0, 100, 50, true, false}, {0, 100, 150, true, true},
    };
    for (const Case& c : cases) {
        auto instance = Lod(c.renderCutOff, c.attachmentCutOff);
        ASSERT_EQ(instance->GetCullAttachments().size(), 1u);
        CameraAt(*instance, c.distance);
        EXPECT_EQ(Frame(*instance), c.drawn) << c.renderCutOff << " " << c.distance;
        EXPECT_EQ(instance->GetLastCulledFrame(), view.GetCurrentFrame());
        EXPECT_EQ(instance->GetCullAttachments()[0]->IsHidden(), c.attachmentHidden)
            << c.attachmentCutOff << " " << c.distance;
        // A hidden attachment is left out of the frame with everything under it.
        EXPECT_EQ(instance->GetCullAttachments()[0]->GetLastCulledFrame() == view.GetCurrentFrame(),
                  !c.attachmentHidden);
    }
}

TEST_F(InstanceFrame, AFadedOutLodInstanceIsNotDrawn) {
    auto instance = Lod(0, 0);
    CameraAt(*instance, 10);
    instance->SetOpacity(0.0f);
    EXPECT_FALSE(Frame(*instance));
    EXPECT_EQ(instance->GetLastCulledFrame(), 0u);
    instance->SetOpacity(0.5f);
    EXPECT_TRUE(Frame(*instance));
}

TEST_F(InstanceFrame, EachLevelIsLitOnceAfterLightingIsTurnedOn) {
    auto instance = Lod(0, 0);
    const uint32_t levels = instance->GetLevelRecordCount();
    instance->SetUpdateLighting(false);
    CameraAt(*instance, 10);
    ASSERT_TRUE(Frame(*instance));
    EXPECT_EQ(instance->GetCalculationCount(), 0u);

    instance->SetUpdateLighting(true);
    EXPECT_EQ(instance->GetMarksSet(), levels);
    ASSERT_TRUE(Frame(*instance));
    ASSERT_TRUE(Frame(*instance));  // level 0 is lit once
    EXPECT_EQ(instance->GetCalculationCount(), 1u);
    EXPECT_FALSE(instance->GetLightingMark(0));
    CameraAt(*instance, 100);
    ASSERT_TRUE(Frame(*instance));
    EXPECT_EQ(instance->GetCalculationCount(), 2u);
    EXPECT_TRUE(instance->GetUpdateLighting());  // the collision mesh is still to be lit
    instance->UpdateAllLevelsLighting(true);     // distance levels only: all lit already
    EXPECT_TRUE(instance->GetUpdateLighting());
    instance->UpdateAllLevelsLighting(false);
    EXPECT_EQ(instance->GetCalculationCount(), 3u);
    EXPECT_EQ(instance->GetMarksSet(), 0u);
    EXPECT_FALSE(instance->GetUpdateLighting());
}

TEST_F(InstanceFrame, ALodInstanceDrawsItsDrawnLevelDirectly) {
    auto instance = Lod(0, 0);
    for (const float distance : {10.0f, 100.0f}) {
        CameraAt(*instance, distance);
        ASSERT_TRUE(Frame(*instance));
        const auto& level = instance->GetLevel(instance->GetCurrentRecord());
        view.NextFrame();
        instance->DrawChunksDirect(view, true);
        ASSERT_EQ(view.GetDraws().size(), 1u) << distance;
        EXPECT_EQ(view.GetDraws()[0].chunk, level.chunks->at(0).get()) << distance;
        const auto& state = level.materials->at(0)->GetLightingState();
        EXPECT_EQ(state.chunk, level.chunks->at(0).get()) << distance;
        EXPECT_EQ(state.view, camera.GetViewTransform()) << distance;
    }
}

TEST_F(InstanceFrame, ACopyDrawsLevelZeroUntilItsFirstCull) {
    auto source = Lod(0, 0);
    CameraAt(*source, 100);
    ASSERT_TRUE(Frame(*source));
    ASSERT_EQ(source->GetCurrentRecord(), 1u);
    auto made = source->CreateInstanceCopy();
    auto* copy = static_cast<HalvexIndexedMeshLODInstance*>(made.get());
    EXPECT_EQ(copy->GetCurrentRecord(), 0u);
    EXPECT_EQ(copy->GetSelectedLOD(), 2u);
    ASSERT_TRUE(Frame(*copy));
    EXPECT_EQ(copy->GetCurrentRecord(), 1u);
}

TEST_F(InstanceFrame, TheMeasuredSphereIsWidenedByFive) {
    auto instance = Lod(0, 0);
    const float radius = instance->GetGlobalBoundingSphere().radius;
    CameraAt(*instance, 100);
    struct Case {
        uint32_t point;
        float distance;
    } cases[] = {{HalvexIndexedMeshLODDefinition::kCentre, 100},
                 {HalvexIndexedMeshLODDefinition::kNear, 100 - radius - 5},
                 {HalvexIndexedMeshLODDefinition::kFar, 100 + radius + 5}};
    for (const Case& c : cases) {
        definitions.back()->SetViewSettings(c.point, 0, 1, 0, 0, 0);
        instance->SetLODDefinition(definitions.back().get());
        ASSERT_TRUE(Frame(*instance));
        EXPECT_FLOAT_EQ(instance->GetLastDistance(), c.distance) << c.point;
    }
}

}  // namespace
