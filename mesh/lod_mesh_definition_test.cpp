#include "mesh/lod_mesh_definition.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/kiv/display/render_kernel.h"

#include "mesh/mesh_test_support.h"
#include "mesh/testing/lod_writer.h"

namespace {

using meshtesting::BuildLod;
using meshtesting::IdxmBone;
using meshtesting::LodLevel;
using meshtesting::QuadSubMesh;
using meshtesting::SampleLod;
using meshtesting::WriteLodm;

uint32_t LoadLod(MeshTestEnv& env, HalvexIndexedMeshLODDefinition& def,
                 const std::vector<uint8_t>& bytes, const MeshLoadArgs& args = {}) {
    def.OpenBytes(bytes, "meshes/train.lm");
    return def.Load(&env.display, &env.materials, args);
}

std::vector<uint8_t> Rewrite(HalvexIndexedMeshLODDefinition& def) {
    Kiv::MeshOutput out;
    EXPECT_EQ(def.Write(out), 0u);
    return out.Take();
}

// The offset of the n-th (0-based) occurrence of an id.
size_t FindNth(const std::vector<uint8_t>& bytes, const char* id, int n) {
    size_t at = FindId(bytes, id);
    while (n-- > 0 && at < bytes.size())
        at = FindId(bytes, id, at + 1);
    return at;
}

// The bytes with a chunk of `donor` (whole, from its id) inserted at `at`; the container's size
// grows with it.
std::vector<uint8_t> Insert(std::vector<uint8_t> bytes, size_t at,
                            const std::vector<uint8_t>& donor, const char* id) {
    size_t from = FindId(donor, id);
    size_t length = 8 + GetU32(donor, from + 4);
    bytes.insert(bytes.begin() + at, donor.begin() + from, donor.begin() + from + length);
    PutU32(bytes, 4, GetU32(bytes, 4) + static_cast<uint32_t>(length));
    return bytes;
}

TEST(LodMeshFile, WrittenFilesReadBackWithEverythingTheyHeld) {
    for (bool skinned : {false, true}) {
        SCOPED_TRACE(skinned ? "skinned" : "plain");
        MeshTestEnv env;
        HalvexIndexedMeshLODDefinition built;
        ASSERT_EQ(BuildLod(SampleLod(skinned), built, &env.display, &env.materials), 0u);
        built.SetViewSettings(HalvexIndexedMeshLODDefinition::kFar, 1.5f, 2.0f, 30, 400, 60);
        std::vector<uint8_t> bytes = Rewrite(built);

        HalvexIndexedMeshLODDefinition def;
        ASSERT_EQ(LoadLod(env, def, bytes), 0u);
        EXPECT_EQ(def.GetNumMeshes(), 3u);
        EXPECT_EQ(def.GetDistances(), (std::vector<float>{0, 50}));
        ASSERT_EQ(def.GetNamedMeshes().size(), 1u);
        EXPECT_EQ(def.GetNamedMeshes()[0].name.view(), "collision");
        EXPECT_EQ(def.GetNamedMeshes()[0].mesh, 2u);
        EXPECT_EQ(def.GetCalcPoint(), 2u);
        EXPECT_EQ(def.GetOffset(), 1.5f);
        EXPECT_EQ(def.GetMultiplier(), 2.0f);
        EXPECT_EQ(def.GetAnimationCutOff(), 30.0f);
        EXPECT_EQ(def.GetRenderCutOff(), 400.0f);
        EXPECT_EQ(def.GetAttachmentCutOff(), 60.0f);
        // Each mesh file made its own material: the table holds them in order of first use.
        ASSERT_EQ(def.GetMaterialTable().size(), 3u);
        for (size_t k = 0; k < 3; ++k) {
            const LodRecord& r = def.GetRecords()[k];
            ASSERT_EQ(r.chunks.size(), 1u);
            EXPECT_EQ(r.materials[0], def.GetMaterialTable()[k]);
            EXPECT_EQ(r.chunks[0]->GetNumFaceNeighbors(), 2u);
            EXPECT_EQ(r.totalVertices, 4u);
            EXPECT_EQ(r.totalFaces, 2u);
        }
        // The cull attachment comes back under its own name, and in the cull list.
        ASSERT_EQ(def.GetNumAttachments(), 2u);
        EXPECT_EQ(def.GetAttachmentName(0).view(), "a.lamp");
        EXPECT_EQ(def.GetAttachmentPosition(0), (Kiv::Vector3{1, 2, 3}));
        ASSERT_EQ(def.GetCullAttachments().size(), 1u);
        EXPECT_EQ(def.GetCullAttachments()[0].view(), "a.lamp");
        EXPECT_NE(FindId(bytes, "a.lamp:Cull"), bytes.size());
        // Bounds of the coarsest distance level (the 1 m quad); the indexed part is that level.
        EXPECT_EQ(def.GetBoundsMax(), (Kiv::Vector3{1, 1, 0}));
        EXPECT_EQ(def.GetNumSubMeshes(), 1u);
        EXPECT_EQ(def.GetChunk(0), def.GetRecords()[1].chunks[0]);
        EXPECT_EQ(def.GetName().view(), "train.lm");
        if (skinned) {
            ASSERT_EQ(def.GetBones().size(), 2u);
            EXPECT_EQ(def.GetBones()[1].parentName, "root");
            ASSERT_EQ(def.GetBones()[0].levels.size(), 3u);
            EXPECT_EQ(def.GetBones()[0].levels[1], built.GetBones()[0].levels[1]);
            ASSERT_NE(def.GetSkeleton(), nullptr);
            EXPECT_EQ(def.GetSkeleton()->CountAll(), 2u);
            EXPECT_EQ(GetU32(bytes, FindId(bytes, "MESH") + 16), 2u);  // weights a vertex
            EXPECT_EQ(GetU32(bytes, FindId(bytes, "MESH") + 20), 2u);  // bones a chunk
        } else {
            EXPECT_EQ(FindId(bytes, "BONT"), bytes.size());
            EXPECT_EQ(FindId(bytes, "LODB"), bytes.size());
        }
        // Written again, the same bytes.
        EXPECT_EQ(Rewrite(def), bytes);
    }
}

TEST(LodMeshFile, BoneTreeWithoutTableIsWrittenAsRbot) {
    auto levels = SampleLod(false);
    IdxmBone root{"root", {0, 1, 0}, {}, {}};
    root.children.push_back({"arm", {1, 0, 0}, {0, 0, 1, 0}, {{"hand", {}, {}, {}}}});
    for (auto& l : levels)
        l.mesh.skeleton = root;
    std::vector<uint8_t> bytes = WriteLodm(levels);
    ASSERT_NE(FindId(bytes, "RBOT"), bytes.size());
    EXPECT_EQ(GetU32(bytes, FindId(bytes, "RBOT") + 12), 3u);

    MeshTestEnv env;
    HalvexIndexedMeshLODDefinition def;
    ASSERT_EQ(LoadLod(env, def, bytes), 0u);
    ASSERT_NE(def.GetSkeleton(), nullptr);
    EXPECT_EQ(def.GetSkeleton()->CountAll(), 3u);
    const Kiv::Particle* hand =
        const_cast<Kiv::Particle*>(def.GetSkeleton())->FindByName(Kiv::PString("hand"));
    ASSERT_NE(hand, nullptr);
    EXPECT_EQ(hand->GetParent()->GetName().view(), "arm");
    EXPECT_EQ(Rewrite(def), bytes);
}

TEST(LodMeshFile, NothingIsWrittenWithoutMeshes) {
    HalvexIndexedMeshLODDefinition def;
    Kiv::MeshOutput out;
    EXPECT_EQ(def.Write(out), 1u);
    EXPECT_TRUE(out.Bytes().empty());
}

TEST(LodMeshFile, LoadsEndInTheirResultCodes) {
    const std::vector<uint8_t> good = WriteLodm(SampleLod(true));
    ASSERT_FALSE(good.empty());
    const size_t firstMesh = FindNth(good, "MESH", 0), secondMesh = FindNth(good, "MESH", 1);
    auto distanceAt = [](size_t mesh) { return mesh + 24; };
    auto patch = [&](size_t at, uint32_t value) {
        auto b = good;
        PutU32(b, at, value);
        return b;
    };
    auto patchF = [&](size_t at, float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        return patch(at, bits);
    };
    std::vector<uint8_t> rbotDonor;
    {
        auto levels = SampleLod(false);
        for (auto& l : levels)
            l.mesh.skeleton = IdxmBone{"root", {}, {}, {{"leaf", {}, {}, {}}}};
        rbotDonor = WriteLodm(levels);
    }
    struct Case {
        const char* label;
        uint32_t expected;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases = {
        {"loads", 0, good},
        {"equal distances load", 0, patchF(distanceAt(secondMesh), 0.0f)},
        {"no data", 2, {}},
        {"lower-case magic", 3,
         [&] {
             auto b = good;
             b[0] = 'j';
             return b;
         }()},
        {"an indexed mesh", 3, WriteIdxm(meshtesting::IdxmFile{})},
        {"container one byte short", 3, patch(4, GetU32(good, 4) - 1)},
        {"distances decrease", 3, patchF(distanceAt(firstMesh), 60.0f)},
        {"named mesh before a distance level", 3, patchF(distanceAt(firstMesh), -1.0f)},
        {"named mesh index past the meshes", 3,
         [&] {
             // The third mesh a distance level, so that only the named index is wrong.
             auto b = patchF(distanceAt(FindNth(good, "MESH", 2)), 70.0f);
             PutU32(b, FindId(b, "INFO") + 72, 3);
             return b;
         }()},
        {"material index past the table", 3, patch(FindId(good, "LCHK") + 16, 3)},
        {"chunk index past the record", 3, patch(FindId(good, "LCHK") + 12, 1)},
        {"MATL 102", 4, patch(FindId(good, "MATL") + 8, 102)},
        {"INFO 101", 4, patch(FindId(good, "INFO") + 8, 101)},
        {"MESH 101", 4, patch(firstMesh + 8, 101)},
        {"LODB 101", 4, patch(FindId(good, "LODB") + 8, 101)},
        {"GEOM one version past", 4, patch(FindId(good, "GEOM") + 8, 202)},
        {"huge mesh count", 3, patch(FindId(good, "INFO") + 12 + 28, 0x10000000)},
        {"huge material count", 3, patch(FindId(good, "MATT") + 12, 0x10000000)},
        {"huge bone count", 3, patch(FindId(good, "BONT") + 12, 0x10000000)},
        {"huge weight count", 3, patch(FindId(good, "LODB") + 12 + 8, 0x10000000)},
        {"both BONT and RBOT load", 0, Insert(good, FindId(good, "ATCH"), rbotDonor, "RBOT")},
    };
    {
        // A tree node whose parent is named nowhere.
        auto b = rbotDonor;
        size_t parent = FindId(b, "root", FindId(b, "RBOT") + 20);
        b[parent + 3] = 'x';
        cases.push_back({"tree parent named nowhere", 3, b});
        // Only named meshes: the one distance level becomes a named one.
        auto levels = SampleLod(false);
        levels.resize(1);
        levels[0].name = "collision";
        cases.push_back({"only named meshes", 3, WriteLodm(levels)});
    }
    for (const Case& c : cases) {
        MeshTestEnv env;
        HalvexIndexedMeshLODDefinition def;
        EXPECT_EQ(LoadLod(env, def, c.bytes), c.expected) << c.label;
    }
    MeshTestEnv env;
    HalvexIndexedMeshLODDefinition def;
    def.OpenBytes(good);
    EXPECT_EQ(def.Load(&env.display, nullptr), 5u);
}

TEST(LodMeshFile, TruncatedFilesNeverLoad) {
    const std::vector<uint8_t> good = WriteLodm(SampleLod(true));
    for (size_t n = 0; n < good.size(); ++n) {
        MeshTestEnv env;
        HalvexIndexedMeshLODDefinition def;
        auto b = std::vector<uint8_t>(good.begin(), good.begin() + n);
        EXPECT_NE(LoadLod(env, def, b), 0u) << n;
    }
}

TEST(LodMeshFile, EmptyChunksAndEmptyWeightGroupsDisappear) {
    // The indexed reader drops such chunks and groups already: the LOD file is patched.
    auto levels = SampleLod(true);
    levels[0].mesh.subMeshes[0].neighbours.reset();
    MeshTestEnv env;
    HalvexIndexedMeshLODDefinition built;
    ASSERT_EQ(BuildLod(levels, built, &env.display, &env.materials), 0u);
    std::vector<uint8_t> bytes = Rewrite(built);
    // Make the first level's chunk faceless: its GEOM face count, and its normals stay as
    // padding the reader skips by the chunk's size.
    size_t geom = FindId(bytes, "GEOM");
    PutU32(bytes, geom + 12 + 4 + 4 + 4 + 4 + 4 + 4, 0);
    // Make the first bone's first-level group empty: its weight count 0, the weights' bytes
    // dropped and every size around them lowered.
    size_t lodb = FindId(bytes, "LODB");
    uint32_t n = GetU32(bytes, lodb + 20);
    bytes.erase(bytes.begin() + lodb + 24, bytes.begin() + lodb + 24 + 20 * n);
    PutU32(bytes, lodb + 20, 0);
    for (size_t sizeAt : {size_t{4}, FindId(bytes, "MESH") + 4, lodb + 4})
        PutU32(bytes, sizeAt, GetU32(bytes, sizeAt) - 20 * n);

    HalvexIndexedMeshLODDefinition def;
    ASSERT_EQ(LoadLod(env, def, bytes), 0u);
    EXPECT_EQ(def.GetRecords()[0].chunks.size(), 0u);
    EXPECT_EQ(def.GetRecords()[0].chunkCount, 0u);
    EXPECT_TRUE(def.GetBones()[0].levels[0].empty());
    EXPECT_EQ(def.GetRecords()[1].chunks.size(), 1u);
}

TEST(LodMeshFile, CullMarkInAnyCaseIsCutWhereverItStands) {
    auto levels = SampleLod(false);
    for (auto& l : levels)
        (*l.mesh.attachments)[1].name = Kiv::PString("p.cou:CULLpler");
    MeshTestEnv env;
    HalvexIndexedMeshLODDefinition def;
    ASSERT_EQ(LoadLod(env, def, WriteLodm(levels)), 0u);
    EXPECT_EQ(def.GetAttachmentName(1).view(), "p.coupler");
    ASSERT_EQ(def.GetCullAttachments().size(), 2u);
    EXPECT_EQ(def.GetCullAttachments()[1].view(), "p.coupler");
}

TEST(LodMeshFile, BoneWeightsArePlacedTruncated) {
    MeshTestEnv env;
    env.display.SetCapability(Kiv::Display::kCapabilityHardwareSkinning, true);
    // Made on a display that skins in hardware, so the chunks' flags do not ask for software.
    HalvexIndexedMeshLODDefinition built;
    ASSERT_EQ(BuildLod(SampleLod(true), built, &env.display, &env.materials), 0u);
    HalvexIndexedMeshLODDefinition def;
    ASSERT_EQ(LoadLod(env, def, Rewrite(built)), 0u);
    const Kiv::GeometryChunk& c = *def.GetRecords()[0].chunks[0];
    const uint8_t* w = c.GetItem(Kiv::kItemPackedWeights);
    const uint8_t* idx = c.GetItem(Kiv::kItemBoneIndices);
    ASSERT_NE(w, nullptr);
    ASSERT_NE(idx, nullptr);
    // Vertex 1: root 0.5 (127.5 truncated to 127) at slot 0, arm 0.5 at slot 1.
    EXPECT_EQ(w[4], 127);
    EXPECT_EQ(idx[4], 0);
    EXPECT_EQ(w[5], 127);
    EXPECT_EQ(idx[5], 3);
    EXPECT_EQ(idx[6], 254);
    // Vertex 2: root 0.25 = 63.75, truncated to 63.
    EXPECT_EQ(w[8], 63);
    EXPECT_TRUE(def.GetRecords()[0].hardwareSkinning);
}

TEST(LodMeshFile, CompletionSharesEqualMaterialsAndReadiesChunks) {
    Kiv::RenderKernel kernel(nullptr, 1.0f);
    ASSERT_TRUE(kernel.Init(Kiv::Options("-NullRender")));
    MeshTestEnv env;
    Kiv::Display display(&kernel);
    HalvexIndexedMeshLODDefinition def;
    def.OpenBytes(WriteLodm(SampleLod(false)), "x.lm");
    ASSERT_EQ(def.Load(&display, &env.materials), 0u);
    EXPECT_EQ(def.CompleteLoad(&display), 0u);
    for (const LodRecord& r : def.GetRecords())
        EXPECT_TRUE(r.chunks[0]->IsPrepared());
    EXPECT_EQ(def.CompleteLoad(&display), 0u);  // already ready
    EXPECT_EQ(def.CompleteLoad(nullptr), 9u);   // no render kernel to ready them on
}

TEST(LodMeshFile, SizeEstimateCountsEveryPart) {
    MeshTestEnv env;
    HalvexIndexedMeshLODDefinition def;
    ASSERT_EQ(LoadLod(env, def, WriteLodm(SampleLod(false))), 0u);
    size_t chunkBytes = 0;
    for (const LodRecord& r : def.GetRecords())
        chunkBytes += r.chunks[0]->GetVertexSize() * 4 + 2 * 6;
    EXPECT_EQ(def.GetLodSize(),
              4 * (13 * 2 + def.GetDistances().capacity()) + 12 + 40 * 3 + chunkBytes);
}

}  // namespace
