// The material manager making the program's materials through their plug-ins (with the types
// made instead on a display that lacks what one needs), their textures set by name from the
// mesh's folder, and a mesh of them drawn through the null render kernel, which records what
// each material had bound for its draw.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "materials/bump_materials.h"
#include "materials/gloss_rust_material.h"
#include "materials/material_plugins.h"
#include "mesh/mesh_test_support.h"
#include "platform/kiv/base/options.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/res/resource_database.h"
#include "platform/kiv/res/texture_file.h"

namespace {

using Kiv::Display;

// A texture file of w by h pixels (uncompressed, with its levels down to 1 by 1).
std::vector<uint8_t> TextureFile(uint32_t w, uint32_t h) {
    std::vector<std::unique_ptr<Kiv::Bitmap>> chain;
    for (;;) {
        chain.push_back(std::make_unique<Kiv::Bitmap>(
            w, h, Kiv::TextureLevelBitmapFormat(Kiv::kTextureFormatARGB8888)));
        if (w == 1 && h == 1) break;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    std::vector<const Kiv::Bitmap*> levels;
    for (const auto& b : chain)
        levels.push_back(b.get());
    Kiv::MeshOutput out;
    EXPECT_TRUE(Kiv::WriteTextureFile(out, Kiv::kTextureFormatARGB8888, {levels}));
    return out.Bytes();
}

class MaterialDrawing : public testing::Test {
protected:
    MaterialDrawing() {
        Kiv::RegisterMaterialPlugins();
        kernel.Init(Kiv::Options("-NullRender"));
        for (const char* name : {"body.texture", "normals.texture", "gloss.texture"})
            folder.Write(name, TextureFile(8, 4));
    }
    // A display that draws everything the program's materials need, or lacks the listed.
    void Capabilities(std::vector<int> lacking = {}, uint32_t units = 4) {
        Display& d = kernel.GetDisplay();
        for (int c : {Display::kCapabilityVertexPrograms, Display::kCapabilityPixelCombiners,
                      Display::kCapabilityCubeMaps})
            d.SetCapability(c, std::find(lacking.begin(), lacking.end(), c) == lacking.end());
        d.SetTextureUnits(units);
    }
    // `sub`: the mesh lies in that folder of the fixture's.
    std::shared_ptr<Kiv::Material> Find(const std::string& type,
                                        std::vector<Kiv::TextureRequest> textures = {},
                                        int* code = nullptr, const std::string& sub = "") {
        Kiv::MaterialDescription d;
        d.typeName = Kiv::PString(type);
        d.folder = Kiv::PString(sub.empty() ? folder.path : folder.path + "/" + sub);
        d.textures = std::move(textures);
        int ignored = 0;
        return kernel.GetMaterialManager().FindMaterial(d, code ? code : &ignored);
    }

    MeshTempFolder folder;
    Kiv::RenderKernel kernel{nullptr, 1.0f};
};

TEST_F(MaterialDrawing, TheManagerMakesEachTypeThroughItsPluginOrTheTypeItNamesInstead) {
    const int kVP = Display::kCapabilityVertexPrograms, kCube = Display::kCapabilityCubeMaps;
    const struct {
        const char* type;
        std::vector<int> lacking;
        uint32_t units;
        const char* made;
    } cases[] = {
        {"m.tbumptex", {}, 4, "tbumptex"},
        {"M.TBumpGloss", {}, 4, "tbumpgloss"},
        {"m.tbumpenv", {}, 4, "tbumpenv"},
        {"m.tglossrust", {}, 4, "tglossrust"},
        {"m.tmpfx", {}, 4, "tmpfx"},
        {"m.nofogtex", {}, 4, "nofogtex"},
        {"m.tonetexnoalpha", {}, 4, "tonetexnoalpha"},
        {"m.notex", {}, 4, "notex"},
        {"m.reflect", {}, 4, "reflect"},
        {"m.gloss", {}, 4, "gloss"},
        // Without vertex programs the bump family cannot be drawn.
        {"m.tbumptex", {kVP}, 4, "onetex"},
        {"m.tbumpgloss", {kVP}, 4, "tglossrust"},
        {"m.tbumpenv", {kVP}, 4, "tonetexnoalpha"},
        // "tglossrust" instead of "tbumpgloss", and without cube maps "onetex" instead of it.
        {"m.tbumpgloss", {kVP, kCube}, 4, "onetex"},
        {"m.tglossrust", {kCube}, 4, "onetex"},
        {"m.tmpfx", {}, 1, "onetex"},
    };
    for (const auto& c : cases) {
        Capabilities(c.lacking, c.units);
        std::shared_ptr<Kiv::Material> m = Find(c.type);
        ASSERT_NE(m, nullptr) << c.type;
        EXPECT_STREQ(m->GetPluginName(), c.made) << c.type;
        EXPECT_EQ(m->GetCreationType(), Kiv::PString(c.made)) << c.type;
        // The mesh writes back the type it asked for.
        EXPECT_EQ(m->GetTypeName(), Kiv::PString(c.type)) << c.type;
    }
    int code = 0;
    EXPECT_EQ(Find("m.glass", {}, &code), nullptr);
    EXPECT_EQ(code, Kiv::MaterialManager::kNotFound);
    // A plug-in that creates nothing (the bump family's cannot without a render kernel): the
    // type is known but not made.
    Display alone;
    for (int cap : {kVP, Display::kCapabilityPixelCombiners})
        alone.SetCapability(cap, true);
    Kiv::MaterialManager manager;
    manager.SetDisplay(&alone);
    Kiv::MaterialDescription d;
    d.typeName = Kiv::PString("m.tbumptex");
    EXPECT_EQ(manager.FindMaterial(d, &code), nullptr);
    EXPECT_EQ(code, Kiv::MaterialManager::kNotCreated);
}

TEST_F(MaterialDrawing, TexturesAreSetByNameFromTheMeshFolder) {
    Capabilities();
    std::shared_ptr<Kiv::Material> m =
        Find("m.tbumpgloss", {{0, Kiv::PString("Body.Texture"), 1.0f},
                              {8, Kiv::PString("normals.texture"), 1.0f},
                              {9, Kiv::PString("gloss.texture"), 1.0f}});
    ASSERT_NE(m, nullptr);
    for (uint32_t slot : {0u, 8u, 9u}) {
        Kiv::Texture* t = m->GetTexture(slot);
        ASSERT_NE(t, nullptr) << slot;
        EXPECT_EQ(t->GetWidth(), 8u);
        EXPECT_EQ(t->GetHeight(), 4u);
        EXPECT_EQ(t->GetNumLevels(), 4u);
        EXPECT_EQ(t->GetFormat(), Kiv::kTextureFormatARGB8888);
    }
    EXPECT_TRUE(m->IsLoaded());
    ASSERT_EQ(m->GetTextureRequests().size(), 3u);
    EXPECT_EQ(m->GetTextureRequests()[0].name, Kiv::PString("body.texture"));
    // A second material of the same description shares the textures: the two are equal.
    std::shared_ptr<Kiv::Material> again =
        Find("m.tbumpgloss", {{0, Kiv::PString("body.texture"), 1.0f},
                              {8, Kiv::PString("normals.texture"), 1.0f},
                              {9, Kiv::PString("gloss.texture"), 1.0f}});
    EXPECT_EQ(again->GetTexture(8), m->GetTexture(8));
    EXPECT_TRUE(again->Equals(*m));
    // DuplicateTexture gives the slot a texture of its own: no longer equal.
    EXPECT_TRUE(again->DuplicateTexture(9));
    EXPECT_NE(again->GetTexture(9), m->GetTexture(9));
    EXPECT_EQ(again->GetTexture(9)->GetWidth(), 8u);
    EXPECT_FALSE(again->Equals(*m));
    EXPECT_FALSE(again->DuplicateTexture(12));

    // Names that are missing, not texture files, outside the mesh's folder or links: no
    // texture, the slot keeps its name, the material is not loaded.
    std::filesystem::create_directory(folder.path + "/sub");
    folder.Write("sub/broken.texture", std::string("JIRF not really"));
    folder.Write("sub/inner.texture", TextureFile(4, 4));
    // The mesh lies in sub/; body.texture is in the folder above it.
    ASSERT_EQ(::symlink((folder.path + "/body.texture").c_str(),
                        (folder.path + "/sub/linked.texture").c_str()),
              0);
    const std::string absolute = folder.path + "/body.texture";
    for (const char* bad :
         {"missing.texture", "broken.texture", "../body.texture", "../sub/../body.texture",
          "..\\body.texture", absolute.c_str(), "linked.texture"}) {
        std::shared_ptr<Kiv::Material> b =
            Find("m.nofogtex", {{0, Kiv::PString(bad), 1.0f}}, nullptr, "sub");
        ASSERT_NE(b, nullptr) << bad;
        EXPECT_EQ(b->GetTexture(0), nullptr) << bad;
        EXPECT_FALSE(b->IsLoaded()) << bad;
        ASSERT_EQ(b->GetTextureRequests().size(), 1u);
        EXPECT_EQ(b->GetTextureRequests()[0].name, Kiv::PString(bad).ToLower());
    }
    // Names with folders, either separator.
    for (const char* inside : {"sub/inner.texture", "sub\\inner.texture"}) {
        std::shared_ptr<Kiv::Material> inner = Find("m.onetex", {{0, Kiv::PString(inside), 1.0f}});
        ASSERT_NE(inner->GetTexture(0), nullptr) << inside;
        EXPECT_EQ(inner->GetTexture(0)->GetWidth(), 4u);
    }
    // A slot the type does not have keeps its name for the mesh to write back.
    std::shared_ptr<Kiv::Material> onetex =
        Find("m.onetex", {{8, Kiv::PString("normals.texture"), 1.0f}});
    EXPECT_EQ(onetex->GetTexture(8), nullptr);
    ASSERT_EQ(onetex->GetTextureRequests().size(), 1u);
    EXPECT_EQ(onetex->GetTextureRequests()[0].slot, 8u);
}

TEST_F(MaterialDrawing, AMeshOfTheProgramsMaterialsDrawsWithWhatEachBound) {
    Capabilities();
    meshtesting::IdxmFile file;
    const struct {
        const char* type;
        std::vector<meshtesting::IdxmTexture> textures;
    } subs[] = {
        {"m.tbumptex", {{0, "body.texture", 1}, {8, "normals.texture", 1}}},
        {"m.tbumpgloss",
         {{0, "body.texture", 1}, {8, "normals.texture", 1}, {9, "gloss.texture", 1}}},
        {"m.nofogtex", {{0, "body.texture", 1}}},
    };
    for (const auto& s : subs) {
        meshtesting::IdxmSubMesh sub = meshtesting::QuadSubMesh();
        sub.material.typeName = s.type;
        sub.material.textures = s.textures;
        file.subMeshes.push_back(sub);
    }
    HalvexIndexedMeshDefinition def;
    def.OpenBytes(meshtesting::WriteIdxm(file), "quad.im");
    MeshLoadArgs args;
    args.ownerName = folder.path + "/quad.im";
    ASSERT_EQ(def.Load(&kernel.GetDisplay(), &kernel.GetMaterialManager(), args), 0u);
    ASSERT_EQ(def.GetNumSubMeshes(), 3u);

    Display& display = kernel.GetDisplay();
    display.GetStates().fogMode = 3;
    const Display::States before = display.GetStates();
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_STREQ(def.GetMaterial(i)->GetPluginName(), subs[i].type + 2);
        EXPECT_TRUE(def.GetMaterial(i)->RenderChunk(display, *def.GetChunk(i))) << i;
    }
    // Each material undid what it set (the one-texture base leaves its texture bound).
    const auto undone = [&] {
        Display::States now = display.GetStates();
        now.stage0 = nullptr;
        return now;
    };
    EXPECT_EQ(undone(), before);

    const auto calls = kernel.GetDrawCalls();
    const auto states = kernel.GetDrawStates();
    ASSERT_EQ(calls.size(), 3u);
    ASSERT_EQ(states.size(), 3u);
    for (uint32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(calls[i].primitive, Kiv::RenderKernel::Primitive::Triangles);
        EXPECT_EQ(calls[i].count, 6u);
        EXPECT_EQ(calls[i].vertices, def.GetChunk(i)->GetVertexBuffer());
        EXPECT_EQ(states[i].stage0, def.GetMaterial(i)->GetTexture(0));
        EXPECT_NE(states[i].stage0, nullptr);
    }
    auto* bump = dynamic_cast<Kiv::HalvexBumpMaterial*>(def.GetMaterial(0).get());
    auto* gloss = dynamic_cast<Kiv::HalvexBumpGlossMaterial*>(def.GetMaterial(1).get());
    ASSERT_NE(bump, nullptr);
    ASSERT_NE(gloss, nullptr);
    // The bump materials: the bump map on stage 1, the gloss map on stage 3, their
    // parallel-light programs current, fog as it was.
    EXPECT_EQ(states[0].stage1, bump->GetTexture(8));
    EXPECT_EQ(states[0].stage3, nullptr);
    EXPECT_EQ(states[0].vertexProgram, bump->GetPrograms().vertex.front()->GetId());
    EXPECT_EQ(states[0].program, bump->GetPrograms().pixel.front()->GetId());
    EXPECT_EQ(states[0].fogMode, 3u);
    EXPECT_EQ(states[1].stage1, gloss->GetTexture(8));
    EXPECT_EQ(states[1].stage3, gloss->GetTexture(9));
    EXPECT_EQ(states[1].program, gloss->GetPrograms().pixel.front()->GetId());
    EXPECT_NE(states[1].program, states[0].program);
    // No fog, blended with source alpha over the rest, culled, no programs.
    EXPECT_EQ(states[2].fogMode, 0u);
    EXPECT_TRUE(states[2].blending);
    EXPECT_EQ(states[2].sourceBlend, 4u);
    EXPECT_EQ(states[2].destinationBlend, 5u);
    EXPECT_EQ(states[2].cullMode, 1u);
    EXPECT_EQ(states[2].vertexProgram, 0u);
    EXPECT_EQ(states[2].stage1, nullptr);
    // Each draw made its textures resident: the bump ones with the shared texture.
    EXPECT_GE(bump->GetSharedTexture()->GetActivationCount(), 1u);
    EXPECT_GE(bump->GetTexture(8)->GetActivationCount(), 0u);
    EXPECT_GE(def.GetMaterial(2)->GetTexture(0)->GetActivationCount(), 3u);

    // A chunk drawn through given indices (as a cache draws sorted triangles).
    const uint16_t backwards[] = {3, 2, 0, 2, 1, 0};
    EXPECT_TRUE(def.GetMaterial(2)->RenderPrimitives(display, *def.GetChunk(2), backwards, 6));
    ASSERT_EQ(kernel.GetDrawCalls().size(), 4u);
    EXPECT_EQ(kernel.GetDrawStates()[3].fogMode, 0u);
    const uint16_t outside[] = {0, 1, 9};
    EXPECT_FALSE(def.GetMaterial(2)->RenderPrimitives(display, *def.GetChunk(2), outside, 3));
    EXPECT_EQ(kernel.GetDrawCalls().size(), 4u);
    EXPECT_EQ(undone(), before);
}

TEST_F(MaterialDrawing, GlossRustDrawsGlossOrRustByTheRustAge) {
    Capabilities();
    std::shared_ptr<Kiv::Material> m =
        Find("m.tglossrust",
             {{0, Kiv::PString("body.texture"), 1}, {9, Kiv::PString("gloss.texture"), 1}});
    auto* rust = dynamic_cast<Kiv::HalvexGlossRustMaterial*>(m.get());
    ASSERT_NE(rust, nullptr);
    Kiv::TextureCombiner* gloss = rust->GetCurrentProgram();
    const struct {
        const char* age;
        float value;
    } ages[] = {{nullptr, 0}, {"0", 0},    {"0.25", 0.25f}, {"3", 1},
                {"-1", 0},    {"rust", 0}, {"nan", 0}};
    for (const auto& a : ages) {
        if (a.age != nullptr) m->AddProperty("RustAge", a.age);
        EXPECT_FLOAT_EQ(rust->GetRustAge(), a.value) << (a.age ? a.age : "none");
        EXPECT_EQ(rust->GetCurrentProgram() == gloss, a.value == 0) << (a.age ? a.age : "none");
    }
    m->AddProperty("RustAge", "0.5");
    Kiv::TextureCombiner* rusty = rust->GetCurrentProgram();

    // The programs against their formulas, with the constants the material draws with: t0 the
    // bitmap (alpha: the gloss), t1 the reflection.
    const struct {
        Kiv::Vec4 bitmap, reflection;
        const char* age;
        Kiv::Vec4 expect;
    } pixels[] = {
        {{0.2f, 0.4f, 0.6f, 1}, {1, 0, 0, 1}, "0", {1, 0, 0, 1}},           // all reflection
        {{0.2f, 0.4f, 0.6f, 0}, {1, 0, 0, 1}, "0", {0.2f, 0.4f, 0.6f, 1}},  // none
        {{0.2f, 0.4f, 0.6f, 0.5f}, {1, 0, 0, 1}, "0", {0.6f, 0.2f, 0.3f, 1}},
        {{0.2f, 0.4f, 0.6f, 0}, {1, 0, 0, 1}, "1", {0.45f, 0.25f, 0.1f, 1}},  // all rust
        {{0.2f, 0.4f, 0.6f, 1}, {1, 0, 0, 1}, "1", {1, 0, 0, 1}},  // the gloss rusts nowhere
        // r = 0.5 x 0.5: a quarter rust over the half-reflected bitmap.
        {{0.2f, 0.4f, 0.6f, 0.5f},
         {1, 0, 0, 1},
         "0.5",
         {0.25f * 0.45f + 0.75f * 0.6f, 0.25f * 0.25f + 0.75f * 0.2f, 0.25f * 0.1f + 0.75f * 0.3f,
          1}},
    };
    for (const auto& p : pixels) {
        m->AddProperty("RustAge", p.age);
        Kiv::PixelProgramInputs in;
        in.textures[0] = p.bitmap;
        in.textures[1] = p.reflection;
        const Kiv::Vec4 got = rust->GetCurrentProgram()->Evaluate(in, rust->GetProgramConstants());
        for (int k = 0; k < 4; ++k)
            EXPECT_NEAR(got[k], p.expect[k], 1e-5f) << p.age << " " << k;
    }
    m->AddProperty("RustAge", "0.5");

    // Drawn with the current program and the reflection on stage 1; both cleared afterwards.
    HalvexIndexedMeshDefinition def;
    meshtesting::IdxmFile file;
    file.subMeshes.push_back(meshtesting::QuadSubMesh());
    def.OpenBytes(meshtesting::WriteIdxm(file), "quad.im");
    MeshLoadArgs args;
    args.ownerName = folder.path + "/quad.im";
    ASSERT_EQ(def.Load(&kernel.GetDisplay(), &kernel.GetMaterialManager(), args), 0u);
    ASSERT_TRUE(m->RenderChunk(kernel.GetDisplay(), *def.GetChunk(0)));
    const Display::States drawn = kernel.GetDrawStates().back();
    EXPECT_EQ(drawn.program, rusty->GetId());
    EXPECT_EQ(drawn.stage1, m->GetTexture(9));
    EXPECT_EQ(kernel.GetDisplay().GetStates().program, 0u);
    EXPECT_EQ(kernel.GetDisplay().GetStates().stage1, nullptr);

    // Copies keep the programs and the reflection; another rust age is another material.
    std::shared_ptr<Kiv::Material> copy = m->CreateInstance();
    EXPECT_STREQ(copy->GetPluginName(), "tglossrust");
    EXPECT_TRUE(copy->Equals(*m));
    copy->AddProperty("RustAge", "0.75");
    EXPECT_FALSE(copy->Equals(*m));
}

}  // namespace

