#include "platform/kiv/scene/scene.h"

#include <gtest/gtest.h>

namespace {

TEST(SceneGraph, AddsAScenesOnceAndUnlinksIt) {
    Kiv::SceneGraph graph;
    Kiv::Particle root;
    graph.AddScene(&root);
    graph.AddScene(&root);
    graph.AddScene(nullptr);
    EXPECT_EQ(graph.GetScenes().size(), 1u);
    graph.UnlinkScene(&root);
    EXPECT_TRUE(graph.GetScenes().empty());
    graph.PurgeDeathRow();
    EXPECT_EQ(graph.GetPurgeCount(), 1u);
}

TEST(SceneGraph, ALightKeepsWhatItWasGiven) {
    Kiv::ParallelLight light({0, 0, 0}, {0, 0, 0, 1}, 100000.0f, {0, 0, 0, 1}, 3);
    light.SetFlags(2);
    light.SetAmbient({0.1f, 0.1f, 0.1f, 1});
    EXPECT_EQ(light.GetType(), 3);
    EXPECT_EQ(light.GetFlags(), 2u);
    EXPECT_FLOAT_EQ(light.GetAmbient()[0], 0.1f);
}

}  // namespace
