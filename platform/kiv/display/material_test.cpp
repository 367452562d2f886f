#include "platform/kiv/display/material.h"

#include <gtest/gtest.h>

#include "platform/kiv/display/display.h"
#include "platform/kiv/display/materials.h"
#include "platform/kiv/display/render_kernel.h"

namespace {

TEST(MaterialManager, FindsKnownTypesAndTellsUnknownFromBroken) {
    Kiv::MaterialManager mm;
    mm.RegisterType("m.onetex");
    mm.RegisterBrokenType("m.bump");
    Kiv::MaterialDescription d;
    d.typeName = Kiv::PString("M.OneTex");
    int code = 0;
    auto m = mm.FindMaterial(d, &code);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->GetRequestName(), Kiv::PString("M.OneTex"));
    d.typeName = Kiv::PString("m.bump");
    EXPECT_EQ(mm.FindMaterial(d, &code), nullptr);
    EXPECT_EQ(code, Kiv::MaterialManager::kNotCreated);
    d.typeName = Kiv::PString("m.glass");
    EXPECT_EQ(mm.FindMaterial(d, &code), nullptr);
    EXPECT_EQ(code, Kiv::MaterialManager::kNotFound);
}

TEST(MaterialManager, MakesTheTypesThePlugInsProvide) {
    Kiv::MaterialManager mm;
    Kiv::MaterialDescription d;
    d.typeName = Kiv::PString("M.GroundBase");
    int code = 0;
    EXPECT_EQ(mm.FindMaterial(d, &code), nullptr);
    Kiv::MaterialLoader::RegisterType("m.groundbase", {});
    EXPECT_NE(mm.FindMaterial(d, &code), nullptr);
    Kiv::MaterialLoader::UnregisterAll();
    EXPECT_EQ(mm.FindMaterial(d, &code), nullptr);
}

TEST(MaterialManager, DecoratedNames) {
    std::string base, hex, name;
    ASSERT_TRUE(
        Kiv::MaterialManager::SplitDecoratedMaterialName("*loco*1f*paint*", &base, &hex, &name));
    EXPECT_EQ(base, "loco");
    EXPECT_EQ(hex, "1f");
    EXPECT_EQ(name, "paint");
    for (const char* bad : {"*loco*zz*paint*", "*loco*", "loco*1*x*", "*a*1*b"})
        EXPECT_FALSE(Kiv::MaterialManager::VerifyDecoratedName(bad)) << bad;
    EXPECT_TRUE(Kiv::MaterialManager::VerifyDecoratedName("plain"));
}

TEST(GeometryChunk, ItemsFollowTheHintAndThePaletteDeduplicates) {
    Kiv::StandardChunkHint hint(2, 0);
    hint.texCoordSets = 2;
    hint.flags = Kiv::StandardChunkHint::kSkinned | Kiv::StandardChunkHint::kFloatWeights;
    hint.maxWeights = 3;
    Kiv::GeometryChunk c(4, 0, 6, 2, 4, hint);
    EXPECT_TRUE(c.HasItem(Kiv::kItemTexCoord0 + 1));
    EXPECT_FALSE(c.HasItem(Kiv::kItemTexCoord0 + 2));
    EXPECT_TRUE(c.HasItem(7));
    EXPECT_TRUE(c.HasItem(Kiv::kItemBoneIndices));
    EXPECT_FALSE(c.HasItem(Kiv::kItemPackedWeights));
    EXPECT_EQ(c.GetNumTexCoordSets(), 2u);
    EXPECT_EQ(c.AddInfluenceMatrix(7), 0u);
    EXPECT_EQ(c.AddInfluenceMatrix(3), 1u);
    EXPECT_EQ(c.AddInfluenceMatrix(7), 0u);
    hint.flags |= Kiv::StandardChunkHint::kSoftwareSkinning;
    Kiv::GeometryChunk soft(4, 0, 6, 2, 4, hint);
    EXPECT_TRUE(soft.GetFlags() & Kiv::GeometryChunk::kFlagSoftwareSkinning);
    EXPECT_FALSE(soft.HasItem(Kiv::kItemBoneIndices));
}

TEST(GeometryChunk, PreparesIntoTheNullKernelOnlyWhenItsIndicesFit) {
    Kiv::RenderKernel kernel(nullptr, 1.0f);
    ASSERT_TRUE(kernel.Init(Kiv::Options("-NullRender")));
    Kiv::StandardChunkHint hint(2, 0);
    Kiv::GeometryChunk c(3, 0, 3, 1, 4, hint);
    c.GetIndexArray()[2] = 2;
    EXPECT_TRUE(c.PrepareForDisplay(&kernel));
    EXPECT_EQ(kernel.GetDrawCalls().size(), 0u);
    EXPECT_FALSE(Kiv::GeometryChunk(0, 0, 0, 0, 4, hint).PrepareForDisplay(&kernel));
}

TEST(Display, CapabilitiesExtensionsAndColours) {
    Kiv::Display d;
    EXPECT_FALSE(d.SupportsCapability(Kiv::Display::kCapabilityHardwareSkinning));
    d.SetCapability(29, true);
    EXPECT_TRUE(d.SupportsCapability(29));
    d.AddExtension("vp1");
    d.AddExtension("fp2");
    EXPECT_TRUE(d.CheckExtensionString(" vp1  fp2 "));
    EXPECT_FALSE(d.CheckExtensionString("vp1 fp3"));
    uint32_t c = 0x80112233;
    Kiv::Display::ConvertColorArray(&c, 1);
    EXPECT_EQ(c, 0x80332211u);
}

}  // namespace
