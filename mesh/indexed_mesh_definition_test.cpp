#include "mesh/indexed_mesh_definition.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "mesh/mesh_test_support.h"

namespace {

using meshtesting::IdxmBone;
using meshtesting::IdxmFile;
using meshtesting::IdxmFromDefinition;
using meshtesting::QuadSubMesh;
using meshtesting::WriteIdxm;

MeshInfluence Influence(std::string name, std::string parent,
                        std::vector<InfluenceGroup> groups = {}) {
    MeshInfluence inf;
    inf.name = std::move(name);
    inf.parentName = std::move(parent);
    inf.position = {1, 2, 3};
    inf.groups = std::move(groups);
    return inf;
}

IdxmFile Quad(uint32_t infoVersion = 102, uint32_t geomVersion = 201) {
    IdxmFile f;
    f.infoVersion = infoVersion;
    f.subMeshes.push_back(QuadSubMesh(geomVersion));
    return f;
}

// One file per accepted version of each chunk: each loads, and the definition it gives writes
// back to the same bytes.
TEST(IndexedMeshFile, EveryVersionLoadsAndWritesBackTheSameBytes) {
    std::vector<std::pair<std::string, IdxmFile>> table;
    for (uint32_t v : {100u, 101u, 102u, 103u, 104u}) {
        IdxmFile f = Quad(v);
        f.position = {1, 2, 3};
        f.orientation = {0, 0, std::sqrt(0.5f), std::sqrt(0.5f)};
        if (v == 104) f.ignored = {1, 2, 3, 4, 5, 6};
        table.emplace_back("INFO " + std::to_string(v), f);
    }
    for (uint32_t v : {101u, 102u, 103u, 104u, 150u, 199u, 200u, 201u}) {
        IdxmFile f = Quad(102, v);
        auto& g = f.subMeshes[0].geometry;
        g.headerValue = 0.25f;
        g.fourth = 9;
        g.vertexType = v >= 200 ? "pnt1" : "";
        if (v >= 103 && v <= 199) {  // a second texture set
            g.texSets = 2;
            std::vector<float> two;
            for (size_t k = 0; k < 4; ++k) {
                two.insert(two.end(), g.vertices.begin() + 5 * k, g.vertices.begin() + 5 * k + 5);
                two.push_back(0.5f + k);
                two.push_back(0.25f);
            }
            g.vertices = two;
        }
        table.emplace_back("GEOM " + std::to_string(v), f);
    }
    {
        IdxmFile f = Quad();
        auto& m = f.subMeshes[0].material;
        m.version = 102;
        m.colors[2] = {0, 0, 0};
        m.properties = {{"shine", "yes"}, {"empty", ""}};
        m.flag = 1;
        m.value = 0.75f;
        table.emplace_back("MATL 102", f);
        f.subMeshes[0].material.version = 103;
        f.subMeshes[0].material.power = 25;
        f.subMeshes[0].material.colors[3] = {0.5f, 0.25f, 1};
        table.emplace_back("MATL 103", f);
    }
    {
        IdxmFile f = Quad();
        f.subMeshes[0].neighbours = std::vector<uint32_t>{1, 0xFFFFFFFF, 0xFFFFFFFF, 0, 7, 8};
        f.subMeshes.push_back(QuadSubMesh(201, 2.0f));
        f.attachments = std::vector<MeshAttachmentPoint>(2);
        (*f.attachments)[0].name = Kiv::PString("a.light");
        (*f.attachments)[0].position = {1, 0, 0};
        (*f.attachments)[1].name = Kiv::PString("p.coupler");
        table.emplace_back("NINF, two CHNK, ATCH", f);
    }
    {
        IdxmFile f = Quad();
        f.skinWeights = 2;
        f.skinBones = 2;
        f.subMeshes[0].geometry.weights = 2;
        InfluenceEntry e{1, 0.5f, {1, 2, 3}};
        f.influences = std::vector<MeshInfluence>{Influence("root", "", {{0, {e, {2, 1.0f, {}}}}}),
                                                  Influence("arm", "root", {{0, {{1, 0.5f, {}}}}})};
        table.emplace_back("INFL", f);
    }
    for (uint32_t bv : {1u, 20u, 50u, 100u, 102u}) {
        IdxmFile f = Quad();
        IdxmBone root{"root", {0, 1, 0}, {}, {}};
        root.children.push_back({"arm", {1, 0, 0}, {0, 0, 1, 0}, {{"hand", {}, {}, {}}}});
        root.children.push_back({"leg", {}, {}, {}});
        f.skeleton = root;
        f.boneVersion = bv;
        table.emplace_back("SKEL BONE " + std::to_string(bv), f);
    }

    for (const auto& [label, fixture] : table) {
        SCOPED_TRACE(label);
        MeshTestEnv env;
        env.display.SetCapability(Kiv::Display::kCapabilityHardwareSkinning, true);
        HalvexIndexedMeshDefinition def;
        std::vector<uint8_t> bytes = WriteIdxm(fixture);
        ASSERT_EQ(env.Load(def, bytes), 0u);
        EXPECT_EQ(def.GetNumSubMeshes(), fixture.subMeshes.size());
        EXPECT_EQ(WriteIdxm(IdxmFromDefinition(def, fixture)), bytes);
    }
}

TEST(IndexedMeshFile, ResultCodesHaveTheirNamesAndMessages) {
    const struct {
        uint32_t code;
        const char* name;
        const char* message;
    } table[] = {
        {1, "RES_UNKNOWN", "Unknown mesh load error"},
        {2, "RES_FILE_OPEN_ERROR", "Unable to open file"},
        {3, "RES_FILE_FORMAT_ERROR", "Unexpected file format"},
        {4, "RES_FILE_VERSION_ERROR", "Incompatible file version"},
        {5, "RES_NO_MATERIAL_MANAGER", "Unable to find material manager in Render Kernel"},
        {6, "RES_UNSUPPORTED_MATERIAL", "Unable to create requested material"},
        {7, "RES_UNKNOWN_MATERIAL", "Unable to find the type of a requested material"},
        {8, "RES_FAIL_CHUNK_CREATE", "Failed to create geometry chunk"},
        {9, "RES_FILE_DATA_ERROR", "File contains invalid data"},
    };
    for (const auto& row : table) {
        EXPECT_STREQ(MeshResultName(row.code), row.name);
        EXPECT_STREQ(MeshResultMessage(row.code), row.message);
    }
    EXPECT_EQ(MeshResultName(0), nullptr);
    EXPECT_EQ(MeshResultMessage(10), nullptr);
}

// Each code a binary load can give, reached the way a user's file or set-up would.
TEST(IndexedMeshFile, LoadsEndInTheirResultCodes) {
    std::vector<uint8_t> good = WriteIdxm(Quad());
    const size_t matl = FindId(good, "MATL");
    struct Case {
        const char* label;
        uint32_t expected;
        std::function<uint32_t(MeshTestEnv&, HalvexIndexedMeshDefinition&)> run;
    };
    auto loadWith = [](std::vector<uint8_t> bytes) {
        return [bytes](MeshTestEnv& env, HalvexIndexedMeshDefinition& def) {
            return env.Load(def, bytes);
        };
    };
    auto withType = [&](const char* type) {
        IdxmFile f = Quad();
        f.subMeshes[0].material.typeName = type;
        return WriteIdxm(f);
    };
    std::vector<Case> cases = {
        {"loads", 0, loadWith(good)},
        {"no data", 2, loadWith({})},
        {"missing file", 2,
         [](MeshTestEnv& env, HalvexIndexedMeshDefinition& def) {
             EXPECT_FALSE(def.OpenFile("/nonexistent/mesh.im"));
             return def.Load(&env.display, &env.materials);
         }},
        {"wrong chunk id", 3,
         [&](MeshTestEnv& env, HalvexIndexedMeshDefinition& def) {
             auto b = good;
             b[matl] = 'X';
             return env.Load(def, b);
         }},
        {"GEOM one version past", 4,
         [&](MeshTestEnv& env, HalvexIndexedMeshDefinition& def) {
             auto b = good;
             PutU32(b, FindId(b, "GEOM") + 8, 202);
             return env.Load(def, b);
         }},
        {"no material manager", 5,
         [&](MeshTestEnv& env, HalvexIndexedMeshDefinition& def) {
             def.OpenBytes(good);
             return def.Load(&env.display, nullptr);
         }},
        {"type known, not created", 6, loadWith(withType("m.broken"))},
        {"type unknown", 7, loadWith(withType("m.glass"))},
        {"null material not made", 8,
         [&](MeshTestEnv& env, HalvexIndexedMeshDefinition& def) {
             Kiv::MaterialManager::FailNextNullMaterialsForTesting(1);
             MeshLoadArgs args;
             args.allowMissingMaterials = true;
             return env.Load(def, withType("m.glass"), args);
         }},
        {"no index array", 8,
         [&](MeshTestEnv& env, HalvexIndexedMeshDefinition& def) {
             Kiv::GeometryChunk::SetMissingIndexArrayForTesting(true);
             uint32_t r = env.Load(def, good);
             Kiv::GeometryChunk::SetMissingIndexArrayForTesting(false);
             return r;
         }},
        {"no weight item", 8,
         [&](MeshTestEnv& env, HalvexIndexedMeshDefinition& def) {
             IdxmFile f = Quad();
             f.skinWeights = 1;
             f.subMeshes[0].geometry.weights = 1;
             env.display.SetCapability(29, true);
             Kiv::GeometryChunk::SetMissingItemForTesting(Kiv::kItemPackedWeights);
             uint32_t r = env.Load(def, WriteIdxm(f));
             Kiv::GeometryChunk::SetMissingItemForTesting(0);
             return r;
         }},
        {"chunk not created", 3,
         [&](MeshTestEnv& env, HalvexIndexedMeshDefinition& def) {
             Kiv::Material::FailNextChunksForTesting(1);
             return env.Load(def, good);
         }},
    };
    for (const Case& c : cases) {
        MeshTestEnv env;
        HalvexIndexedMeshDefinition def;
        EXPECT_EQ(c.run(env, def), c.expected) << c.label;
    }
}

TEST(IndexedMeshFile, ContainerRules) {
    std::vector<uint8_t> good = WriteIdxm(Quad());
    struct Case {
        const char* label;
        std::function<void(std::vector<uint8_t>&)> edit;
        uint32_t expected;
    } cases[] = {
        {"magic in lower case", [](auto& b) { std::memcpy(b.data(), "jirf", 4); }, 3},
        {"LODM type", [](auto& b) { std::memcpy(b.data() + 8, "LODM", 4); }, 3},
        {"container one byte short", [](auto& b) { PutU32(b, 4, GetU32(b, 4) - 1); }, 3},
        {"container one byte long",
         [](auto& b) {
             PutU32(b, 4, GetU32(b, 4) + 1);
             b.push_back(0);
         },
         3},
        {"container past the data", [](auto& b) { PutU32(b, 4, GetU32(b, 4) + 1); }, 3},
        {"INFO 105", [](auto& b) { PutU32(b, 20, 105); }, 4},
        {"CHNK 101", [](auto& b) { PutU32(b, FindId(b, "CHNK") + 8, 101); }, 4},
        {"MATL 104", [](auto& b) { PutU32(b, FindId(b, "MATL") + 8, 104); }, 4},
        {"GEOM 100", [](auto& b) { PutU32(b, FindId(b, "GEOM") + 8, 100); }, 4},
        {"GEOM primitive bits 3", [](auto& b) { PutU32(b, FindId(b, "GEOM") + 12, 3); }, 3},
        {"index equal to the vertex count",
         [](auto& b) {
             size_t idx = FindId(b, "GEOM") + 12 + 4 * 8 + 4 + 4 * 20;  // header, type, vertices
             b[idx] = 4;
             b[idx + 1] = 0;
         },
         3},
        {"CHNK ending past the container",
         [](auto& b) { PutU32(b, FindId(b, "CHNK") + 4, 0x7FFFFFFF); }, 3},
        {"GEOM ending past its CHNK",
         [](auto& b) { PutU32(b, FindId(b, "GEOM") + 4, GetU32(b, FindId(b, "GEOM") + 4) + 8); },
         3},
    };
    for (const Case& c : cases) {
        auto bytes = good;
        c.edit(bytes);
        MeshTestEnv env;
        HalvexIndexedMeshDefinition def;
        EXPECT_EQ(env.Load(def, bytes), c.expected) << c.label;
    }
}

// A count that the bytes left cannot hold is refused before anything is sized.
TEST(IndexedMeshFile, HostileCountsAreRefusedBeforeAnythingIsSized) {
    IdxmFile full = Quad();
    full.influences = std::vector<MeshInfluence>{Influence("root", "", {{0, {{0, 1, {}}}}})};
    full.attachments = std::vector<MeshAttachmentPoint>(1);
    std::vector<uint8_t> good = WriteIdxm(full);
    const size_t geom = FindId(good, "GEOM"), matl = FindId(good, "MATL");
    const size_t infl = FindId(good, "INFL"), atch = FindId(good, "ATCH");
    struct Case {
        const char* label;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"sub-meshes", 52, 0x0FFFFFFF},
        {"vertices", geom + 24, 0xFFFFFFFF},
        {"indices", geom + 32, 0x7FFFFFFF},
        {"faces", geom + 36, 0x10000000},
        {"properties", matl + 24, 0x40000000},
        {"textures", matl + 24 + 4 + 4 + 4 + 48 + 4, 0x20000000},
        {"influences", infl + 12, 1000},
        {"groups", infl + 16 + 8 + 4 + 12 + 36, 0x20000000},
        {"entries", infl + 16 + 8 + 4 + 12 + 36 + 4 + 4, 0x10000000},
        {"attachments", atch + 12, 0x30000000},
    };
    for (const Case& c : cases) {
        auto bytes = good;
        PutU32(bytes, c.at, c.value);
        MeshTestEnv env;
        HalvexIndexedMeshDefinition def;
        EXPECT_EQ(env.Load(def, bytes), 3u) << c.label;
    }
    // The texture-set count of a version-103 GEOM makes each vertex record longer.
    IdxmFile sets = Quad(102, 103);
    auto bytes = WriteIdxm(sets);
    PutU32(bytes, FindId(bytes, "GEOM") + 32, 0x7FFFFFFF);
    MeshTestEnv env;
    HalvexIndexedMeshDefinition def;
    EXPECT_EQ(env.Load(def, bytes), 3u);
}

