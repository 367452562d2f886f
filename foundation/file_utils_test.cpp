#include "foundation/file_utils.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> Listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        names.push_back(fs::relative(entry.path(), folder).string());
    std::sort(names.begin(), names.end());
    return names;
}

// Bytes of every value, past the copy chunk, so that chunk seams and NULs are exercised.
std::string BinaryBody() {
    std::string body;
    for (int i = 0; i < 200000; ++i)
        body += static_cast<char>(i * 7 % 256);
    return body;
}

class FileUtils : public ::testing::Test {
protected:
    testsupport::TempDir dir;
};

TEST_F(FileUtils, FindsEntriesAndFilesWithoutFollowingLinks) {
    dir.Write("tree/readme.txt");
    dir.Write("tree/sub/deep/Config.txt");
    fs::create_directories(dir / "tree/empty");
    dir.Write("outside/secret.key");
    fs::create_directory_symlink(dir / "outside", dir / "tree/link");

    struct Case {
        const char* pattern;
        const char* folder;
        bool inFolder;
        bool recursive;
    };
    const Case cases[] = {
        {"*.txt", "tree", true, true},        {"", "tree", true, true},
        {"config.txt", "tree", false, true},   // found in a sub-folder, ignoring case
        {"sub", "tree", true, false},          // a folder is an entry, not a file
        {"secret.key", "tree", false, false},  // only behind the link
        {"", "tree/empty", false, false},      // "." and ".." do not count
        {"*", "missing", false, false},
    };
    for (const Case& c : cases) {
        std::string folder = dir / c.folder;
        EXPECT_EQ(FindInFolder(c.pattern, folder), c.inFolder) << c.pattern << " in " << c.folder;
        EXPECT_EQ(FindFileRecursive(c.pattern, folder), c.recursive)
            << c.pattern << " under " << c.folder;
    }
}

TEST_F(FileUtils, CopyFileReplacesTheTargetWhole) {
    std::string body = BinaryBody();
    dir.Write("in/source.bin", body);
    dir.Write("out/target.bin", "old contents");
    ASSERT_TRUE(CopyFileContents(dir / "in/source.bin", dir / "out/target.bin"));
    EXPECT_EQ(dir.Read("out/target.bin"), body);
    EXPECT_EQ(Listing(dir / "out"), std::vector<std::string>{"target.bin"});  // no twin left
}

TEST_F(FileUtils, FailedCopyKeepsTheOldTargetAndLeavesNoTwin) {
    dir.Write("out/target.bin", "old contents");
    fs::create_directories(dir / "a folder");
    for (const char* source : {"missing.bin", "a folder"}) {
        EXPECT_FALSE(CopyFileContents(dir / source, dir / "out/target.bin")) << source;
        EXPECT_EQ(dir.Read("out/target.bin"), "old contents");
        EXPECT_EQ(Listing(dir / "out"), std::vector<std::string>{"target.bin"});
    }
    dir.Write("source.bin", "x");
    EXPECT_FALSE(CopyFileContents(dir / "source.bin", dir / "no/such/folder/target.bin"));
}

TEST_F(FileUtils, ReplacingWriteKeepsTheOldFileUnlessEveryWriteSucceeded) {
    std::string target = dir.Write("config.txt", "old");
    EXPECT_FALSE(WriteFileReplacing(target, [](TStream& out) {
        out.WriteString("half");
        return false;  // the writer gave up
    }));
    EXPECT_FALSE(WriteFileReplacing(target, [](TStream& out) {
        out.SetError(TStream::kErrorDevice);  // a write failed on the way
        return true;
    }));
    EXPECT_EQ(dir.Read("config.txt"), "old");
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"config.txt"});

    EXPECT_TRUE(WriteFileReplacing(target, [](TStream& out) { return out.Write("new", 3) == 3; }));
    EXPECT_EQ(dir.Read("config.txt"), "new");
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"config.txt"});
}

