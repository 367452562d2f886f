#include "mesh/progressive_mesh_definition.h"

#include <gtest/gtest.h>

#include "mesh/mesh_test_support.h"

namespace {

using namespace meshtesting;

IdxmFile Progressive(std::optional<IdxmProgressive> tables = SampleProgressive()) {
    IdxmFile f;
    f.subMeshes.push_back(QuadSubMesh());
    f.attachments = std::vector<MeshAttachmentPoint>(1);
    (*f.attachments)[0].name = Kiv::PString("a.lamp");
    f.progressive = std::move(tables);
    return f;
}

struct Loaded {
    uint32_t result;
    uint32_t progressive;
};

Loaded LoadBytes(const std::vector<uint8_t>& bytes) {
    MeshTestEnv env;
    HalvexProgressiveMeshDefinition def;
    const uint32_t r = env.Load(def, bytes);
    return {r, def.GetProgressiveResult()};
}

TEST(ProgressiveMeshFile, PmInRulesAndTheirResults) {
    IdxmProgressive empty;
    IdxmProgressive runPastWords = SampleProgressive();
    runPastWords.level3[2][3] = 4;  // 1 + 2 + 4 words of 6
    IdxmProgressive runPastLevel2 = SampleProgressive();
    runPastLevel2.level1 = {3};
    IdxmProgressive hugeWords = SampleProgressive();
    hugeWords.counts = std::array<uint32_t, 4>{0xFFFFFFFFu, 3, 2, 1};
    IdxmProgressive hugeLevel3 = SampleProgressive();
    hugeLevel3.counts = std::array<uint32_t, 4>{6, 0x40000000u, 2, 1};
    struct Case {
        const char* name;
        std::optional<IdxmProgressive> tables;
        uint32_t version;
        Loaded expected;
    } cases[] = {
        {"no PMIN: ends after the attachments", std::nullopt, 101, {0, 0}},
        {"sample tables", SampleProgressive(), 101, {0, 0}},
        {"all counts 0", empty, 101, {0, 0}},
        {"version 100 stops inside the chunk", SampleProgressive(), 100, {3, 4}},
        {"version 102 stops inside the chunk", SampleProgressive(), 102, {3, 4}},
        // The tables are not used: a run past its table is refused by the read, not the load.
        {"a run past the words", runPastWords, 101, {0, 3}},
        {"a run past the level-2 records", runPastLevel2, 101, {0, 3}},
        {"more words than bytes", hugeWords, 101, {3, 3}},
        {"more level-3 records than bytes", hugeLevel3, 101, {3, 3}},
    };
    for (Case& c : cases) {
        if (c.tables) c.tables->version = c.version;
        const Loaded got = LoadBytes(WriteIdxm(Progressive(c.tables)));
        EXPECT_EQ(got.result, c.expected.result) << c.name;
        EXPECT_EQ(got.progressive, c.expected.progressive) << c.name;
    }
}

TEST(ProgressiveMeshFile, EmptyTablesMakeA28ByteChunk) {
    const std::vector<uint8_t> without = WriteIdxm(Progressive(std::nullopt));
    const std::vector<uint8_t> with = WriteIdxm(Progressive(IdxmProgressive{}));
    EXPECT_EQ(with.size() - without.size(), 28u);
}

TEST(ProgressiveMeshFile, AWrongIdShowsAtTheEnd) {
    std::vector<uint8_t> bytes = WriteIdxm(Progressive());
    const size_t at = FindId(bytes, "PMIN");
    ASSERT_LT(at, bytes.size());
    bytes[at] = 'Q';
    EXPECT_EQ(LoadBytes(bytes).result, 3u);
    // Cut anywhere inside the chunk, the tables are never read whole: the load fails at the end
    // test, or (cut right behind the id or the size, where the position is the end) the read
    // reports its fault.
    const std::vector<uint8_t> whole = WriteIdxm(Progressive());
    for (size_t cut = at + 1; cut < whole.size(); ++cut) {
        std::vector<uint8_t> part(whole.begin(), whole.begin() + cut);
        PutU32(part, 4, static_cast<uint32_t>(cut - 8));  // the container ends with the bytes
        const Loaded got = LoadBytes(part);
        EXPECT_TRUE(got.result == 3 || (got.result == 0 && got.progressive == 3)) << cut;
    }
}

TEST(ProgressiveMeshFile, TheDefinitionOpensItsFileAndTakesItsFileName) {
    MeshTempFolder folder;
    MeshTestEnv env;
    HalvexProgressiveMeshDefinition def;
    EXPECT_EQ(def.LoadFile(folder.path + "/missing.pm", &env.display, &env.materials), 2u);
    const std::string path = folder.Write("body.pm", WriteIdxm(Progressive()));
    HalvexProgressiveMeshDefinition loaded;
    ASSERT_EQ(loaded.LoadFile(path, &env.display, &env.materials), 0u);
    EXPECT_EQ(loaded.GetName().view(), "body.pm");
    EXPECT_EQ(loaded.GetNumAttachments(), 1u);
}

}  // namespace