// Every prefix of a full file, and every single byte turned to 0xFF, ends in a code; nothing
// is read outside the bytes (the sanitizers watch).
TEST(IndexedMeshFile, TruncatedAndDamagedFilesNeverLoadWrongly) {
    IdxmFile full = Quad(104, 150);
    full.subMeshes[0].neighbours = std::vector<uint32_t>(6, 1);
    IdxmBone root{"root", {}, {}, {{"child", {}, {}, {}}}};
    full.skeleton = root;
    full.attachments = std::vector<MeshAttachmentPoint>(1);
    std::vector<uint8_t> good = WriteIdxm(full);
    for (size_t n = 0; n < good.size(); ++n) {
        MeshTestEnv env;
        HalvexIndexedMeshDefinition def;
        std::vector<uint8_t> cut(good.begin(), good.begin() + n);
        EXPECT_NE(env.Load(def, cut), 0u) << n;
    }
    for (size_t n = 0; n < good.size(); ++n) {
        MeshTestEnv env;
        HalvexIndexedMeshDefinition def;
        auto bytes = good;
        bytes[n] = 0xFF;
        env.Load(def, bytes);
    }
}

TEST(IndexedMeshFile, BoneNestingIsCapped) {
    auto chain = [](int depth) {
        IdxmFile f = Quad();
        IdxmBone bone{"b" + std::to_string(depth - 1), {}, {}, {}};
        for (int d = depth - 2; d >= 0; --d) {
            IdxmBone parent{"b" + std::to_string(d), {}, {}, {}};
            parent.children.push_back(std::move(bone));
            bone = std::move(parent);
        }
        f.skeleton = std::move(bone);
        return WriteIdxm(f);
    };
    MeshTestEnv env;
    HalvexIndexedMeshDefinition deep, tooDeep;
    ASSERT_EQ(env.Load(deep, chain(256)), 0u);
    EXPECT_EQ(deep.GetSkeleton()->CountAll(), 256u);
    EXPECT_EQ(env.Load(tooDeep, chain(257)), 3u);
}

