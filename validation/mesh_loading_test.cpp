// The mesh checks over the mesh resources: meshes named by a configuration's tags are loaded by
// extension on the current render kernel, inspected, and what is wrong with them reported
// against their containers; LOD meshes of sub-containers get the performance advice; animations
// load onto the current mesh. Without registered mesh types the checks say once that they are
// not available.
#include <gtest/gtest.h>

#include <thread>

#include "configdata/config_text.h"
#include "foundation/main_thread.h"
#include "foundation/worker_queue.h"
#include "mesh/mesh_test_support.h"
#include "mesh/testing/idxm_writer.h"
#include "mesh/testing/lod_writer.h"
#include "platform/kiv/base/options.h"
#include "platform/kiv/display/render_kernel.h"
#include "platform/kiv/geom/kin_file.h"
#include "platform/kiv/res/resource_database.h"
#include "validation/config_upgrade.h"
#include "validation/mesh_data.h"
#include "validation/validation_test_support.h"

namespace {

using Rows = std::vector<std::string>;
using meshtesting::IdxmFile;

// Scenery and bogeys take the same tags; a bogey's parts get no performance advice.
constexpr const char* kInheritance = R"(
meshed
{
  subpossibilities
  {
    username { kind "value" type "string" }
    category-era { kind "value" type "string" }
    category-region { kind "value" type "string" }
    category-class { kind "value" type "string" }
    kind { kind "value" type "string" }
    halvex-build { kind "value" type "float" }
    mesh { kind "value" type "filepath" }
    anim { kind "value" type "filepath" }
    alias { kind "value" type "kuid" }
    part { kind "element" element-type "part" }
  }
}
)";
constexpr const char* kKinds = R"(
scenery { top-level "1" inherit { meshed "1" } }
bogey { top-level "1" inherit { meshed "1" } }
part
{
  subpossibilities
  {
    mesh { kind "value" type "filepath" }
    anim { kind "value" type "filepath" }
  }
}
)";

Kiv::ResourceDatabase* Acquire(const Kiv::PString& name, std::string_view folder) {
    return new Kiv::ResourceDatabase(name, folder);
}
void ReleaseDatabase(Kiv::ResourceDatabase* database) {
    delete database;
}

IdxmFile Quad() {
    IdxmFile f;
    f.subMeshes.push_back(meshtesting::QuadSubMesh());
    return f;
}

// A quad with attachment points of these names.
IdxmFile QuadWith(std::initializer_list<const char*> points) {
    IdxmFile f = Quad();
    std::vector<MeshAttachmentPoint> list;
    for (const char* name : points) {
        MeshAttachmentPoint p;
        p.name = Kiv::PString(name);
        list.push_back(p);
    }
    f.attachments = list;
    return f;
}

// A mesh of one sub-mesh drawing `count` triangles.
IdxmFile Triangles(int count) {
    IdxmFile f = Quad();
    meshtesting::IdxmGeometry& g = f.subMeshes[0].geometry;
    g.indices.clear();
    g.faceNormals.clear();
    for (int i = 0; i < count; ++i) {
        g.indices.insert(g.indices.end(), {0, 1, 2});
        g.faceNormals.insert(g.faceNormals.end(), {0, 0, 1});
    }
    g.faceCount = static_cast<uint32_t>(count);
    return f;
}

// LOD levels of those polygon counts, from 0 m on in steps of 100 m, with the points given and,
// when asked, a "collision" mesh of two triangles after them.
std::vector<meshtesting::LodLevel> Levels(const std::vector<int>& counts,
                                          const std::vector<MeshAttachmentPoint>& points,
                                          bool collision) {
    std::vector<meshtesting::LodLevel> levels;
    for (size_t k = 0; k < counts.size() + (collision ? 1 : 0); ++k) {
        meshtesting::LodLevel& level = levels.emplace_back();
        level.mesh = Triangles(k < counts.size() ? counts[k] : 2);
        if (!points.empty()) level.mesh.attachments = points;
        level.distance = 100.0f * static_cast<float>(k);
        if (k == counts.size()) level.name = "collision";
    }
    return levels;
}

