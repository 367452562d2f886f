#include "configdata/soup_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "configdata/soup_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace souptest;  // NOLINT: the fixture helpers of every soup test

TDBTagRef Sample() {
    TDBTagRef root = NewContainer();
    AddValue(root, "kind", kTagText, std::string("scenery\0", 8));
    AddValue(AddContainer(root, "mesh-table"), "lod", kTagFloat, std::string("\0\0\x80\x3F", 4));
    return root;
}

TEST(SoupFile, AWrittenFileReadsBackAndASecondWriteIsTheSameBytes) {
    testsupport::TempDir dir;
    std::string path = dir / "config.chump";
    ASSERT_TRUE(WriteTagTreeBinaryFile(Sample(), path));
    TDBTagRef back;
    ASSERT_TRUE(ReadTagTreeBinaryFile(path, back));
    EXPECT_EQ(Dump(back), Dump(Sample()));

    std::string first = dir.Read("config.chump");
    ASSERT_TRUE(WriteTagTreeBinaryFile(back, dir / "again.chump"));
    EXPECT_EQ(dir.Read("again.chump"), first);
    // Only the two files: no twin left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);
}

TEST(SoupFile, ReplacingAFileThatIsBeingReadLeavesTheReaderItsBytes) {
    testsupport::TempDir dir;
    std::string path = dir / "config.chump";
    ASSERT_TRUE(WriteTagTreeBinaryFile(Sample(), path));
    TDBTagRef view;
    ASSERT_TRUE(ReadTagTreeBinaryFile(path, view));
    // Written over its own source: the view holds the loaded bytes, the file gets the new tree.
    view->RemoveChild(view->FindChildForEdit(Kiv::PString("kind")));
    ASSERT_TRUE(WriteTagTreeBinaryFile(view, path));
    TDBTagRef back;
    ASSERT_TRUE(ReadTagTreeBinaryFile(path, back));
    EXPECT_EQ(Dump(back), "mesh-table{lod:3=0000803f;};");
}

TEST(SoupFile, AFailedWriteKeepsTheOldFileAndLeavesNoTwin) {
    testsupport::TempDir dir;
    std::string path = dir / "config.chump";
    ASSERT_TRUE(WriteTagTreeBinaryFile(Sample(), path));
    std::string before = dir.Read("config.chump");

    TDBTagRef tooDeep = NewContainer();
    TDBTagRef at = tooDeep;
    for (uint32_t i = 0; i <= kMaxTagTreeDepth; ++i)
        at = AddContainer(at, "n");
    EXPECT_FALSE(WriteTagTreeBinaryFile(tooDeep, path));
    EXPECT_EQ(dir.Read("config.chump"), before);
    EXPECT_FALSE(std::filesystem::exists(path + ".partial"));

    EXPECT_FALSE(WriteTagTreeBinaryFile(Sample(), dir / "missing-folder/config.chump"));
}

TEST(SoupFile, MissingOrRefusedFilesReadAsFailures) {
    testsupport::TempDir dir;
    TDBTagRef out = NewContainer();
    EXPECT_FALSE(ReadTagTreeBinaryFile(dir / "absent.chump", out));
    EXPECT_FALSE(out);
    std::string text = dir.Write("config.txt", "kind \"scenery\"\n");
    EXPECT_FALSE(ReadTagTreeBinaryFile(text, out));
    EXPECT_FALSE(out);
}

}  // namespace
