#include <gtest/gtest.h>

#include "mesh/indexed_mesh_definition.h"
#include "mesh/mesh_test_support.h"

namespace {

using meshtesting::IdxmFile;
using meshtesting::QuadSubMesh;
using meshtesting::WriteIdxm;
using meshtesting::WriteImtxt;

IdxmFile SkinnedQuad() {
    IdxmFile f;
    f.subMeshes.push_back(QuadSubMesh());
    f.subMeshes[0].material.properties = {{"shine", "yes"}};
    f.position = {1, 2, 3};
    f.orientation = {0, 0, 0.6f, 0.8f};
    MeshInfluence root;
    root.name = "root";
    root.groups = {{0, {{0, 1.0f, {}}, {1, 0.5f, {}}}}};
    f.influences = std::vector<MeshInfluence>{root};
    f.attachments = std::vector<MeshAttachmentPoint>(1);
    (*f.attachments)[0].name = Kiv::PString("a.lamp");
    (*f.attachments)[0].position = {4, 5, 6};
    return f;
}

// The text form of a mesh gives the geometry its file gives.
TEST(IndexedMeshConfig, TextGivesTheGeometryOfTheFile) {
    MeshTestEnv env;
    IdxmFile f = SkinnedQuad();
    HalvexIndexedMeshDefinition fromFile, fromText;
    ASSERT_EQ(env.Load(fromFile, WriteIdxm(f)), 0u);
    MeshTempFolder dir;
    std::string path = dir.Write("quad.imtxt", WriteImtxt(f));
    ASSERT_EQ(fromText.LoadConfigFile(path, &env.display, &env.materials), 0u);

    EXPECT_EQ(fromText.GetName().view(), path);
    EXPECT_EQ(fromText.GetPosition(), fromFile.GetPosition());
    EXPECT_EQ(fromText.GetOrientation(), fromFile.GetOrientation());
    ASSERT_EQ(fromText.GetNumSubMeshes(), 1u);
    EXPECT_EQ(fromText.GetVertexCount(0), 4u);
    EXPECT_EQ(fromText.GetIndexCount(0), 6u);
    std::vector<float> a(12), b(12);
    fromFile.CopyPositions(0, {12, a.data()});
    fromText.CopyPositions(0, {12, b.data()});
    EXPECT_EQ(a, b);
    std::vector<uint16_t> ia(6), ib(6);
    fromFile.CopyIndices(0, ia.data());
    fromText.CopyIndices(0, ib.data());
    EXPECT_EQ(ia, ib);
    EXPECT_EQ(fromText.GetBoundsMax(), fromFile.GetBoundsMax());
    EXPECT_FLOAT_EQ(fromText.GetTexelScale(), fromFile.GetTexelScale());
    EXPECT_EQ(fromText.GetNumInfluences(), 1u);
    EXPECT_EQ(fromText.GetInfluences()[0].groups, fromFile.GetInfluences()[0].groups);
    ASSERT_NE(fromText.GetSkeleton(), nullptr);
    EXPECT_EQ(fromText.GetAttachmentName(0).view(), "a.lamp");
    EXPECT_EQ(fromText.GetAttachmentPosition(0), (Kiv::Vector3{4, 5, 6}));
    // The configured material: its properties, and a name made unique for the mesh.
    auto text = fromText.GetMaterialPropertyText(0, Kiv::PString("shine"), true);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text.get(), "yes");
    std::string base, hex, name;
    EXPECT_TRUE(Kiv::MaterialManager::SplitDecoratedMaterialName(
        fromText.GetMaterial(0)->GetRequestName().view(), &base, &hex, &name));
    EXPECT_EQ(base, "quad");
    EXPECT_FLOAT_EQ(fromText.GetMaterial(0)->GetDisplayMaterial().power, 10 * 128.0f);
}

TEST(IndexedMeshConfig, BadTextsEndInTheirCodes) {
    const std::string good = WriteImtxt(SkinnedQuad());
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string t = good;
        size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? t : t.replace(at, from.size(), to);
    };
    struct Case {
        const char* label;
        std::string text;
        uint32_t expected;
    };
    std::vector<Case> cases = {
        {"loads", good, 0},
        {"syntax", good + "\n}", 3},
        {"version", replace("version 1.00", "version x"), 4},
        {"no chunk", "version 1.00\n", 3},
        {"no vertices", replace("positions \"", "positions \"\" old \""), 3},
        {"index past the vertices", replace("indices \"0", "indices \"4"), 3},
        {"unknown material type", replace("type \"m.onetex\"", "type \"m.glass\""), 7},
        {"material type known, not made", replace("type \"m.onetex\"", "type \"m.broken\""), 6},
        {"texture set short", replace("texcoords \"0 0", "texcoords \"0"), 3},
        {"primitive bits", replace("primitive 4", "primitive 3"), 3},
    };
    MeshTempFolder dir;
    for (const Case& c : cases) {
        MeshTestEnv env;
        HalvexIndexedMeshDefinition def;
        EXPECT_EQ(def.LoadConfigFile(dir.Write("m.imtxt", c.text), &env.display, &env.materials),
                  c.expected)
            << c.label;
    }
    MeshTestEnv env;
    HalvexIndexedMeshDefinition def;
    EXPECT_EQ(def.LoadConfigFile(dir.path + "/missing.imtxt", &env.display, &env.materials), 2u);
    EXPECT_EQ(def.LoadConfigFile(dir.Write("m.imtxt", good), &env.display, nullptr), 5u);
}

TEST(IndexedMeshConfig, MaterialConfigurationChoosesTheFirstUsableMaterial) {
    Kiv::ConfigParser parser;
    ASSERT_EQ(parser.ParseText("Mesh { SoftwareLighting 1 DynamicIndex 0 }\n"
                               "Material { Name fancy Extension \"GL_shader GL_bump\" }\n"
                               "Material { Name plain Extension GL_shader power 4 }\n"),
              Kiv::ConfigParser::kOk);
    Kiv::Display display;
    display.AddExtension("GL_shader");
    MeshMaterialConfig config;
    MaterialSpec spec;
    ASSERT_TRUE(ReadMaterialConfig(parser.GetData(), display, &config, &spec));
    EXPECT_EQ(spec.requestName.view(), "plain");
    EXPECT_EQ(spec.display.power, 4.0f);
    EXPECT_TRUE(config.softwareLighting.IsSet());
    EXPECT_EQ(config.dynamicIndex.present, 1);
    EXPECT_EQ(config.dynamicIndex.value, 0);
    EXPECT_EQ(config.softwareAnimation.present, 0);
    display.AddExtension("GL_bump");
    ASSERT_TRUE(ReadMaterialConfig(parser.GetData(), display, &config, &spec));
    EXPECT_EQ(spec.requestName.view(), "fancy");
}

}  // namespace