meshtesting::IdxmBone Bone(const char* name) {
    meshtesting::IdxmBone b;
    b.name = name;
    return b;
}

class MeshChecks : public duvtest::Validator {
protected:
    void SetUp() override {
        Validator::SetUp();
        RecordMainThreadId();
        StartOn({{"inheritance.txt", kInheritance}, {"kind.txt", kKinds}, {"lists/empty.txt", ""}});
        saved_ = DUVLib::GetAssetFolderServices();
        DUVLib::AssetFolderServices services = saved_;
        services.acquire = Acquire;
        services.release = ReleaseDatabase;
        DUVLib::SetAssetFolderServices(services);
        Manager().LoadTemplates();
        Manager().SetValidationAssetFolder(Kiv::PString("local"), (dir / "asset"));
    }
    void TearDown() override {
        Manager().meshFailure = false;
        Manager().meshMessagesSuppressed = false;
        Manager().PurgeUnusedResources();
        // The data manager gives its database back through the test's services as it stops.
        Validator::TearDown();
        DUVLib::SetAssetFolderServices(saved_);
    }
    std::string Mesh(const std::string& name, const IdxmFile& file) {
        const std::vector<uint8_t> bytes = meshtesting::WriteIdxm(file);
        return dir.Write("asset/" + name, std::string(bytes.begin(), bytes.end()));
    }
    std::string Kin(const std::string& name, std::vector<const char*> bones, float length = 2.5f) {
        Kiv::KinAnimation a;
        a.length = length;
        for (const char* b : bones)
            a.bones.push_back({Kiv::PString(b), {Kiv::KinKey{}}});
        const std::vector<uint8_t> bytes = a.Write();
        return dir.Write("asset/" + name, std::string(bytes.begin(), bytes.end()));
    }
    // Checks the text as an asset's configuration; the builds of its text decide.
    Rows CheckRows(const std::string& config) {
        Manager().meshFailure = false;
        Manager().meshMessagesSuppressed = false;
        return Check(config).rows;
    }

    std::string Lod(const std::string& name, const std::vector<meshtesting::LodLevel>& levels) {
        const std::vector<uint8_t> bytes = meshtesting::WriteLodm(levels);
        return dir.Write("asset/" + name, std::string(bytes.begin(), bytes.end()));
    }

    MeshTestEngine engine_;

private:
    DUVLib::AssetFolderServices saved_;
};

constexpr const char* kNoAttachments =
    "W container:part Performance: this LOD mesh has no attachment points or animations: ";
constexpr const char* kSingle =
    "W container:part Performance: this LOD mesh has only one detail level: ";
constexpr const char* kLowPoly =
    "W container:part Performance: the last detail level of this LOD mesh has under 300 "
    "polygons: ";

