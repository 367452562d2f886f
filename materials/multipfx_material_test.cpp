#include "materials/multipfx_material.h"

#include <gtest/gtest.h>

#include "platform/kiv/display/render_kernel.h"

namespace {

TEST(MultiPFXMaterial, IsCreatedWithTheCachesAndDrawsItsEffectTextureForPassZero) {
    Kiv::RenderKernel kernel(nullptr, 1.0f);
    Kiv::HalvexMultiPFXMaterialPlugin plugin(
        "tmpfx", *Kiv::UId::Parse("643AFE90-426A-46EE-C19F-FFA0A471ABD7"), "onetex");
    Kiv::Display bare;
    EXPECT_EQ(plugin.Create(kernel.GetMaterialManager(), bare), nullptr);
    auto material = std::dynamic_pointer_cast<Kiv::HalvexMultiPFXMaterial>(
        plugin.Create(kernel.GetMaterialManager(), kernel.GetDisplay()));
    ASSERT_NE(material, nullptr);
    EXPECT_TRUE(plugin.GetCaches().IsComplete());
    EXPECT_EQ(material->GetCaches().cache, plugin.GetCaches().cache);

    auto* bitmap = new Kiv::Texture(1);
    auto* effect = new Kiv::Texture(2);
    EXPECT_TRUE(material->SetTexture(0, bitmap, 1.0f));
    EXPECT_FALSE(material->IsLoaded());
    EXPECT_FALSE(material->SetTexture(8, effect, 1.0f));
    EXPECT_TRUE(material->SetTexture(12, effect, 1.0f));
    EXPECT_TRUE(material->IsLoaded());
    material->SetResourcePriority(0.5f);

    auto copy = std::dynamic_pointer_cast<Kiv::HalvexMultiPFXMaterial>(material->CreateInstance());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->Compare(*material));
    EXPECT_EQ(copy->GetTexture(12), effect);
    EXPECT_EQ(effect->GetReferenceCount(), 3u);
    copy->SetResourcePriority(1);
    EXPECT_FALSE(copy->Compare(*material));

    material->Activate(0);
    EXPECT_EQ(effect->GetActivationCount(), 1u);
    EXPECT_EQ(bitmap->GetActivationCount(), 1u);

    Kiv::Display& display = kernel.GetDisplay();
    material->Bind(display, 1);
    EXPECT_EQ(display.GetStates().stage1, nullptr);
    material->Bind(display, 0);
    EXPECT_EQ(display.GetStates().stage0, bitmap);
    EXPECT_EQ(display.GetStates().stage1, effect);
    material->Unbind(display, 1);
    EXPECT_EQ(display.GetStates().stage1, effect);
    material->Unbind(display, 0);
    EXPECT_EQ(display.GetStates().stage1, nullptr);

    copy.reset();
    material.reset();
    EXPECT_EQ(effect->GetReferenceCount(), 1u);
    bitmap->ReleaseReference();
    effect->ReleaseReference();
}

}  // namespace