TEST(IndexedMeshFile, SubMeshesWithoutVerticesIndicesOrFacesAreDropped) {
    IdxmFile f = Quad();
    auto empty = QuadSubMesh();
    empty.geometry.faceCount = 0;
    empty.geometry.faceNormals.clear();
    f.subMeshes.insert(f.subMeshes.begin(), empty);
    f.subMeshes.push_back(QuadSubMesh(201, 3.0f));
    MeshTestEnv env;
    HalvexIndexedMeshDefinition def;
    ASSERT_EQ(env.Load(def, WriteIdxm(f)), 0u);
    ASSERT_EQ(def.GetNumSubMeshes(), 2u);
    EXPECT_EQ(def.GetBoundsMax(), (Kiv::Vector3{3, 3, 0}));
    EXPECT_EQ(def.GetTotalVertices(), 8u);
    EXPECT_EQ(def.GetTotalFaces(), 4u);
}

// A GEOM's primitive bits give the chunk the engine's code and stay in its flags word, where
// the triangle walkers read them; a fixture's quad is a triangle list.
TEST(IndexedMeshFile, PrimitiveBitsNameTheEngineCodeAndStayInTheFlags) {
    EXPECT_EQ(QuadSubMesh().geometry.flags, Kiv::kPrimitiveBitsTriangleList);
    const uint32_t table[][2] = {{0, 5}, {1, 3}, {2, 4}, {4, 0}, {8, 1}, {16, 2}};
    for (const auto& [bits, code] : table) {
        IdxmFile f = Quad();
        f.subMeshes[0].geometry.flags = bits;
        MeshTestEnv env;
        HalvexIndexedMeshDefinition def;
        ASSERT_EQ(env.Load(def, WriteIdxm(f)), 0u) << bits;
        EXPECT_EQ(def.GetChunk(0)->GetPrimitive(), code) << bits;
        EXPECT_EQ(def.GetChunk(0)->GetFlags() & Kiv::kPrimitiveBitsMask, bits) << bits;
    }
}