TEST_F(MeshChecks, LODPerformanceAdvice) {
    struct Case {
        const char* name;
        std::vector<int> levels;
        bool collision;
        std::string config;
        Rows rows;
    };
    const std::string scenery = "kind scenery\nhalvex-build 3.6\n";
    // A "collision" mesh is no detail level: it neither hides a single level nor is counted.
    const std::vector<Case> cases = {
        {"all three, in order",
         {250},
         true,
         scenery + "part\n{\n  mesh a.lm\n}\n",
         {std::string(kNoAttachments) + "/a.lm", std::string(kSingle) + "/a.lm",
          std::string(kLowPoly) + "/a.lm"}},
        {"300 polygons at the last level are enough",
         {900, 300},
         false,
         scenery + "part\n{\n  mesh a.lm\n}\n",
         {std::string(kNoAttachments) + "/a.lm"}},
        {"the last level is the one counted",
         {900, 299},
         true,
         scenery + "part\n{\n  mesh a.lm\n}\n",
         {std::string(kNoAttachments) + "/a.lm", std::string(kLowPoly) + "/a.lm"}},
        {"attachment points", {900, 400}, false, scenery + "part\n{\n  mesh b.lm\n}\n", {}},
        {"a bogey's parts need no advice",
         {250},
         false,
         "kind bogey\nhalvex-build 3.6\npart\n{\n  mesh a.lm\n}\n",
         {}},
        {"a top-level mesh gets no checks", {250}, false, scenery + "mesh a.lm\n", {}},
        {"a text LOD definition loads without checks",
         {250},
         false,
         scenery + "part\n{\n  mesh a.lm.txt\n}\n",
         {}},
        {"an indexed text name gives nothing",
         {250},
         false,
         scenery + "part\n{\n  mesh a.im.txt\n}\n",
         {}},
    };
    for (const Case& c : cases) {
        Lod("a.lm", Levels(c.levels, {}, c.collision));
        Lod("b.lm", Levels(c.levels, *QuadWith({"a.x"}).attachments, c.collision));
        ASSERT_FALSE(
            meshtesting::WriteLodTextFolder(dir / "asset", "a", Levels(c.levels, {}, c.collision))
                .empty());
        EXPECT_EQ(CheckRows(c.config), c.rows) << c.name;
    }
}

TEST_F(MeshChecks, RealMeshesOfEveryFormLoad) {
    Mesh("i.im", Triangles(5));
    Lod("l.lm", Levels({40, 12}, *QuadWith({"a.x"}).attachments, true));
    ASSERT_FALSE(
        meshtesting::WriteLodTextFolder(dir / "asset", "t", Levels({7}, {}, false)).empty());
    MeshData* indexed = Manager().LoadMesh((dir / "asset/i.im"), nullptr);
    ASSERT_NE(indexed, nullptr);
    EXPECT_EQ(indexed->GetPolygonCount(), 5);
    auto* lod = dynamic_cast<LODMeshData*>(Manager().LoadMesh((dir / "asset/l.lm"), nullptr));
    ASSERT_NE(lod, nullptr);
    EXPECT_EQ(lod->GetLODCount(), 2u);
    EXPECT_EQ(lod->GetAttachmentPointCount(), 1u);
    lod->SelectLOD(1);
    EXPECT_EQ(lod->GetPolygonCount(), 12);
    auto* text = dynamic_cast<LODMeshData*>(Manager().LoadMesh((dir / "asset/t.lm.txt"), nullptr));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetLODCount(), 1u);
    EXPECT_EQ(duvtest::Rows(), Rows{});
}

TEST_F(MeshChecks, ProgressiveMeshesByBuildAndAnimationsBeforeAnyMesh) {
    Mesh("old.pm", Quad());
    const std::string unsupported = "Progressive meshes (.pm) are no longer supported.";
    EXPECT_EQ(CheckRows("kind scenery\nhalvex-build 2.85\nmesh old.pm\n"),
              (Rows{"W container:scenery " + unsupported}));
    EXPECT_EQ(CheckRows("kind scenery\nhalvex-build 2.9\nmesh old.pm\n"),
              (Rows{"E container:scenery " + unsupported}));

    Kin("walk.kin", {"root"});
    const Rows once = CheckRows("kind scenery\nhalvex-build 3.6\nanim walk.kin\n");
    const std::string before =
        "E container:scenery An animation cannot be loaded before its mesh: ";
    ASSERT_EQ(once.size(), 1u);
    EXPECT_EQ(once[0].substr(0, before.size()), before);
    EXPECT_EQ(once[0].substr(once[0].size() - 15), "/asset/walk.kin");
    // The flag stays set until the validation ends: a second one in the same run says nothing.
    DUVLib::ErrorHandler::Instance()->Clear();
    Manager().LoadMesh((dir / "asset/walk.kin"), nullptr);
    EXPECT_EQ(duvtest::Rows(), Rows{});
}

