#include "platform/kiv/scene/view.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using Kiv::Matrix4x4;
using Kiv::PString;
using Kiv::Quaternion;
using Kiv::Vector3;

void ExpectNear(const Vector3& a, const Vector3& b) {
    EXPECT_NEAR(a.x, b.x, 1e-5f);
    EXPECT_NEAR(a.y, b.y, 1e-5f);
    EXPECT_NEAR(a.z, b.z, 1e-5f);
}

Quaternion QuarterTurnAboutZ() {
    const float h = std::sqrt(0.5f);
    return {0, 0, h, h};
}

TEST(SceneFrames, WorldMatricesComposeAndGlobalToLocalUndoesThem) {
    Kiv::Particle root(PString("root"));
    root.SetFrame({10, 0, 0}, QuarterTurnAboutZ());
    Kiv::Particle* child = root.AddChild(std::make_unique<Kiv::Particle>(PString("child")));
    child->SetFrame({1, 0, 0}, {});
    // The child's x axis turns into the root's y: (1, 0, 0) lands at (10, 1, 0).
    ExpectNear(child->GetWorldMatrix().GetTranslation(), {10, 1, 0});
    const Matrix4x4 round = child->GetWorldMatrix() * child->GetWorldMatrix().AffineInverse();
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(round.m[i], Matrix4x4::Identity().m[i], 1e-5f) << i;

    Vector3 local;
    Quaternion rotation;
    child->GlobalToLocal({10, 3, 0}, QuarterTurnAboutZ(), &local, &rotation);
    ExpectNear(local, {3, 0, 0});
    EXPECT_NEAR(std::fabs(rotation.w), 1.0f, 1e-5f);  // no turn left within the parent
}

TEST(SceneFrames, CullPassesOverHiddenParticlesWithWhatLiesUnderThem) {
    Kiv::ViewPoint view;
    view.NextFrame();
    Kiv::Particle root;
    Kiv::Particle* shown = root.AddChild(std::make_unique<Kiv::Particle>());
    Kiv::Particle* hidden = root.AddChild(std::make_unique<Kiv::Particle>());
    Kiv::Particle* under = hidden->AddChild(std::make_unique<Kiv::Particle>());
    hidden->SetHidden(true);
    root.Cull(view, root.GetWorldMatrix());
    EXPECT_EQ(root.GetLastCulledFrame(), 2u);
    EXPECT_EQ(shown->GetLastCulledFrame(), 2u);
    EXPECT_EQ(hidden->GetLastCulledFrame(), 0u);
    EXPECT_EQ(under->GetLastCulledFrame(), 0u);
}

TEST(SceneFrames, WantedTextureDetailHalvesTheDistanceDownToTheRadius) {
    Kiv::Camera camera;
    camera.SetFrame({0, 0, 100}, {});
    Kiv::ViewPoint view(&camera);
    struct Case {
        float radius;
        uint32_t level;
    } cases[] = {{0, 0}, {-1, 0}, {100, 0}, {50, 1}, {49, 2}, {1e-6f, 15}};
    for (const Case& c : cases)
        EXPECT_EQ(view.CalcWantedMipLevelsForCull(c.radius, {}), c.level) << c.radius;
    EXPECT_EQ(view.GetMipLevelAsks(), 6u);
}

TEST(SceneFrames, NamesSplitAtTheFirstDotAndAStructureTakesEachAttachmentOnce) {
    struct Case {
        const char* name;
        const char* first;
        const char* rest;
    } cases[] = {{"a.light.front", "a", "light.front"}, {"plain", "plain", ""}, {".x", "", "x"}};
    for (const Case& c : cases) {
        PString first, rest;
        Kiv::GetSubNames(PString(c.name), &first, &rest);
        EXPECT_EQ(first.view(), c.first) << c.name;
        EXPECT_EQ(rest.view(), c.rest) << c.name;
    }

    Kiv::ParticleStructure structure;
    EXPECT_EQ(structure.AddAttachmentPoint(std::make_unique<Kiv::AttachmentPoint>(PString("a.x"))),
              nullptr);
    auto refused =
        structure.AddAttachmentPoint(std::make_unique<Kiv::AttachmentPoint>(PString("a.x")));
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->GetSubName().view(), "x");
    EXPECT_EQ(structure.GetAttachmentPoints().size(), 1u);
    EXPECT_EQ(structure.GetChildren().size(), 1u);
}

}  // namespace
