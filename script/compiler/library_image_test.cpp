// Whole images: the program corpus compiles and verifies, a few images stay byte for byte what
// they were (they also seed the image reader's fuzz target), and the layout rules hold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/crc32.h"
#include "script/compiler/compiler_test_images.h"

namespace GSCompiler {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

const fs::path kPrograms = fs::path(HALVEX_SOURCE_DIR) / "script/compiler/testdata/programs";
const fs::path kGoldenImages = fs::path(HALVEX_SOURCE_DIR) / "fuzz/corpus/gsl_image";

TEST(ProgramCorpus, EveryProgramCompilesAndVerifies) {
    size_t count = 0;
    for (const auto& entry : fs::directory_iterator(kPrograms)) {
        if (entry.path().extension() != ".gs") continue;
        const std::string text = ReadAll(entry.path());
        EXPECT_EQ(text.rfind("// expect ", 0), 0u) << entry.path();
        test::Compiled c = test::CompileSources({{"t.gs", text}});
        EXPECT_EQ(c.result, 0) << entry.path() << "\n" << c.Messages();
        ++count;
    }
    EXPECT_GE(count, 10u);
}

// The images of these programs are kept byte for byte. After a deliberate change of the format
// or the generator, HALVEX_UPDATE_GOLDEN=1 rewrites them.
TEST(GoldenImages, StayByteForByte) {
    for (const char* name : {"calls", "control_flow", "messages"}) {
        const std::string text = ReadAll(kPrograms / (std::string(name) + ".gs"));
        test::Compiled c =
            test::CompileSources({{std::string(name) + ".gs", text}}, std::string(name) + ".gs");
        ASSERT_EQ(c.result, 0) << c.Messages();
        const fs::path golden = kGoldenImages / (std::string(name) + ".gsl");
        const std::string bytes(c.bytes.begin(), c.bytes.end());
        if (std::getenv("HALVEX_UPDATE_GOLDEN") != nullptr) {
            std::ofstream(golden, std::ios::binary) << bytes;
            continue;
        }
        EXPECT_TRUE(ReadAll(golden) == bytes) << name << ": the image differs from " << golden;
    }
}

TEST(LibraryImage, HeaderTablesAndPadding) {
    test::Compiled c = test::CompileSources(
        {{"Main.gs", "include \"lib.gs\"\nclass A isclass L { int F() { return 1; } };"},
         {"lib.gs", "class L { public int G() { return 2; } };"}},
        "Main.gs");
    ASSERT_EQ(c.result, 0) << c.Messages();
    const GSBytecode::GslImage& image = c.image;
    EXPECT_EQ(image.name, "main.gs");  // lower-cased, NUL-ended, no padding
    EXPECT_EQ(image.versionBits, GSBytecode::kGslVersionBits);
    EXPECT_EQ(image.id.nameChecksum, Crc32NoCase("main.gs"));
    ASSERT_EQ(image.libraries.size(), 2u);
    EXPECT_EQ(image.libraries[0], image.id);
    EXPECT_EQ(image.libraries[1].nameChecksum, Crc32NoCase("lib.gs"));
    // The library table starts right after the name: at 24 + 8 = 32 here.
    EXPECT_EQ(GSBytecode::ReadU32At(c.bytes.data() + 24 + 8 + 4), GSBytecode::kTagLibraryTable);
    ASSERT_EQ(image.classes.size(), 1u);
    const GSBytecode::GslClass& a = image.classes[0];
    ASSERT_EQ(a.functions.size(), 2u);
    const GSBytecode::GslFunction& f = a.functions[0];
    EXPECT_TRUE(f.hasLineTable);
    EXPECT_FALSE(a.functions[1].hasLineTable);  // the member initialiser has none
    EXPECT_EQ(image.String(a.functions[1].signature), "::A()");
    // Code of 6 bytes is padded with 0xFF up to the next word.
    ASSERT_EQ(f.code.size(), 6u);
    EXPECT_EQ(f.code.data()[6], 0xFF);
    EXPECT_EQ(f.code.data()[7], 0xFF);
    // A's own function sits after the one it inherits.
    EXPECT_EQ(f.methodSlot, 1);
    ASSERT_EQ(a.bases.size(), 1u);
    EXPECT_EQ(image.String(image.classTable[a.bases[0].classIndex].name), "L");
    EXPECT_EQ(image.classTable[a.bases[0].classIndex].module, 1u);
}

TEST(LibraryImage, ReferenceMembersFillTheClassesSecondTable) {
    test::Compiled c = test::CompileText(
        "class A { int n; string s; define string K = \"k\"; A next; float f; int[] a; };");
    ASSERT_EQ(c.result, 0) << c.Messages();
    ASSERT_EQ(c.image.classes.size(), 1u);
    const GSBytecode::GslClass& a = c.image.classes[0];
    EXPECT_EQ(a.secondTable, (std::vector<uint32_t>{3, 4, 6}));
    ASSERT_EQ(a.members.size(), 5u);  // the constant takes no slot
    EXPECT_EQ(a.members[4].slot, 6);
    EXPECT_EQ(a.memberWords, 5u + 2 + 3);
}

}  // namespace
}  // namespace GSCompiler