TEST_F(MeshChecks, InspectionOfALoadedMesh) {
    IdxmFile f = QuadWith({"a.plain", "left/deep/a.cut"});
    f.skeleton = Bone("root");
    f.skeleton->children.push_back(Bone("arm"));
    f.subMeshes[0].material.textures = {
        {0, "wood.texture", 0}, {1, "bark.txt", 0}, {2, "plain.tga", 0}, {3, "none.texture", 0}};
    meshtesting::IdxmSubMesh missing = meshtesting::QuadSubMesh();
    missing.material.typeName = "m.nosuchmaterial";
    f.subMeshes.push_back(missing);
    Mesh("m.im", f);
    dir.Write("asset/wood.texture.txt", "Width=2\r\nPrimary=wood.tga\r\n");
    dir.Write("asset/bark.txt", std::string(600, 'x') + "\nPrimary=bark.tga");
    dir.Write("asset/bark.tga", "");

    MeshData* mesh = Manager().LoadMesh((dir / "asset/m.im"), nullptr);
    ASSERT_NE(mesh, nullptr);
    EXPECT_TRUE(mesh->IsLoaded());
    EXPECT_EQ(mesh->GetName().str(), "some name");
    ASSERT_EQ(mesh->GetAttachmentPointCount(), 2u);
    EXPECT_EQ(mesh->GetAttachmentPoints()[0].name.str(), "a.plain");
    EXPECT_EQ(mesh->GetAttachmentPoints()[1].name.str(), "a.cut");
    ASSERT_EQ(mesh->GetChildParticles().size(), 1u);
    EXPECT_EQ(mesh->GetChildParticles()[0].name.str(), "arm");
    EXPECT_EQ(mesh->GetPolygonCount(), 4);
    EXPECT_EQ(Manager().GetCurrentMesh(), mesh);
    EXPECT_EQ(mesh->GetFlags() & Kiv::Particle::kFlagShown, Kiv::Particle::kFlagShown);
    const Rows rows = duvtest::Rows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "E - Material 'm.nosuchmaterial' of mesh 'm.im' could not be loaded.");
    EXPECT_EQ(rows[1].substr(0, 31), "E - Image 'wood.tga' is missing");

    // A second mesh of the same container replaces it; the current one is hidden first.
    Mesh("n.im", Quad());
    MeshData* next = Manager().LoadMesh((dir / "asset/n.im"), nullptr);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(Manager().GetCurrentMesh(), next);
}

TEST_F(MeshChecks, AnimationsOnTheCurrentMesh) {
    IdxmFile f = Quad();
    f.skeleton = Bone("root");
    f.skeleton->children.push_back(Bone("arm"));
    Mesh("body.im", f);
    Mesh("flat.im", Quad());
    Kin("wave.kin", {"arm"}, 1.5f);
    Kin("kick.kin", {"leg"});
    dir.Write("asset/broken.kin", "KIN1");

    MeshData* mesh = Manager().LoadMesh((dir / "asset/body.im"), nullptr);
    ASSERT_NE(mesh, nullptr);
    EXPECT_TRUE(mesh->LoadAnimation(Kiv::PString((dir / "asset/wave.kin"))));
    ASSERT_EQ(mesh->GetAnimations().size(), 1u);
    EXPECT_EQ(mesh->GetAnimations()[0].length, 1.5f);
    struct Case {
        const char* file;
        const char* text;
    };
    for (const Case& c :
         {Case{"kick.kin", "does not fit the mesh's skeleton."},
          Case{"broken.kin", "could not be loaded."}, Case{"none.kin", "could not be loaded."}}) {
        DUVLib::ErrorHandler::Instance()->Clear();
        EXPECT_FALSE(mesh->LoadAnimation(Kiv::PString(dir / (std::string("asset/") + c.file))))
            << c.file;
        const Rows rows = duvtest::Rows();
        ASSERT_EQ(rows.size(), 1u) << c.file;
        EXPECT_NE(rows[0].find(c.text), std::string::npos) << rows[0];
    }
    EXPECT_EQ(mesh->GetAnimations().size(), 1u);

    // A mesh without bones has nothing to animate.
    MeshData* flat = Manager().LoadMesh((dir / "asset/flat.im"), nullptr);
    ASSERT_NE(flat, nullptr);
    DUVLib::ErrorHandler::Instance()->Clear();
    EXPECT_FALSE(flat->LoadAnimation(Kiv::PString((dir / "asset/wave.kin"))));
    ASSERT_EQ(duvtest::Rows().size(), 1u);
    EXPECT_NE(duvtest::Rows()[0].find("could not be attached"), std::string::npos);
}

