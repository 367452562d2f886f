// Start-up's folder work on a temporary install tree: the roots found from the program's
// path, UserData made and checked writable (a failure ends the process: run in a child), the
// sub-folders, the old "trash" folder, the seeded settings, the substitutions and the held
// resource databases; then the getters and the location split.
#include "assetdb/data_folders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "assetdb/resource_db_registry.h"
#include "foundation/data_root.h"
#include "platform/kiv/base/file.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

class DataFolders : public ::testing::Test {
protected:
    void TearDown() override {
        ReleaseDataFolders();
        PurgeResourceDatabases();
        SetFolderRoots("", "");
    }

    testsupport::TempDir dir;
    const std::string install = dir / "Product";
    const std::string data = install + "/UserData";
};

TEST_F(DataFolders, StartUpPreparesUserDataBesideTheProgramsFolder) {
    dir.Write("Product/prebuilt/settings/defaults.txt", "seed");
    dir.Write("Product/UserData/trash/old/file.txt", "kept");

    SetUpDataFolders(install + "/bin/HalvexUtil");
    EXPECT_EQ(GetInstallRoot().str(), install);
    EXPECT_EQ(GetDataRoot().str(), data);
    for (const char* sub : {"cache", "backups", "bookmarks", "sessions", "water", "local",
                            "original", "editing", "settings"})
        EXPECT_TRUE(fs::is_directory(data + "/" + sub)) << sub;
    EXPECT_FALSE(fs::exists(data + "/trash"));
    EXPECT_EQ(dir.Read("Product/UserData/backups/old/file.txt"), "kept");
    EXPECT_EQ(dir.Read("Product/UserData/settings/defaults.txt"), "seed");
    // Nothing of the write check is left behind.
    for (const auto& e : fs::directory_iterator(data))
        EXPECT_TRUE(e.is_directory()) << e.path();

    EXPECT_EQ(Kiv::File::ResolveSubst("scripts/a.gs"), install + "/scripts/a.gs");
    EXPECT_EQ(Kiv::File::ResolveSubst("libraries\\b.gsl"), data + "/libraries/b.gsl");

    // The seven databases are held for the run; a second preparation holds no more.
    EXPECT_EQ(ResourceDatabaseCount(), 7u);
    Kiv::ResourceDatabase* local = AcquireResourceDatabase(Kiv::PString("local"), "");
    ASSERT_NE(local, nullptr);
    EXPECT_EQ(local->GetFolder().str(), data + "/local");
    ReleaseResourceDatabase(local);
    PrepareUserDataFolders();
    EXPECT_EQ(ResourceDatabaseUseCount(local), 1u);

    ReleaseDataFolders();
    EXPECT_EQ(ResourceDatabaseUseCount(local), 0u);
    EXPECT_EQ(Kiv::File::ResolveSubst("scripts/a.gs"), "scripts/a.gs");
}

TEST_F(DataFolders, SettingsAreSeededOnceAndBackupsWinOverTrash) {
    dir.Write("Product/prebuilt/settings/defaults.txt", "seed");
    dir.Write("Product/UserData/settings/mine.txt", "mine");
    dir.Write("Product/UserData/trash/t.txt");
    dir.Write("Product/UserData/backups/b.txt");
    FindInstallAndUserData(install);
    PrepareUserDataFolders();
    EXPECT_FALSE(fs::exists(data + "/settings/defaults.txt"));
    EXPECT_TRUE(fs::exists(data + "/trash/t.txt"));
    EXPECT_FALSE(fs::exists(data + "/backups/t.txt"));

    fs::remove(data + "/settings/mine.txt");
    PrepareUserDataFolders();
    EXPECT_EQ(dir.Read("Product/UserData/settings/defaults.txt"), "seed");
}

