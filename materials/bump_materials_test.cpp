#include "materials/bump_materials.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "materials/alpha_blend_cache.h"
#include "materials/bump_programs.h"
#include "platform/kiv/display/render_kernel.h"

namespace {

using Kiv::HalvexBumpMaterialPlugin;
using Kind = HalvexBumpMaterialPlugin::Kind;
namespace bp = Kiv::bump_programs;

const Kiv::UId& SomeId() {
    static const Kiv::UId id = *Kiv::UId::Parse("E34011F3-C721-48ba-B3C0-19621E408CBD");
    return id;
}

// The rendering-cache manager is the process's: each test starts without the family's caches.
class BumpMaterials : public ::testing::Test {
protected:
    void SetUp() override {
        Kiv::RenderingCacheManager& m = Kiv::RenderingCacheManager::Instance();
        for (bool again = true; again;) {
            again = false;
            for (Kiv::RenderingCache* c : m.GetCaches())
                if (c->GetId() == Kiv::AlphaBlendCache::kId ||
                    c->GetId() == Kiv::AlphaMaskCache::kId ||
                    c->GetId() == Kiv::MaterialChunkCache::kId) {
                    m.RemoveCache(c);
                    again = true;
                    break;
                }
        }
    }
    Kiv::RenderKernel kernel_{nullptr, 1.0f};
    Kiv::Display& display_ = kernel_.GetDisplay();
};

std::vector<std::string> EntryNames(const Kiv::BumpProgramSet& set) {
    std::vector<std::string> out;
    for (const Kiv::VertexProgram* p : set.vertex) {
        EXPECT_EQ(p->GetFlags(), bp::kVertexFlags);
        out.push_back(p->GetEntryName());
    }
    for (const Kiv::TextureCombiner* p : set.pixel)
        out.push_back(p->GetName());
    return out;
}

TEST_F(BumpMaterials, PluginsFindOrRegisterTheirCachesAndFetchTheirProgramsOnce) {
    auto* ours = new Kiv::HalvexAlphaBlendCache();
    Kiv::RenderingCacheManager::Instance().AddCache(ours);
    ours->ReleaseReference();  // the manager's reference keeps it

    HalvexBumpMaterialPlugin bump(Kind::Bump, "tbumptex", SomeId(), "onetex");
    Kiv::Display bare;  // no render system
    EXPECT_EQ(bump.Create(kernel_.GetMaterialManager(), bare), nullptr);

    auto material = std::dynamic_pointer_cast<Kiv::HalvexBumpMaterial>(
        bump.Create(kernel_.GetMaterialManager(), display_));
    ASSERT_NE(material, nullptr);
    EXPECT_STREQ(material->GetPluginName(), "tbumptex");
    const Kiv::MaterialCaches& caches = bump.GetCaches();
    EXPECT_EQ(caches.cache[Kiv::MaterialCaches::kAlphaBlend], ours);
    ASSERT_TRUE(caches.IsComplete());
    EXPECT_EQ(material->GetCaches().cache, caches.cache);
    EXPECT_EQ(EntryNames(bump.GetPrograms()),
              (std::vector<std::string>{"HalvexBump_ParallelLight", "HalvexBump_SpotLight",
                                        "HalvexBumpMat_ParallelLight"}));
    EXPECT_EQ(material->GetPrograms(), bump.GetPrograms());

    ASSERT_NE(bump.Create(kernel_.GetMaterialManager(), display_), nullptr);
    EXPECT_EQ(display_.GetVertexProgramManager().GetRequestCount(), 2u);
    EXPECT_EQ(display_.GetTextureCombinerManager().GetRequestCount(), 1u);

    // Another plug-in finds the caches the first registered.
    HalvexBumpMaterialPlugin gloss(Kind::Gloss, "tbumpgloss", SomeId(), "tglossrust");
    HalvexBumpMaterialPlugin env(Kind::Env, "tbumpenv", SomeId(), "tonetexnoalpha");
    auto g = gloss.Create(kernel_.GetMaterialManager(), display_);
    auto e = env.Create(kernel_.GetMaterialManager(), display_);
    ASSERT_NE(dynamic_cast<Kiv::HalvexBumpGlossMaterial*>(g.get()), nullptr);
    ASSERT_NE(dynamic_cast<Kiv::HalvexBumpEnvMaterial*>(e.get()), nullptr);
    EXPECT_EQ(gloss.GetCaches().cache, caches.cache);
    EXPECT_EQ(env.GetCaches().cache, caches.cache);
    EXPECT_EQ(
        EntryNames(gloss.GetPrograms()),
        (std::vector<std::string>{
            "HalvexBumpGloss_ParallelLight", "HalvexBumpGloss_SpotLight",
            "HalvexBump_ParallelLight", "HalvexBump_SpotLight", "HalvexBumpGlossMat_ParallelLight",
            "HalvexBumpGlossMat_SpotLight", "HalvexBumpRustMat_ParallelLight"}));
    EXPECT_EQ(
        EntryNames(env.GetPrograms()),
        (std::vector<std::string>{"HalvexBumpEnv_ParallelLight", "HalvexBumpEnv_SpotLight",
                                  "HalvexBumpEnvMat_ParallelLight", "HalvexBumpEnvMat_SpotLight"}));
}

TEST_F(BumpMaterials, APluginThatCannotHaveAProgramLetsGoOfTheOthersAndCreatesNothing) {
    const std::vector<std::string_view> vertex = {bp::kGlossParallel, bp::kGlossSpot,
                                                  bp::kBumpParallel, bp::kBumpSpot};
    const std::vector<std::string_view> pixel = {bp::kGlossPixelParallel, bp::kGlossPixelSpot,
                                                 bp::kRustPixel};
    for (int failing = 0; failing < 7; ++failing) {
        Kiv::RenderKernel kernel(nullptr, 1.0f);
        Kiv::Display& display = kernel.GetDisplay();
        HalvexBumpMaterialPlugin gloss(Kind::Gloss, "tbumpgloss", SomeId(), "tglossrust");
        Kiv::ProgramManagerBase::FailNextRequestsForTesting(1, failing);
        EXPECT_EQ(gloss.Create(kernel.GetMaterialManager(), display), nullptr) << failing;
        EXPECT_TRUE(gloss.GetPrograms().IsEmpty());
        // Only the managers hold the programs handed out before the failure.
        std::string error;
        for (std::string_view entry : vertex) {
            Kiv::VertexProgram* p = display.GetVertexProgramManager().GetProgram(
                bp::kVertexText, entry, bp::kVertexFlags, &error);
            ASSERT_NE(p, nullptr) << error;
            EXPECT_EQ(p->GetReferenceCount(), 2u) << failing << " " << entry;
            p->ReleaseReference();
        }
        for (std::string_view name : pixel) {
            Kiv::TextureCombiner* p = display.GetTextureCombinerManager().GetProgram(name, &error);
            ASSERT_NE(p, nullptr) << error;
            EXPECT_EQ(p->GetReferenceCount(), 2u) << failing << " " << name;
            p->ReleaseReference();
        }
        EXPECT_NE(gloss.Create(kernel.GetMaterialManager(), display), nullptr) << failing;
    }
}

TEST_F(BumpMaterials, MaterialsCopyCompareAndHandleTheirExtraSlots) {
    HalvexBumpMaterialPlugin bumpPlugin(Kind::Bump, "tbumptex", SomeId(), "onetex");
    HalvexBumpMaterialPlugin glossPlugin(Kind::Gloss, "tbumpgloss", SomeId(), "tglossrust");
    auto bump = std::dynamic_pointer_cast<Kiv::HalvexBumpMaterial>(
        bumpPlugin.Create(kernel_.GetMaterialManager(), display_));
    auto gloss = std::dynamic_pointer_cast<Kiv::HalvexBumpMaterial>(
        glossPlugin.Create(kernel_.GetMaterialManager(), display_));
    ASSERT_NE(bump, nullptr);
    ASSERT_NE(gloss, nullptr);
    auto* bitmap = new Kiv::Texture(1);
    auto* normals = new Kiv::Texture(2);
    auto* glossMap = new Kiv::Texture(3);

    EXPECT_FALSE(bump->IsLoaded());
    EXPECT_TRUE(bump->SetTexture(0, bitmap, 1.0f));
    EXPECT_TRUE(bump->SetTexture(8, normals, 1.0f));
    EXPECT_FALSE(bump->SetTexture(9, glossMap, 1.0f));  // the plain bump material has no slot 9
    EXPECT_FALSE(bump->SetTexture(12, glossMap, 1.0f));
    EXPECT_TRUE(bump->IsLoaded());
    EXPECT_EQ(bump->GetTexture(8), normals);
    EXPECT_EQ(bump->GetTexture(9), nullptr);
    EXPECT_EQ(normals->GetReferenceCount(), 2u);

    EXPECT_TRUE(gloss->SetTexture(0, bitmap, 1.0f));
    EXPECT_TRUE(gloss->SetTexture(8, normals, 1.0f));
    EXPECT_FALSE(gloss->IsLoaded());
    EXPECT_TRUE(gloss->SetTexture(9, glossMap, 1.0f));
    EXPECT_TRUE(gloss->IsLoaded());
    EXPECT_EQ(gloss->GetTexture(9), glossMap);

    for (const auto& m : {bump, gloss}) {
        const uint32_t before = normals->GetReferenceCount();
        auto copy = std::dynamic_pointer_cast<Kiv::HalvexBumpMaterial>(m->CreateInstance());
        ASSERT_NE(copy, nullptr);
        EXPECT_STREQ(copy->GetPluginName(), m->GetPluginName());
        EXPECT_TRUE(copy->Compare(*m));
        EXPECT_EQ(copy->GetTexture(8), normals);
        EXPECT_EQ(copy->GetTexture(9), m->GetTexture(9));
        EXPECT_EQ(normals->GetReferenceCount(), before + 1);
        EXPECT_NE(copy->GetSharedTexture(), nullptr);
        EXPECT_EQ(copy->GetPrograms(), m->GetPrograms());
        copy->SetTexture(8, nullptr, 1.0f);
        EXPECT_FALSE(copy->Compare(*m));
    }
    // The same state in another class is another material.
    gloss->SetTexture(9, nullptr, 1.0f);
    EXPECT_FALSE(gloss->Compare(*bump));
    EXPECT_FALSE(bump->Compare(*gloss));

    bump->Activate(0);
    EXPECT_EQ(bump->GetSharedTexture()->GetActivationCount(), 1u);
    EXPECT_EQ(bitmap->GetActivationCount(), 1u);

    gloss->SetTexture(9, glossMap, 1.0f);
    const Kiv::Display::States before = display_.GetStates();
    gloss->SetDisplayState(display_);
    const Kiv::Display::States& s = display_.GetStates();
    EXPECT_EQ(s.stage0, bitmap);
    EXPECT_EQ(s.stage1, normals);
    EXPECT_EQ(s.stage3, glossMap);
    EXPECT_EQ(s.vertexProgram, gloss->GetPrograms().vertex[0]->GetId());
    EXPECT_EQ(s.program, gloss->GetPrograms().pixel[0]->GetId());
    gloss->ClearDisplayState(display_);
    Kiv::Display::States after = display_.GetStates();
    after.stage0 = before.stage0;  // the base leaves its texture bound
    EXPECT_EQ(after, before);

    bitmap->ReleaseReference();
    normals->ReleaseReference();
    glossMap->ReleaseReference();
}

}  // namespace