TEST_F(MeshChecks, ResourcesThatDoNotLoad) {
    dir.Write("asset/bad.im", "JIRF");
    // A whole mesh beside the asset's folder: it would load if it were opened.
    const std::vector<uint8_t> outside = meshtesting::WriteIdxm(Quad());
    dir.Write("outside.im", std::string(outside.begin(), outside.end()));
    const std::string scenery = "kind scenery\nhalvex-build 3.6\n";
    EXPECT_EQ(CheckRows(scenery + "mesh missing.im\n"),
              (Rows{"E container:scenery Mesh 'missing.im' could not be loaded."}));
    EXPECT_EQ(CheckRows(scenery + "mesh bad.im\n").size(), 1u);
    // Names that leave the asset's folder are not opened.
    for (const char* name : {"../outside.im", "a/../../outside.im"})
        EXPECT_EQ(CheckRows(scenery + "mesh " + name + "\n").size(), 1u) << name;
    // A "%" in a name is a character like any other.
    EXPECT_EQ(CheckRows(scenery + "mesh %s%n.im\n"),
              (Rows{"E container:scenery Mesh '%s%n.im' could not be loaded."}));
    EXPECT_EQ(CheckRows(scenery + "mesh " + std::string(3000, 'a') + ".im\n").size(), 1u);
    // With "alias" nothing about meshes is said.
    EXPECT_EQ(CheckRows(scenery + "alias <kuid:1:2>\nmesh missing.im\n"),
              (Rows{"W - This asset has an 'alias' tag, so mesh problems are not reported."}));
}

TEST_F(MeshChecks, TheBodiesRunOnTheMainThreadWhileTheValidatingThreadWaits) {
    Mesh("m.im", Quad());
    MeshData* loaded = nullptr;
    std::atomic<bool> done{false};
    std::thread validating([&] {
        loaded = Manager().LoadMesh((dir / "asset/m.im"), nullptr);
        done = true;
    });
    while (!done)
        WorkerCallQueue::Instance().RunPending(0);
    validating.join();
    EXPECT_NE(loaded, nullptr);
}

class NoMeshTypes : public MeshChecks {
protected:
    void SetUp() override {
        MeshChecks::SetUp();
        UnregisterMeshResourceTypes();
    }
};

TEST_F(NoMeshTypes, TheChecksSayOnceThatTheyAreNotAvailable) {
    const Rows rows =
        CheckRows("kind scenery\nhalvex-build 2.8\nmesh a.pm\npart\n{\n  mesh b.pm\n}\n");
    EXPECT_EQ(rows, (Rows{"W container:scenery Progressive meshes (.pm) are no longer supported.",
                          "W - mesh checks are not available in this build",
                          "W container:part Progressive meshes (.pm) are no longer supported."}));
}

// --- the upgrade's builders that read meshes --------------------------------------------------

class UpgradeWithMeshes : public MeshChecks {
protected:
    std::string Upgrade(const std::string& in) {
        Manager().SetBuild(2.801f);
        TDBTagRef tree;
        EXPECT_TRUE(ParseTagTreeText(tree, in, true));
        UpgradeConfig(tree);
        std::string out;
        EXPECT_TRUE(AppendTagTreeText(tree, out));
        return out;
    }
    std::string Form(const std::string& text) {
        TDBTagRef tree;
        EXPECT_TRUE(ParseTagTreeText(tree, text, true));
        std::string out;
        EXPECT_TRUE(AppendTagTreeText(tree, out));
        return out;
    }
};

