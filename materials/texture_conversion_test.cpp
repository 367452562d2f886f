#include "materials/texture_conversion.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "assetdb/resource_db_registry.h"
#include "configdata/interface_text.h"
#include "materials/texture_test_support.h"
#include "platform/kiv/res/texture_file.h"
#include "tests/support/temp_dir.h"
#include "validation/results_log.h"

namespace {

class TextureConversionTest : public ::testing::Test {
protected:
    TextureConversionTest() {
        database = AcquireResourceDatabase(Kiv::PString("conversion-test"), dir / "editing");
    }
    ~TextureConversionTest() override {
        ReleaseResourceDatabase(database);
        PurgeResourceDatabases();
    }

    // A description and its image in the asset folder.
    void Asset(const std::string& rel, const std::string& text = "Primary=p.tga\n",
               uint32_t side = 64) {
        const std::string folder = std::filesystem::path(rel).parent_path().string();
        dir.Write("editing/" + (folder.empty() ? "" : folder + "/") + "p.tga",
                  texture_test::GradientTga(side, side));
        dir.Write("editing/" + rel, text);
    }
    static std::string Failed(const std::string& description) {
        return std::string(GetInterfaceString("$wex_texture_compress_err").c_str()) + " (" +
               description + ")";
    }
    std::vector<std::string> Messages() {
        std::vector<std::string> texts;
        log.ForEachEntry([&](const ResultsLogEntry& e) { texts.push_back(e.text.c_str()); });
        return texts;
    }
    bool ReadsBack(const std::string& rel) {
        const std::string bytes = dir.Read(rel);
        Kiv::TextureFileContents read;
        return Kiv::ReadTextureFile({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()},
                                    read) == Kiv::TextureFileStatus::kOk;
    }

    testsupport::TempDir dir;
    Kiv::ResourceDatabase* database = nullptr;
    ResultsLog log;
};

TEST_F(TextureConversionTest, EveryDescriptionOfTheFolderAndItsSubFoldersIsConverted) {
    Asset("a/body.texture.txt");
    Asset("a/parts/Texture.TXT");
    Asset("a/parts/wheel.TEXTURE.txt", "Primary=p.tga\nCompression=dxt5\n");
    dir.Write("editing/a/notes.txt", "Primary=p.tga\n");
    EXPECT_TRUE(CompressTexturesInFolder(dir / "editing/a", log));
    EXPECT_TRUE(Messages().empty());
    EXPECT_TRUE(ReadsBack("editing/a/body.texture"));
    EXPECT_TRUE(ReadsBack("editing/a/parts/Texture"));
    EXPECT_TRUE(ReadsBack("editing/a/parts/wheel.TEXTURE"));
    EXPECT_FALSE(std::filesystem::exists(dir / "editing/a/notes"));
    // The descriptions are where they were, under their own names, and nothing else appeared.
    size_t entries = 0;
    for (auto& e : std::filesystem::recursive_directory_iterator(dir / "editing/a")) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 10u);  // 3 descriptions, 3 outputs, notes, 2 images, the sub-folder
}

TEST_F(TextureConversionTest, AFolderWithoutDescriptionsSucceedsQuietly) {
    dir.Write("editing/empty/readme.txt", "x");
    EXPECT_TRUE(CompressTexturesInFolder(dir / "editing/empty", log));
    EXPECT_TRUE(Messages().empty());
}

TEST_F(TextureConversionTest, AFolderThatCannotBeSearchedIsReportedWithItsPath) {
    EXPECT_FALSE(CompressTexturesInFolder(dir / "editing/none", log));
    EXPECT_EQ(Messages(),
              std::vector<std::string>{"Unable to search path: '" + dir / "editing/none" + "'"});
}

TEST_F(TextureConversionTest, ADescriptionOutsideEveryDatabaseIsNotConverted) {
    dir.Write("elsewhere/p.tga", texture_test::GradientTga(64, 64));
    const std::string description = dir.Write("elsewhere/x.texture.txt", "Primary=p.tga\n");
    EXPECT_FALSE(CompressTexturesInFolder(dir / "elsewhere", log));
    EXPECT_EQ(Messages(), (std::vector<std::string>{
                              "Unable to determine relative path for '" + description + "'",
                              Failed(description)}));
    EXPECT_FALSE(std::filesystem::exists(dir / "elsewhere/x.texture"));
}

TEST_F(TextureConversionTest, AFailedConversionKeepsTheOldOutputAndFailsTheWhole) {
    Asset("b/good.texture.txt");
    Asset("b/sub/bad.texture.txt", "Primary=missing.tga\n");
    dir.Write("editing/b/sub/bad.texture", "the old output");
    EXPECT_FALSE(CompressTexturesInFolder(dir / "editing/b", log));
    EXPECT_TRUE(ReadsBack("editing/b/good.texture"));
    EXPECT_EQ(dir.Read("editing/b/sub/bad.texture"), "the old output");
    const std::vector<std::string> messages = Messages();
    ASSERT_EQ(messages.size(), 2u);
    // Without the interface texts loaded, a key stands for its text.
    EXPECT_TRUE(messages[0] == "$wextexture_load_error" ||
                (messages[0].find("sub/bad.convert-tex.txt") != std::string::npos &&
                 messages[0].find("could not be loaded") != std::string::npos))
        << messages[0];
    EXPECT_EQ(messages[1], Failed(dir / "editing/b/sub/bad.texture.txt"));
    // The alias is gone with the job: the same description converts again once mended.
    dir.Write("editing/b/sub/bad.texture.txt", "Primary=../p.tga\n");
    dir.Write("editing/b/sub/p.tga", texture_test::GradientTga(8, 8));
    dir.Write("editing/b/sub/bad.texture.txt", "Primary=p.tga\n");
    ResultsLog again;
    EXPECT_TRUE(CompressTexturesInFolder(dir / "editing/b", again));
    EXPECT_TRUE(ReadsBack("editing/b/sub/bad.texture"));
}

TEST_F(TextureConversionTest, SymbolicLinksAndPipesAreLeftAlone) {
    dir.Write("outside/p.tga", texture_test::GradientTga(64, 64));
    dir.Write("outside/o.texture.txt", "Primary=p.tga\n");
    std::filesystem::create_directories(dir / "editing/c");
    std::filesystem::create_directory_symlink(dir / "outside", dir / "editing/c/linked");
    std::filesystem::create_symlink(dir / "outside/o.texture.txt", dir / "editing/c/l.texture.txt");
    // A pipe would never end: it is no description.
    ASSERT_EQ(::mkfifo((dir / "editing/c/pipe.texture.txt").c_str(), 0600), 0);
    EXPECT_TRUE(CompressTexturesInFolder(dir / "editing/c", log));
    EXPECT_TRUE(Messages().empty());
    EXPECT_FALSE(std::filesystem::exists(dir / "outside/o.texture"));
    EXPECT_FALSE(std::filesystem::exists(dir / "editing/c/l.texture"));
}

TEST(TextureOutputName, IsTheDescriptionsNameWithoutItsTxt) {
    EXPECT_EQ(TextureOutputName("body.texture.txt"), "body.texture");
    EXPECT_EQ(TextureOutputName("Texture.TXT"), "Texture");
}

}  // namespace