TEST(IndexedMeshFile, PartEdgeCases) {
    MeshTestEnv env;
    {  // INFO 104 skips its six floats
        HalvexIndexedMeshDefinition def;
        IdxmFile f = Quad(104);
        f.skinWeights = 3;
        ASSERT_EQ(env.Load(def, WriteIdxm(f)), 0u);
        EXPECT_EQ(def.GetMaxWeightsPerVertex(), 3u);
    }
    {  // an INFL count of 1024 reads nothing: the rest of the chunk fails the end test
        IdxmFile f = Quad();
        f.influences = std::vector<MeshInfluence>{Influence("root", "")};
        auto bytes = WriteIdxm(f);
        PutU32(bytes, FindId(bytes, "INFL") + 12, 1024);
        HalvexIndexedMeshDefinition def;
        EXPECT_EQ(env.Load(def, bytes), 3u);
        EXPECT_EQ(def.GetNumInfluences(), 0u);
    }
    {  // MATL 102: power 10 and a zero third colour; 103: power raised to 10, kept above
        for (auto [version, power, expected] :
             {std::tuple{102u, 50.0f, 10.0f}, {103u, 4.0f, 10.0f}, {103u, 25.0f, 25.0f}}) {
            IdxmFile f = Quad();
            f.subMeshes[0].material.version = version;
            f.subMeshes[0].material.power = power;
            f.subMeshes[0].material.colors[3] = {1, 1, 1};
            HalvexIndexedMeshDefinition def;
            ASSERT_EQ(env.Load(def, WriteIdxm(f)), 0u);
            Kiv::DisplayMaterial d;
            ASSERT_TRUE(def.CopyDisplayMaterial(0, d));
            EXPECT_EQ(d.power, expected);
            EXPECT_EQ(d.colors[3][0], 0.5f);
            EXPECT_EQ(d.colors[2][0], version == 102 ? 0.0f : 0.2f);
        }
    }
    {  // GEOM 102 and 201 carry one texture set: 20-byte vertex records
        for (uint32_t v : {102u, 201u}) {
            HalvexIndexedMeshDefinition def;
            auto bytes = WriteIdxm(Quad(102, v));
            ASSERT_EQ(env.Load(def, bytes), 0u);
            EXPECT_EQ(def.GetNumTexCoordSets(0), 1u);
        }
    }
    {  // a missing material is remembered, and stands in as a NullMaterial when allowed
        IdxmFile f = Quad();
        f.subMeshes[0].material.typeName = "m.glass";
        MeshLoadArgs args;
        args.allowMissingMaterials = true;
        HalvexIndexedMeshDefinition def;
        ASSERT_EQ(env.Load(def, WriteIdxm(f), args), 0u);
        EXPECT_TRUE(def.GetMaterial(0)->IsNull());
        EXPECT_EQ(def.GetMissingMaterials(), std::vector<Kiv::PString>{Kiv::PString("m.glass")});
        EXPECT_EQ(def.GetMaterial(0)->GetCreationType(), Kiv::PString("m.glass:m.glass"));
    }
}