TEST_F(DataFolders, InstallPathFormsGiveTheSameRoots) {
    for (const std::string& form :
         {install, install + "/", install + "//", install + "/./", install + "/bin/.."}) {
        FindInstallAndUserData(form);
        EXPECT_EQ(GetInstallRoot().str(), install) << form;
        EXPECT_EQ(GetDataRoot().str(), data) << form;
    }
}

TEST_F(DataFolders, UnusableInstallPathsEndTheProcess) {
    struct Case {
        std::string path;
        const char* error;
    };
    dir.Write("Product/UserData", "a plain file where the folder should be");
    const Case cases[] = {
        {"", "Error: Unable to determine application installation path.\n"},
        {install, "Error: Unable to acquire write access to UserData folder.\n"},
    };
    for (const Case& c : cases) {
        testsupport::ChildResult r = testsupport::RunInChild([&] {
            FindInstallAndUserData(c.path);
            std::printf("returned\n");
        });
        EXPECT_EQ(r.ExitCode(), 1) << c.path;
        EXPECT_EQ(r.err, c.error) << c.path;
        EXPECT_EQ(r.out.find("returned"), std::string::npos) << c.path;
    }
}

TEST_F(DataFolders, GettersJoinTheirRootAndAreEmptyWithoutIt) {
    struct Case {
        Kiv::File::Path (*get)();
        std::string path;
    };
    const Case cases[] = {
        {GetPrebuiltFolder, "/i/prebuilt"},    {GetLibrariesFolder, "/i/UserData/libraries/"},
        {GetScriptsFolder, "/i/scripts/"},     {GetBuiltinFolder, "/i/builtin"},
        {GetPluginFolder, "/i/bin/plugins"},   {GetDaemonExecutablePath, "/i/bin/wexdaemon"},
        {GetDataRootPath, "/i/UserData"},      {GetDatabaseFilePath, "/i/UserData/assets.wbi"},
        {GetCacheFolder, "/i/UserData/cache"},
    };
    SetFolderRoots("/i", "/i/UserData");
    for (const Case& c : cases)
        EXPECT_EQ(c.get().str(), c.path);
    SetFolderRoots("", "");
    for (const Case& c : cases)
        EXPECT_TRUE(c.get().IsEmpty()) << c.path;
    EXPECT_TRUE(GetLibrariesCacheFolder().IsEmpty());

    FindInstallAndUserData(install);
    EXPECT_EQ(GetLibrariesCacheFolder().str(), data + "/cache/libraries");
    EXPECT_EQ(GetProgramPath().str(), fs::read_symlink("/proc/self/exe").string());
    EXPECT_TRUE(fs::is_directory(data + "/cache/libraries"));
}

TEST_F(DataFolders, FullPathsSplitIntoLocationAndRest) {
    SetFolderRoots("/i/Product", "/i/Product/UserData");
    struct Case {
        const char* path;
        const char* location;
        const char* rest;
    };
    const Case cases[] = {
        {"/i/Product/UserData/local/kuid 1 2/config.txt", "local", "kuid 1 2/config.txt"},
        {"\\i\\product\\userdata\\Editing\\a", "Editing", "a"},
        {"/i/Product/UserData/local", "local", ""},
        {"/i/Product/builtin/x/y", "builtin\\", "x/y"},
        {"/i/Product/Base/z", "base", "z"},
        {"/i/Product/data/z", "data", "z"},
        {"/i/Product/Other/z", "", ""},
        {"/elsewhere/UserData/local/a", "", ""},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        LocationPath split = SplitLocationPath(c.path);
        EXPECT_EQ(split.location, c.location) << c.path;
        EXPECT_EQ(split.rest, c.rest) << c.path;
    }
    EXPECT_EQ(MakeRelativeToInstallRoot("/I/Product/Data/X.txt").str(), "data\\x.txt");
    EXPECT_EQ(MakeRelativeToDataRoot("/i/Product/UserData/Local/A").str(), "local\\a");
    EXPECT_TRUE(MakeRelativeToDataRoot("/i/Product/Data/X.txt").IsEmpty());
}

}  // namespace