TEST_F(FileUtils, CopyFolderCopiesTheTreeButNotLinkedFoldersNorLinkedFilesWhenTold) {
    dir.Write("src/a.txt", "a");
    dir.Write("src/sub/b.bin", BinaryBody());
    fs::create_directories(dir / "src/sub/empty");
    dir.Write("elsewhere/c.txt", "c");
    fs::create_directory_symlink(dir / "elsewhere", dir / "src/linked-folder");
    fs::create_symlink(dir / "elsewhere/c.txt", dir / "src/linked-file.txt");

    ASSERT_TRUE(CopyFolderRecursive(dir / "src", dir / "dst/copy"));
    EXPECT_EQ(
        Listing(dir / "dst/copy"),
        (std::vector<std::string>{"a.txt", "linked-file.txt", "sub", "sub/b.bin", "sub/empty"}));
    EXPECT_EQ(dir.Read("dst/copy/sub/b.bin"), BinaryBody());
    EXPECT_EQ(dir.Read("dst/copy/linked-file.txt"), "c");
    EXPECT_FALSE(fs::is_symlink(dir / "dst/copy/linked-file.txt"));

    // Told to, it leaves the linked file out too: only the tree's own files come along.
    fs::create_symlink(dir / "elsewhere/c.txt", dir / "src/sub/deeper-link.txt");
    ASSERT_TRUE(CopyFolderRecursive(dir / "src", dir / "dst/own", FileLinks::kSkip));
    EXPECT_EQ(Listing(dir / "dst/own"),
              (std::vector<std::string>{"a.txt", "sub", "sub/b.bin", "sub/empty"}));
}

TEST_F(FileUtils, CopyFolderRefusesToCopyIntoItself) {
    dir.Write("src/a.txt", "a");
    EXPECT_FALSE(CopyFolderRecursive(dir / "src", dir / "src/inner"));
    EXPECT_FALSE(CopyFolderRecursive(dir / "src", dir / "src"));
    EXPECT_FALSE(CopyFolderRecursive(dir / "missing", dir / "dst"));
    EXPECT_EQ(Listing(dir / "src"), std::vector<std::string>{"a.txt"});
}

TEST_F(FileUtils, TemporaryNamesAreFreshAndWellFormed) {
    const std::regex shape("temp-[0-9a-z]{8}[0-9]+\\.tmp");
    std::set<std::string> seen;
    for (int i = 0; i < 20; ++i) {
        Kiv::File::Path path = FormTemporaryFilePath(dir.path());
        ASSERT_FALSE(path.IsEmpty());
        EXPECT_EQ(path.GetFolder(), dir.path());
        EXPECT_TRUE(std::regex_match(std::string(path.GetFileName()), shape)) << path.str();
        EXPECT_TRUE(IsTemporaryFileName(path.GetFileName())) << path.str();
        EXPECT_FALSE(EntryExists(path.view()));
        EXPECT_TRUE(seen.insert(path.str()).second) << "repeated " << path.str();
        dir.Write(std::string(path.GetFileName()));  // taken now
    }
}

TEST(TemporaryFileName, OnlyTheFormThatIsMadeIsRecognised) {
    for (const char* name : {"temp-abcdefgh1.tmp", "temp-0123456z42.tmp"})
        EXPECT_TRUE(IsTemporaryFileName(name)) << name;
    for (const char* name : {"temp-abcdefgh.tmp", "temp-abcdefg1.tmp", "temp-ABCDEFGH1.tmp",
                             "temp-abcdefgh1x.tmp", "temp-abcdefgh1.tmp.txt", "xtemp-abcdefgh1.tmp",
                             "temp-abcdefgh1.TMP", "temp-abc/efgh1.tmp", "config.tmp", ""})
        EXPECT_FALSE(IsTemporaryFileName(name)) << name;
}

TEST_F(FileUtils, EntryTestsDoNotFollowLinks) {
    fs::create_symlink(dir / "nowhere", dir / "dangling");
    EXPECT_TRUE(EntryExists(dir / "dangling"));
    EXPECT_TRUE(IsSymbolicLink(dir / "dangling"));
    EXPECT_FALSE(Kiv::File::IsPresent(dir / "dangling"));
    EXPECT_FALSE(EntryExists(dir / "nowhere"));
    EXPECT_FALSE(IsSymbolicLink(dir.path()));
}

}  // namespace