TEST(IndexedMeshFile, BoundsTexelScaleAndOrientedBox) {
    MeshTestEnv env;
    {
        // One triangle with space edges 2 and 2, texture edges 1 and 1: texel scale 2.
        IdxmFile f = Quad();
        auto& g = f.subMeshes[0].geometry;
        g.vertices = {0, 0, 0, 0, 0, 2, 0, 0, 1, 0, 0, 2, 0, 0, 1};
        g.indices = {0, 1, 2};
        g.faceCount = 1;
        g.faceNormals = {0, 0, 1};
        HalvexIndexedMeshDefinition def;
        ASSERT_EQ(env.Load(def, WriteIdxm(f)), 0u);
        EXPECT_FLOAT_EQ(def.GetTexelScale(), 2.0f);
        EXPECT_EQ(def.GetBoundsMax(), (Kiv::Vector3{2, 2, 0}));
        for (const auto& p : {Kiv::Vector3{0, 0, 0}, {2, 0, 0}, {0, 2, 0}})
            EXPECT_TRUE(def.GetOrientedBox().Contains(p, 1e-3f));
        // Degenerate texture coordinates count for nothing.
        g.vertices = {0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 2, 0, 0, 0};
        HalvexIndexedMeshDefinition flat;
        ASSERT_EQ(env.Load(flat, WriteIdxm(f)), 0u);
        EXPECT_EQ(flat.GetTexelScale(), 0.0f);
    }
    {  // no sub-mesh survives: zero bounds, zero box
        IdxmFile f;
        HalvexIndexedMeshDefinition def;
        ASSERT_EQ(env.Load(def, WriteIdxm(f)), 0u);
        EXPECT_EQ(def.GetBoundsMax(), Kiv::Vector3{});
        EXPECT_EQ(def.GetBoundsMin(), Kiv::Vector3{});
        EXPECT_TRUE(def.GetOrientedBox().IsZero());
    }
}

