#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "foundation/data_root.h"
#include "foundation/file_utils.h"
#include "platform/kiv/base/log.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// An install tree in a temporary folder, with its roots set for the test.
class Locations : public ::testing::Test {
protected:
    void SetUp() override {
        root = dir / "install/UserData";
        fs::create_directories(root);
        SetFolderRoots(dir / "install", root);
        logId = Kiv::Log::AddListener([this](std::string_view line) { log.emplace_back(line); });
    }
    void TearDown() override {
        Kiv::Log::RemoveListener(logId);
        SetFolderRoots("", "");
    }

    testsupport::TempDir dir;
    std::string root;
    std::vector<std::string> log;
    int logId = 0;
};

TEST_F(Locations, LocationNamesMapToDataOrInstallFolders) {
    struct Case {
        const char* location;
        std::string folder;
    };
    const std::string install = dir / "install";
    const Case cases[] = {
        {"local", root + "/local"},
        {"Editing", root + "/editing"},
        {"backups", root + "/backups"},
        {"settings", root + "/settings"},
        {"base", install + "/base"},
        {"builtin\\", install + "/builtin\\"},
        {"", ""},
        {".", ""},
        {"..", ""},
        {"local/../..", ""},
        {"a\\b", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GetDataFolder(c.location).str(), c.folder) << c.location;

    SetFolderRoots("", "");
    EXPECT_TRUE(GetDataFolder("local").IsEmpty());
    EXPECT_TRUE(CreateTemporaryFilePath().IsEmpty());
}

TEST_F(Locations, PathsWithALocationStayInsideIt) {
    const std::string local = root + "/local";
    struct Case {
        std::string path;
        std::string resolved;
    };
    const Case cases[] = {
        {"asset/config.txt", local + "/asset/config.txt"},
        {"asset\\sub", local + "/asset\\sub"},
        {local + "/inside", local + "/inside"},
        {"a/../b", local + "/a/../b"},
        {"../editing/x", ""},
        {"a/../../x", ""},
        {root + "/editing/x", ""},
        {"/etc/passwd", ""},
        {".", ""},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveInLocation("local", c.path).str(), c.resolved) << c.path;
}

TEST_F(Locations, MakeRenameAndTestInsideALocation) {
    EXPECT_TRUE(MakeLocationDirectory("local", "kuid 1 2/sub"));
    EXPECT_TRUE(fs::is_directory(root + "/local/kuid 1 2/sub"));
    EXPECT_TRUE(PathExists("local", "kuid 1 2/sub"));
    EXPECT_TRUE(PathExists("", root + "/local/kuid 1 2"));
    dir.Write("install/UserData/editing/x");
    EXPECT_TRUE(PathExists("editing", "x"));
    EXPECT_FALSE(PathExists("local", "../editing/x"));  // not in the location asked for

    EXPECT_FALSE(MakeLocationDirectory("local", "../../escaped"));
    EXPECT_FALSE(MakeLocationDirectory("", "relative/folder"));  // nowhere to put it
    EXPECT_TRUE(MakeLocationDirectory("", dir / "absolute/folder"));
    EXPECT_FALSE(fs::exists(dir / "escaped"));
    EXPECT_FALSE(fs::exists("relative"));

    dir.Write("install/UserData/local/kuid 1 2/config.txt", "mine");
    EXPECT_TRUE(RenameLocationPath("local", "kuid 1 2", "kuid 1 3"));
    EXPECT_EQ(dir.Read("install/UserData/local/kuid 1 3/config.txt"), "mine");
    EXPECT_FALSE(RenameLocationPath("local", "kuid 1 3", "../../moved"));
    EXPECT_TRUE(fs::exists(root + "/local/kuid 1 3"));
}

TEST_F(Locations, RenameNeverReplacesAnEntry) {
    dir.Write("install/UserData/local/a.txt", "a");
    dir.Write("install/UserData/local/b.txt", "b");
    EXPECT_FALSE(RenameLocationPath("local", "a.txt", "b.txt"));
    EXPECT_EQ(dir.Read("install/UserData/local/a.txt"), "a");
    EXPECT_EQ(dir.Read("install/UserData/local/b.txt"), "b");

    // The old "trash" folder becomes "backups" when there is none.
    dir.Write("install/UserData/trash/old.bak", "kept");
    EXPECT_TRUE(RenameLocationPath("", root + "/trash", root + "/backups"));
    EXPECT_EQ(dir.Read("install/UserData/backups/old.bak"), "kept");
}

TEST_F(Locations, DeleteRemovesAFileOrAWholeFolder) {
    dir.Write("install/UserData/editing/asset/config.txt");
    dir.Write("install/UserData/editing/asset/mesh/body.im");
    dir.Write("install/UserData/editing/loose.txt");
    EXPECT_TRUE(DeleteLocationPath("editing", "loose.txt"));
    EXPECT_TRUE(DeleteLocationPath("editing", "asset"));
    EXPECT_TRUE(fs::is_empty(root + "/editing"));
    EXPECT_FALSE(DeleteLocationPath("editing", "asset"));  // nothing left to delete

    dir.Write("install/UserData/cache/x.tmp");
    dir.Write("install/UserData/sessions/s.dat");
    EXPECT_TRUE(DeleteLocationPath("", root + "/cache"));
    std::string backslashed = root + "\\sessions\\s.dat";  // as read from a file
    EXPECT_TRUE(DeleteLocationPath("", backslashed));
    EXPECT_FALSE(fs::exists(root + "/cache"));
    EXPECT_FALSE(fs::exists(root + "/sessions/s.dat"));
}

TEST_F(Locations, DeleteRefusesPathsOutsideItsLocation) {
    dir.Write("install/UserData/local/keep.txt", "keep");
    dir.Write("install/Base/product.txt", "product");
    dir.Write("victim/precious.txt", "precious");
    struct Case {
        const char* location;
        std::string path;
    };
    const Case cases[] = {
        {"local", ""},
        {"local", "."},
        {"local", ".."},
        {"local", "../.."},
        {"local", "/"},
        {"local", dir / "victim"},
        {"local", "../../../victim"},
        {"", ""},
        {"", "."},
        {"", "/"},
        {"", root},  // the data root itself
        {"", dir / "install/Base"},
        {"", dir / "victim"},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(DeleteLocationPath(c.location, c.path)) << c.location << ": " << c.path;
    EXPECT_EQ(dir.Read("install/UserData/local/keep.txt"), "keep");
    EXPECT_EQ(dir.Read("install/Base/product.txt"), "product");
    EXPECT_EQ(dir.Read("victim/precious.txt"), "precious");
    EXPECT_FALSE(log.empty());  // each refusal says why
}

TEST_F(Locations, DeleteRemovesLinksNeverTheirTargets) {
    dir.Write("victim/precious.txt", "precious");
    fs::create_directories(root + "/local/asset");
    fs::create_directory_symlink(dir / "victim", root + "/local/asset/link-to-folder");
    fs::create_symlink(dir / "victim/precious.txt", root + "/local/link-to-file");
    fs::create_directory_symlink(dir / "victim", root + "/local/way-out");

    // Through a link that leads out of the location: refused.
    EXPECT_FALSE(DeleteLocationPath("local", "way-out/precious.txt"));
    // The link itself, and a folder holding one: only the links go.
    EXPECT_TRUE(DeleteLocationPath("local", "link-to-file"));
    EXPECT_TRUE(DeleteLocationPath("local", "way-out"));
    EXPECT_TRUE(DeleteLocationPath("local", "asset"));
    EXPECT_TRUE(fs::is_empty(root + "/local"));
    EXPECT_EQ(dir.Read("victim/precious.txt"), "precious");
}

TEST_F(Locations, TemporaryPathsLieInTheDataRootOrTheLocation) {
    Kiv::File::Path inRoot = CreateTemporaryFilePath();
    EXPECT_EQ(inRoot.GetFolder(), root);
    fs::create_directories(root + "/editing");
    Kiv::File::Path inEditing = CreateTemporaryFilePath("editing");
    EXPECT_EQ(inEditing.GetFolder(), root + "/editing");
    EXPECT_TRUE(CreateTemporaryFilePath("..").IsEmpty());
}

TEST_F(Locations, ThinningKeepsTheNewestDatedBackups) {
    std::vector<std::string> dated;
    for (int month = 1; month <= 12; ++month) {
        char name[16];
        std::snprintf(name, sizeof name, "24-%02d-15", month);
        dated.push_back(name);
        dir.Write("install/UserData/backups/" + dated.back() + "/asset/config.txt");
    }
    dir.Write("install/UserData/backups/notes/readme.txt");
    dir.Write("install/UserData/backups/23-1-01/x");     // not a dated name
    dir.Write("install/UserData/backups/23-01-01.txt");  // a file, not a folder
    dir.Write("victim/precious.txt", "precious");
    fs::create_directory_symlink(dir / "victim", root + "/backups/22-01-01");

    ThinBackupsFolder();
    std::vector<std::string> left;
    for (const auto& entry : fs::directory_iterator(root + "/backups"))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected(dated.begin() + 2, dated.end());
    expected.insert(expected.end(), {"22-01-01", "23-01-01.txt", "23-1-01", "notes"});
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    EXPECT_EQ(dir.Read("victim/precious.txt"), "precious");
    EXPECT_EQ(log,
              (std::vector<std::string>{
                  "ThinBackupsFolder> Deleting backup folder '" + root + "/backups/24-01-15'",
                  "ThinBackupsFolder> Deleting backup folder '" + root + "/backups/24-02-15'"}));
}

}  // namespace
