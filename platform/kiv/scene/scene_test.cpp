#include "platform/kiv/scene/scene.h"

#include <gtest/gtest.h>

namespace {

TEST(Scene, ParticlesDetachWhicheverSideGoesFirst) {
    Kiv::Particle root;
    auto* child = new Kiv::Particle();
    root.Attach(child);
    EXPECT_EQ(child->GetParent(), &root);
    delete child;
    EXPECT_TRUE(root.GetChildren().empty());

    Kiv::Particle orphan;
    {
        Kiv::Particle parent;
        parent.Attach(&orphan);
    }
    EXPECT_EQ(orphan.GetParent(), nullptr);
}

TEST(Scene, GraphAddsAScenesOnceAndUnlinksIt) {
    Kiv::SceneGraph graph;
    Kiv::Particle root;
    graph.AddScene(&root);
    graph.AddScene(&root);
    EXPECT_EQ(graph.GetScenes().size(), 1u);
    graph.UnlinkScene(&root);
    EXPECT_TRUE(graph.GetScenes().empty());
}

}  // namespace