constexpr const char* kSettled =
    "username \"u\"\ncategory-era \"1950s\"\ncategory-class \"ZX\"\ncategory-region \"AU\"\n";

std::string Entry(const char* name, const char* kuid, const char* a, const char* b, int adjoining) {
    return std::string(name) + "\n{\ntrack " + kuid + "\nvertices\n{\n0 \"" + a + "\"\n1 \"" + b +
           "\"\n}\nuseadjoiningtracktype " + std::to_string(adjoining) + "\n}\n";
}

TEST_F(UpgradeWithMeshes, TurntableTracksFromBothMeshes) {
    IdxmFile pit = QuadWith(
        {"a.otrack0a", "a.otrack0b", "a.otrack1a", "a.otrack1b", "a.otrack3a", "a.otrack3b"});
    Mesh("pit/pit.im", pit);
    IdxmFile deck = QuadWith({"a.itrack0a", "a.itrack0b"});
    Mesh("deck/deck.im", deck);
    const std::string out = Upgrade(std::string("kind \"turntable\"\nasset-filename \"t\"\n") +
                                    "mode0 \"pit\"\nmode1 \"deck\"\ntrack <kuid:1:7>\n" + kSettled);
    EXPECT_EQ(out, Form(std::string("kind \"turntable\"\n") + kSettled +
                        "mesh-table\n{\ndefault\n{\nmesh \"pit/pit.im\"\nauto-create 1\n}\n"
                        "turntable\n{\nmesh \"deck/deck.im\"\n}\n}\nattached-track\n{\n" +
                        Entry("tracko1", "<kuid:1:7>", "a.otrack0a", "a.otrack0b", 0) +
                        Entry("tracko2", "<kuid:1:7>", "a.otrack1a", "a.otrack1b", 0) +
                        Entry("tracki1", "<kuid:1:7>", "a.itrack0a", "a.itrack0b", 0) +
                        "}\nhalvex-build 2.9\n"));
    EXPECT_EQ(duvtest::Rows(), Rows{});
}

TEST_F(UpgradeWithMeshes, CrossingTracksAndRoads) {
    IdxmFile gate = QuadWith({"a.road0a", "a.road0b", "a.road1a", "a.track0a", "a.track0b"});
    Mesh("gate/gate.im", gate);
    const std::string out =
        Upgrade(std::string("kind \"mocrossing\"\nasset-filename \"c\"\nmode0 \"gate\"\n") +
                "track <kuid:1:7>\nroad <kuid:1:8>\n" + kSettled);
    EXPECT_EQ(out, Form(std::string("kind \"mocrossing\"\n") + kSettled +
                        "mesh-table\n{\ndefault\n{\nmesh \"gate/gate.im\"\n"
                        "anim \"gate/anim.kin\"\nauto-create 1\n}\n}\nattached-track\n{\n" +
                        Entry("road1", "<kuid:1:8>", "a.road0a", "a.road0b", 1) +
                        Entry("track1", "<kuid:1:7>", "a.track0a", "a.track0b", 1) +
                        "}\nhalvex-build 2.9\n"));
}

TEST_F(UpgradeWithMeshes, SceneryNameEffectsCountFromZero) {
    IdxmFile house = QuadWith({"a.name0", "a.name2"});
    Mesh("house.im", house);
    const std::string out =
        Upgrade(std::string("kind \"scenery\"\nasset-filename \"house\"\nfontsize 3\n") + kSettled);
    EXPECT_EQ(out, Form(std::string("kind \"scenery\"\n") + kSettled +
                        "mesh-table\n{\ndefault\n{\nauto-create 1\nmesh \"house.im\"\n"
                        "effects\n{\n0\n{\nkind \"name\"\natt \"a.name0\"\nfontsize \"3\"\n"
                        "name \"name\"\n}\n}\n}\n}\nhalvex-build 2.9\n"));
}

}  // namespace