namespace {

// The validator's dummy loads go through the plug-ins: the material is the plug-in's, and a
// plug-in that cannot have its programs makes the load fail (the validator logs it).
TEST_F(MaterialDrawing, DummyLoadsAreThePluginsMaterials) {
    Capabilities();
    for (const char* name : {"tbumptex", "tbumpgloss", "tglossrust", "nofogtex", "reflect"}) {
        Kiv::LoadedMaterial* loaded =
            Kiv::MaterialLoader::Load(std::string("HalvexDummyLoad.m.") + name);
        ASSERT_NE(loaded, nullptr) << name;
        ASSERT_NE(loaded->GetMaterial(), nullptr) << name;
        EXPECT_STREQ(loaded->GetMaterial()->GetPluginName(), name);
        loaded->ReleaseReference();
    }
    // "reflect" takes the shared texture in slot 9; "onetex" has no slot 9.
    Kiv::Texture* shared = Kiv::SharedTextureCollection::GetTexture(0);
    Kiv::LoadedMaterial* reflect = Kiv::MaterialLoader::Load("HalvexDummyLoad.m.reflect");
    EXPECT_TRUE(reflect->SetTexture(9, shared, 1.0f));
    EXPECT_EQ(reflect->GetMaterial()->GetTexture(9), shared);
    Kiv::LoadedMaterial* onetex = Kiv::MaterialLoader::Load("HalvexDummyLoad.m.onetex");
    EXPECT_FALSE(onetex->SetTexture(9, shared, 1.0f));
    reflect->ReleaseReference();
    onetex->ReleaseReference();
    shared->ReleaseReference();

    // A plug-in of its own, so that its programs are asked for here.
    ASSERT_TRUE(Kiv::MaterialPlugin::Register(
        std::make_shared<Kiv::HalvexBumpMaterialPlugin>(
            Kiv::HalvexBumpMaterialPlugin::Kind::Bump, "tbumpfresh",
            *Kiv::UId::Parse("E34011F3-C721-48ba-B3C0-19621E408C00"), nullptr),
        {}));
    Kiv::ProgramManagerBase::FailNextRequestsForTesting(1, 1);  // the second program
    EXPECT_EQ(Kiv::MaterialLoader::Load("HalvexDummyLoad.m.tbumpfresh"), nullptr);
    auto fresh = std::dynamic_pointer_cast<Kiv::HalvexBumpMaterialPlugin>(
        Kiv::MaterialPlugin::Find("tbumpfresh"));
    EXPECT_TRUE(fresh->GetPrograms().IsEmpty());  // the one it had was let go
    Kiv::LoadedMaterial* again = Kiv::MaterialLoader::Load("HalvexDummyLoad.m.tbumpfresh");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(fresh->GetPrograms().vertex.size(), 2u);
    again->ReleaseReference();
    Kiv::PluginBase::UnregisterPluginType(Kiv::MaterialPluginFamily(), "tbumpfresh");
}

}  // namespace