IdxmFile Skinned(std::vector<MeshInfluence> influences, uint32_t weights = 4) {
    IdxmFile f = Quad();
    f.skinWeights = weights;
    f.skinBones = static_cast<uint32_t>(influences.size());
    f.subMeshes[0].geometry.weights = weights;
    f.influences = std::move(influences);
    return f;
}

TEST(IndexedMeshSkin, PackedPaletteFillsPlacesInOrder) {
    std::vector<MeshInfluence> infl;
    const char* names[] = {"root", "a", "b", "c", "d"};
    for (int k = 0; k < 5; ++k)
        infl.push_back(
            Influence(names[k], k ? "root" : "", {{0, {{0, 0.2f * (k + 1), {}}, {1, 0.5f, {}}}}}));
    // Vertex 1 has three influences only.
    infl[3].groups[0].entries.pop_back();
    infl[4].groups[0].entries.pop_back();
    MeshTestEnv env;
    env.display.SetCapability(29, true);
    HalvexIndexedMeshDefinition def;
    ASSERT_EQ(env.Load(def, WriteIdxm(Skinned(infl))), 0u);
    const auto& chunk = *def.GetChunk(0);
    const uint8_t* index = chunk.GetItem(Kiv::kItemBoneIndices);
    const uint8_t* weight = chunk.GetItem(Kiv::kItemPackedWeights);
    // Vertex 1: places 3p0, 3p1, 3p2 and the free mark in the fourth.
    EXPECT_EQ(std::vector<uint8_t>(index + 4, index + 8), (std::vector<uint8_t>{0, 3, 6, 254}));
    EXPECT_EQ(weight[4], 128);  // 0.5 x 255 rounded to the nearest
    // Vertex 0 had five: the fifth starts it again from place 0.
    EXPECT_EQ(std::vector<uint8_t>(index, index + 4), (std::vector<uint8_t>{12, 254, 0, 0}));
    EXPECT_EQ(weight[0], 255);
    EXPECT_EQ(chunk.GetInfluencePalette(), (std::vector<uint32_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(def.GetMaxVertexInfluences(0), 5u);
}

TEST(IndexedMeshSkin, FloatWeightsAndOneWeightFill) {
    MeshMaterialConfig config;
    config.hardwareAnimationFloatPrecision = {1, 1};
    MeshTestEnv env;
    env.display.SetCapability(29, true);
    {
        HalvexIndexedMeshDefinition def(config);
        ASSERT_EQ(env.Load(def, WriteIdxm(Skinned({Influence("root", "")}, 1))), 0u);
        const float* w =
            reinterpret_cast<const float*>(def.GetChunk(0)->GetItem(Kiv::kItemWeights1));
        for (int v = 0; v < 4; ++v)
            EXPECT_EQ(w[v], 1.0f);
    }
    {
        HalvexIndexedMeshDefinition def;  // packed: top byte 255
        ASSERT_EQ(env.Load(def, WriteIdxm(Skinned({Influence("root", "")}, 1))), 0u);
        EXPECT_EQ(GetU32(std::vector<uint8_t>(def.GetChunk(0)->GetItem(9),
                                              def.GetChunk(0)->GetItem(9) + 4),
                         0),
                  0xFF000000u);
    }
    {
        HalvexIndexedMeshDefinition def(config);
        auto infl = {Influence("root", "", {{0, {{2, 0.25f, {}}}}}),
                     Influence("arm", "root", {{0, {{2, 0.75f, {}}}}})};
        ASSERT_EQ(env.Load(def, WriteIdxm(Skinned(infl, 2))), 0u);
        const float* w = reinterpret_cast<const float*>(def.GetChunk(0)->GetItem(6));
        EXPECT_EQ(w[4], 0.25f);
        EXPECT_EQ(w[5], 0.75f);
        const uint8_t* b = def.GetChunk(0)->GetItem(Kiv::kItemBoneIndices);
        EXPECT_EQ(std::vector<uint8_t>(b + 8, b + 12), (std::vector<uint8_t>{0, 3, 254, 0}));
    }
    {  // software animation set: no hardware skin, the chunk is marked for software skinning
        MeshMaterialConfig soft;
        soft.softwareAnimation = {1, 1};
        HalvexIndexedMeshDefinition def(soft);
        ASSERT_EQ(
            env.Load(def, WriteIdxm(Skinned({Influence("root", "", {{0, {{0, 1, {}}}}})}, 2))), 0u);
        EXPECT_TRUE(def.GetChunk(0)->GetFlags() & Kiv::GeometryChunk::kFlagSoftwareSkinning);
        EXPECT_TRUE(def.GetChunk(0)->GetInfluencePalette().empty());
    }
}

// Entries naming a vertex past the chunk are passed over, never written outside it.
TEST(IndexedMeshSkin, EntriesPastTheChunkAreSkipped) {
    MeshTestEnv env;
    env.display.SetCapability(29, true);
    HalvexIndexedMeshDefinition def;
    auto f = Skinned(
        {Influence("root", "", {{0, {{4, 1, {}}, {0xFFFFFFF0u, 1, {}}}}, {7, {{0, 1, {}}}}})});
    ASSERT_EQ(env.Load(def, WriteIdxm(f)), 0u);
    EXPECT_EQ(def.GetChunk(0)->GetInfluencePalette().size(), 1u);
    EXPECT_EQ(def.GetMaxVertexInfluences(0), 0u);
}

TEST(IndexedMeshSkin, SkeletonFromInfluencesNeverLoops) {
    MeshTestEnv env;
    {
        HalvexIndexedMeshDefinition def;
        auto f = Skinned({Influence("root", ""), Influence("a", "b"), Influence("b", "a"),
                          Influence("self", "self"), Influence("second", ""),
                          Influence("lost", "nobody")});
        ASSERT_EQ(env.Load(def, WriteIdxm(f)), 0u);
        const Kiv::Particle* root = def.GetSkeleton();
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->GetName(), Kiv::PString("root"));
        EXPECT_EQ(root->CountAll(), 6u);
        EXPECT_EQ(def.GetInfluences()[4].parentName, "root");
        EXPECT_EQ(def.GetInfluences()[5].parentName, "root");
        EXPECT_EQ(def.GetInfluences()[3].parentName, "root");
        // a under b (found first), b then closes a loop and goes under the root.
        auto* a = const_cast<Kiv::Particle*>(root)->FindByName(Kiv::PString("a"));
        EXPECT_EQ(a->GetParent()->GetName(), Kiv::PString("b"));
        EXPECT_EQ(a->GetParent()->GetParent(), root);
    }
    {  // none without a parent: the skeleton from the file stays
        IdxmFile f = Skinned({Influence("x", "y"), Influence("y", "x")});
        HalvexIndexedMeshDefinition def;
        ASSERT_EQ(env.Load(def, WriteIdxm(f)), 0u);
        EXPECT_EQ(def.GetSkeleton(), nullptr);
    }
}

TEST(IndexedMeshDefinition, SlotsAnswerPerSubMesh) {
    IdxmFile f = Quad(102, 150);
    f.subMeshes[0].material.properties = {{"shine", "yes"}, {"blank", ""}};
    f.attachments = std::vector<MeshAttachmentPoint>(1);
    (*f.attachments)[0].name = Kiv::PString("a.lamp");
    (*f.attachments)[0].orientation = Kiv::Matrix3{{0, 1, 0, -1, 0, 0, 0, 0, 1}};
    MeshTestEnv env;
    HalvexIndexedMeshDefinition def;
    MeshLoadArgs args;
    args.vertexColour = 0x11223344;
    ASSERT_EQ(env.Load(def, WriteIdxm(f), args), 0u);
    EXPECT_EQ(def.GetVertexCount(0), 4u);
    EXPECT_EQ(def.GetIndexCount(0), 6u);
    EXPECT_EQ(def.GetVertexCount(1), 0u);

    float out[4][5] = {};
    def.CopyPositions(0, {20, &out[0][0]});
    EXPECT_EQ(out[2][0], 1.0f);
    EXPECT_EQ(out[2][1], 1.0f);
    EXPECT_EQ(out[2][3], 0.0f);  // the stride left the rest alone
    def.CopyTexCoords(0, 0, {20, &out[0][3]});
    EXPECT_EQ(out[1][3], 1.0f);
    float untouched = 42;
    def.CopyTexCoords(0, 1, {8, &untouched});
    EXPECT_EQ(untouched, 42.0f);
    uint32_t colours[4] = {};
    def.CopyColors(0, false, 0xABCDEF01, {4, colours});
    EXPECT_EQ(colours[3], 0xABCDEF01u);  // no second colour: the caller's default
    def.CopyColors(0, true, 0, {4, colours});
    EXPECT_EQ(colours[0], 0xFF302010u);  // version 150 colours, converted for the display
    uint16_t idx[6];
    def.CopyIndices(0, idx);
    EXPECT_EQ(idx[5], 3u);

    EXPECT_EQ(def.GetNumMaterialProperties(0), 2u);
    auto key = def.GetMaterialPropertyText(0, Kiv::PString("shine"), false);
    auto value = def.GetMaterialPropertyText(0, Kiv::PString("shine"), true);
    ASSERT_TRUE(key && value);
    EXPECT_STREQ(key.get(), "shine");
    EXPECT_STREQ(value.get(), "yes");
    EXPECT_EQ(def.GetMaterialPropertyText(0, Kiv::PString("blank"), true), nullptr);
    EXPECT_EQ(def.GetMaterialPropertyText(0, Kiv::PString("none"), false), nullptr);

    EXPECT_EQ(def.GetAttachmentName(0), Kiv::PString("a.lamp"));
    Kiv::Quaternion q = def.GetAttachmentOrientation(0);
    EXPECT_NEAR(q.z, std::sqrt(0.5f), 1e-6);
    // The size rule: 252 + 52 per attachment + per sub-mesh vertices x size + 2 per index.
    EXPECT_EQ(def.GetSize(), 252u + 52u + 4u * def.GetChunk(0)->GetVertexSize() + 12u);
}

}  // namespace
