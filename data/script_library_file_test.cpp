// Checks of the shipped script libraries: every source in data/scripts is staged unchanged as
// the install's "scripts/" and compiled into bin/libraries/ as a library whose id pair is that
// source's: the CRC-32 of its text and the case-blind CRC-32 of its file name. A library built
// from another version of a source would be refused when a library that includes it loads.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "foundation/crc32.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t Word(const std::string& bytes, size_t index) {
    uint32_t w = 0;
    std::memcpy(&w, bytes.data() + 4 * index, 4);
    return w;
}

std::vector<fs::path> Sources() {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(HALVEX_SCRIPTS_SOURCE_DIR))
        if (e.path().extension() == ".gs") out.push_back(e.path());
    return out;
}

TEST(ScriptLibraries, GsDeclaresTheMachinesOwnClasses) {
    EXPECT_TRUE(fs::exists(fs::path(HALVEX_SCRIPTS_SOURCE_DIR) / "gs.gs"));
    EXPECT_TRUE(fs::exists(fs::path(HALVEX_LIBRARIES_STAGE_DIR) / "gs.gsl"));
}

TEST(ScriptLibraries, EachSourceIsStagedAndCompiledWithItsOwnIdPair) {
    const std::vector<fs::path> sources = Sources();
    ASSERT_FALSE(sources.empty());
    for (const fs::path& source : sources) {
        SCOPED_TRACE(source.filename().string());
        const std::string text = ReadAll(source);
        EXPECT_EQ(ReadAll(fs::path(HALVEX_SCRIPTS_STAGE_DIR) / source.filename()), text);
        const fs::path library =
            fs::path(HALVEX_LIBRARIES_STAGE_DIR) / (source.stem().string() + ".gsl");
        const std::string image = ReadAll(library);
        ASSERT_GE(image.size(), 24u) << library;
        EXPECT_EQ(Word(image, 0), image.size());
        EXPECT_EQ(Word(image, 1), 0xF762575Du);
        EXPECT_EQ(Word(image, 3), Crc32(text.data(), text.size()));
        EXPECT_EQ(Word(image, 4), Crc32NoCase(source.filename().string().c_str()));
    }
}

}  // namespace