namespace {

// In a frame, blended chunks wait in the alpha-blend cache and are drawn after the opaque ones,
// farthest first, once; a frame never draws what an earlier one handed over.
TEST_F(MaterialDrawing, AFrameDrawsBlendedChunksAfterTheOpaqueOnesFarthestFirst) {
    Capabilities();
    // The viewer looks down -z from the origin; each quad lies at its depth in front of it.
    // "tmpfx" blends (its bitmap has alpha); "tbumpgloss" does not (its alpha is the gloss).
    const struct {
        const char* type;
        float depth;
    } subs[] = {{"m.tmpfx", 100}, {"m.tbumpgloss", 500}, {"m.tmpfx", 800}, {"m.tmpfx", 400}};
    meshtesting::IdxmFile file;
    for (const auto& s : subs) {
        meshtesting::IdxmSubMesh sub = meshtesting::QuadSubMesh();
        sub.material.typeName = s.type;
        sub.material.textures = {{0, "body.texture", 1},
                                 {8, "normals.texture", 1},
                                 {9, "gloss.texture", 1},
                                 {12, "gloss.texture", 1}};
        for (size_t v = 0; v < sub.geometry.vertices.size(); v += 5) {
            sub.geometry.vertices[v] -= 0.5f;
            sub.geometry.vertices[v + 1] -= 0.5f;
            sub.geometry.vertices[v + 2] = -s.depth;
        }
        file.subMeshes.push_back(sub);
    }
    HalvexIndexedMeshDefinition def;
    def.OpenBytes(meshtesting::WriteIdxm(file), "frame.im");
    MeshLoadArgs args;
    args.ownerName = folder.path + "/frame.im";
    ASSERT_EQ(def.Load(&kernel.GetDisplay(), &kernel.GetMaterialManager(), args), 0u);
    HalvexIndexedMeshInstance instance(&kernel);
    instance.Bind(nullptr, &def);
    ASSERT_EQ(instance.GetChunkCount(), 4u);
    Kiv::Camera camera;
    Kiv::ViewPoint view(&camera);

    auto frame = [&](bool end) {
        view.NextFrame();
        kernel.BeginFrame(view.GetCameraPosition());
        instance.Cull(view, instance.GetWorldMatrix());
        instance.Render(view, instance.GetStoredMatrix());
        if (end) kernel.EndFrame();
    };
    const auto vertices = [&](uint32_t chunk) {
        return instance.GetChunk(chunk)->GetVertexBuffer();
    };

    kernel.ClearDrawCalls();
    frame(false);
    // Only the opaque chunk is drawn while the instance renders.
    ASSERT_EQ(kernel.GetDrawCalls().size(), 1u);
    EXPECT_EQ(kernel.GetDrawCalls()[0].vertices, vertices(1));
    kernel.EndFrame();
    const auto calls = kernel.GetDrawCalls();
    const auto states = kernel.GetDrawStates();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_TRUE(states[0].depthWrite);
    // Then the blended ones, farthest first, blended over the rest without writing depth; the
    // near one (within the triangle-sort distance) through its sorted triangles.
    const uint32_t order[] = {2, 3, 0};
    for (uint32_t k = 0; k < 3; ++k) {
        EXPECT_EQ(calls[k + 1].vertices, vertices(order[k])) << k;
        EXPECT_EQ(calls[k + 1].count, 6u) << k;
        EXPECT_TRUE(states[k + 1].blending) << k;
        EXPECT_FALSE(states[k + 1].depthWrite) << k;
    }
    EXPECT_NE(calls[3].indices, instance.GetChunk(0)->GetIndexBuffer());
    EXPECT_EQ(calls[1].indices, instance.GetChunk(2)->GetIndexBuffer());
    EXPECT_TRUE(kernel.GetDisplay().GetStates().depthWrite);
    EXPECT_FALSE(kernel.GetDisplay().GetStates().blending);

    // Flushed once: another end draws nothing.
    kernel.EndFrame();
    EXPECT_EQ(kernel.GetDrawCalls().size(), 4u);

    // A frame that never ended leaves nothing behind for the next one.
    kernel.ClearDrawCalls();
    frame(false);
    frame(true);
    EXPECT_EQ(kernel.GetDrawCalls().size(), 2u + 3u);

    // Outside a frame, and in direct draws, a blended chunk is drawn at once.
    kernel.ClearDrawCalls();
    EXPECT_TRUE(instance.GetMaterial(0)->RenderChunk(kernel.GetDisplay(), *instance.GetChunk(0)));
    EXPECT_EQ(kernel.GetDrawCalls().size(), 1u);
    kernel.BeginFrame({});
    instance.DrawChunksDirect(view, false);
    EXPECT_EQ(kernel.GetDrawCalls().size(), 1u + 4u);
    kernel.EndFrame();
    EXPECT_EQ(kernel.GetDrawCalls().size(), 1u + 4u);
}

}  // namespace
