#include <gtest/gtest.h>

#include "mesh/lod_mesh_definition.h"
#include "mesh/mesh_test_support.h"
#include "mesh/testing/lod_writer.h"

namespace {

using meshtesting::IdxmFile;
using meshtesting::SampleLod;
using meshtesting::WriteIdxm;
using meshtesting::WriteImtxt;

// A folder with the sample's meshes: "near.im", "far.imtxt" (text), "hull.im".
struct LodTextFolder {
    MeshTempFolder dir;
    std::vector<meshtesting::LodLevel> levels = SampleLod(true);
    LodTextFolder() {
        dir.Write("near.im", WriteIdxm(levels[0].mesh));
        dir.Write("far.imtxt", WriteImtxt(levels[1].mesh));
        dir.Write("hull.im", WriteIdxm(levels[2].mesh));
    }
    uint32_t Load(HalvexIndexedMeshLODDefinition& def, const std::string& text, MeshTestEnv& env) {
        return def.LoadText(dir.Write("train.lm.txt", text), &env.display, &env.materials);
    }
};

const char* kText =
    "version 1.00\n"
    "mesh {\n"
    "  Collision { name hull.im animated yes }\n"
    "  0 { name near.im }\n"
    "  50.5 { name \"far.imtxt\" }\n"
    "}\n"
    "renderCutOff 900\n"
    "calcPoint NEAR\n";

TEST(LodMeshText, LoadsLevelsNamedMeshesAndSettingsAndWritesThemAsAFile) {
    LodTextFolder folder;
    MeshTestEnv env;
    HalvexIndexedMeshLODDefinition def;
    // A key the form does not know is passed over.
    ASSERT_EQ(folder.Load(def, std::string(kText) + "colour blue\n", env), 0u);
    EXPECT_EQ(def.GetDistances(), (std::vector<float>{0, 50.5f}));
    ASSERT_EQ(def.GetNamedMeshes().size(), 1u);
    EXPECT_EQ(def.GetNamedMeshes()[0].name.view(), "collision");
    EXPECT_EQ(def.GetNamedMeshes()[0].mesh, 2u);
    EXPECT_TRUE(def.GetNamedMeshes()[0].animated);
    EXPECT_EQ(def.GetCalcPoint(), HalvexIndexedMeshLODDefinition::kNear);
    EXPECT_EQ(def.GetMultiplier(), 1.0f);
    EXPECT_EQ(def.GetOffset(), 0.0f);
    EXPECT_EQ(def.GetAnimationCutOff(), 0.0f);
    EXPECT_EQ(def.GetRenderCutOff(), 900.0f);
    EXPECT_EQ(def.GetBones().size(), 2u);
    EXPECT_EQ(def.GetBones()[0].levels.size(), 3u);
    EXPECT_EQ(def.GetCullAttachments().size(), 1u);
    // The bounds are those of the mesh with the longest diagonal: the 3 m hull.
    EXPECT_EQ(def.GetBoundsMax(), (Kiv::Vector3{3, 3, 0}));
    // The indexed part is the last distance level.
    EXPECT_EQ(def.GetChunk(0), def.GetRecords()[1].chunks[0]);

    Kiv::MeshOutput out;
    ASSERT_EQ(def.Write(out), 0u);
    HalvexIndexedMeshLODDefinition back;
    back.OpenBytes(out.Bytes(), "train.lm");
    ASSERT_EQ(back.Load(&env.display, &env.materials), 0u);
    EXPECT_EQ(back.GetDistances(), def.GetDistances());
    EXPECT_EQ(back.GetNamedMeshes()[0].name, def.GetNamedMeshes()[0].name);
    EXPECT_EQ(back.GetNamedMeshes()[0].animated, true);
    EXPECT_EQ(back.GetMaterialTable().size(), 3u);
    EXPECT_EQ(back.GetBones().size(), 2u);
    EXPECT_EQ(back.GetBones()[1].levels[1], def.GetBones()[1].levels[1]);
    EXPECT_EQ(back.GetCullAttachments(), def.GetCullAttachments());
    EXPECT_EQ(back.GetNumAttachments(), 2u);
    EXPECT_EQ(back.GetRenderCutOff(), 900.0f);
    for (uint32_t m = 0; m < 3; ++m)
        EXPECT_EQ(back.GetRecords()[m].totalVertices, def.GetRecords()[m].totalVertices);
}

TEST(LodMeshText, TheFixtureWriterMakesTextsThatLoad) {
    MeshTempFolder dir;
    std::string path = meshtesting::WriteLodTextFolder(dir.path, "sample", SampleLod(false));
    ASSERT_FALSE(path.empty());
    MeshTestEnv env;
    HalvexIndexedMeshLODDefinition def;
    ASSERT_EQ(def.LoadText(path, &env.display, &env.materials), 0u);
    EXPECT_EQ(def.GetDistances(), (std::vector<float>{0, 50}));
    ASSERT_EQ(def.GetNamedMeshes().size(), 1u);
    EXPECT_EQ(def.GetNamedMeshes()[0].name.view(), "collision");
}

TEST(LodMeshText, BadTextsEndInTheirCodes) {
    struct Case {
        const char* label;
        std::string text;
        uint32_t expected;
    };
    std::vector<Case> cases = {
        {"unparsable", "mesh {", 2},
        {"version 1.01", "version 1.01\nmesh { 0 { name near.im } }", 4},
        {"no version", "mesh { 0 { name near.im } }", 4},
        {"no mesh group", "version 1.00\noffset 1", 3},
        {"empty mesh group", "version 1.00\nmesh { }", 3},
        {"equal distances", "version 1.00\nmesh { 0 { name near.im } 0.0 { name hull.im } }", 3},
        {"falling distances", "version 1.00\nmesh { 5 { name near.im } 1 { name hull.im } }", 3},
        {"only named meshes", "version 1.00\nmesh { collision { name hull.im } }", 3},
        {"missing mesh file", "version 1.00\nmesh { 0 { name none.im } }", 2},
        {"other attachment count", "version 1.00\nmesh { 0 { name near.im } 10 { name bare.im } }",
         3},
        {"empty key is distance 0", "version 1.00\nmesh { \"\" { name near.im } }", 0},
        {"calcPoint other", "version 1.00\nmesh { 0 { name near.im } }\ncalcPoint middle", 0},
    };
    LodTextFolder folder;
    IdxmFile bare = folder.levels[0].mesh;
    bare.attachments.reset();
    folder.dir.Write("bare.im", WriteIdxm(bare));
    for (const Case& c : cases) {
        MeshTestEnv env;
        HalvexIndexedMeshLODDefinition def;
        EXPECT_EQ(folder.Load(def, c.text, env), c.expected) << c.label;
        if (c.expected == 0) {
            EXPECT_EQ(def.GetCalcPoint(), 0u) << c.label;
        }
    }
}

}  // namespace
