#include "materials/state_materials.h"

#include <gtest/gtest.h>

namespace {

using Kiv::Display;
using Kiv::OneTextureMaterial;

// A display in a state no material sets, so every change shows.
Display Busy() {
    Display d;
    Display::States& s = d.GetStates();
    s.fogMode = 3;
    s.cullMode = 2;
    s.blending = false;
    s.sourceBlend = 2;
    s.destinationBlend = 3;
    s.alphaTest = true;
    s.depthWrite = true;
    return d;
}

TEST(NoFogMaterial, DrawsWithoutFogBlendedWithItsProgramAndPutsTheDisplayBack) {
    Kiv::Texture* texture = new Kiv::Texture(7);
    const struct {
        uint32_t flags;
        uint32_t program;
        uint32_t cull;
        bool blends;
    } cases[] = {{0, 9, 1, true}, {1, 0, 0, true}, {2, 9, 1, false}, {3, 0, 0, false}};
    for (const auto& c : cases) {
        Kiv::HalvexNoFogMaterial m(c.program);
        m.SetTexture(0, texture, 1.0f);
        m.SetMaterialFlags(c.flags);
        Display d = Busy();
        const Display::States before = d.GetStates();
        m.Bind(d, 0);
        const Display::States& s = d.GetStates();
        EXPECT_EQ(s.fogMode, 0u) << c.flags;
        EXPECT_EQ(s.cullMode, c.cull) << c.flags;
        EXPECT_EQ(s.stage0, texture);
        EXPECT_EQ(s.blending, c.blends) << c.flags;
        EXPECT_EQ(s.sourceBlend, c.blends ? 4u : 2u) << c.flags;
        EXPECT_EQ(s.destinationBlend, c.blends ? 5u : 3u) << c.flags;
        EXPECT_EQ(s.program, c.program);
        m.Unbind(d, 0);
        Display::States after = before;
        after.cullMode = 1;
        after.stage0 = texture;
        EXPECT_EQ(d.GetStates(), after) << c.flags;
    }
    texture->ReleaseReference();
}

TEST(GroundBaseMaterials, SetTheirStatesOnPassZeroAndAlwaysWriteDepthAfterwards) {
    for (bool noAlpha : {false, true}) {
        std::shared_ptr<Kiv::HalvexGroundBaseMaterial> m;
        if (noAlpha)
            m = std::make_shared<Kiv::HalvexOneTexNoAlphaMaterial>();
        else
            m = std::make_shared<Kiv::HalvexGroundBaseMaterial>();
        m->SetDepthWrite(false);
        m->SetAlphaTest(false);
        Display d = Busy();
        const Display::States before = d.GetStates();
        m->Bind(d, 1);
        EXPECT_EQ(d.GetStates(), before);
        m->Bind(d, 0);
        EXPECT_FALSE(d.GetStates().alphaTest);
        EXPECT_FALSE(d.GetStates().depthWrite);
        EXPECT_EQ(d.GetStates().colorMaterialMode, noAlpha ? 5u : 0u);
        m->Unbind(d, 1);
        EXPECT_FALSE(d.GetStates().depthWrite);
        m->Unbind(d, 0);
        EXPECT_TRUE(d.GetStates().alphaTest);  // as it was
        EXPECT_TRUE(d.GetStates().depthWrite);
        EXPECT_EQ(d.GetStates().colorMaterialMode, 0u);
    }
}

TEST(StateMaterials, CopyAndCompareTheirOwnState) {
    Kiv::Texture* texture = new Kiv::Texture(1);
    Kiv::HalvexOneTexNoAlphaMaterial ground;
    ground.SetTexture(0, texture, 1.0f);
    ground.SetAlphaTest(true);
    std::shared_ptr<Kiv::Material> copy = ground.CreateInstance();
    EXPECT_STREQ(copy->GetPluginName(), "tonetexnoalpha");
    EXPECT_EQ(copy->GetTexture(0), texture);
    EXPECT_TRUE(copy->Compare(ground));
    Kiv::HalvexGroundBaseMaterial plain;
    plain.SetTexture(0, texture, 1.0f);
    plain.SetAlphaTest(true);
    EXPECT_FALSE(plain.Compare(ground));  // another type
    EXPECT_FALSE(ground.Compare(plain));
    std::shared_ptr<Kiv::Material> plainCopy = plain.CreateInstance();
    EXPECT_TRUE(plainCopy->Compare(plain));
    plain.SetDepthWrite(false);
    EXPECT_FALSE(plainCopy->Compare(plain));

    Kiv::HalvexNoFogMaterial fog(4);
    fog.SetTexture(0, texture, 1.0f);
    std::shared_ptr<Kiv::Material> fogCopy = fog.CreateInstance();
    EXPECT_STREQ(fogCopy->GetPluginName(), "nofogtex");
    EXPECT_TRUE(fogCopy->Compare(fog));
    EXPECT_FALSE(fogCopy->Compare(plain));
    Display d;
    fogCopy->SetDisplayState(d);
    EXPECT_EQ(d.GetStates().program, 4u);
    fogCopy->ClearDisplayState(d);
    EXPECT_EQ(texture->GetReferenceCount(), 7u);  // ours and six materials'
    texture->ReleaseReference();
}

}  // namespace
