// The content service end to end: archives made by the program itself are put in a folder the
// daemon's stand-in service serves, and the staged programs fetch and install from it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "archive/cdp_pack.h"
#include "archive/cdp_write.h"
#include "configdata/tdb_container_tag.h"
#include "tests/e2e/harness.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using e2e::PosixExitCode;

constexpr const char* kClean = "OK (0 Errors, 0 Warnings)\n";
const std::string kShed = "<kuid:424242:101>", kRoof = "<kuid:424242:102>",
                  kTile = "<kuid:424242:103>";

size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

class Vendrix : public testing::Test {
protected:
    e2e::RunResult Run(const std::vector<std::string>& args, const e2e::RunOptions& options = {}) {
        e2e::RunResult r = tree.Run("HalvexUtil", args, options);
        EXPECT_EQ(r.err, "") << args[0];
        EXPECT_EQ(r.signal, 0) << args[0];
        return r;
    }
    std::string Service() const { return tree.WorkDir() + "/service"; }
    std::string DaemonLog() const { return tree.ReadFile(tree.Root() + "/UserData/wexdaemon.log"); }
    void SetService(const std::string& folder) {
        tree.WriteFile(tree.Root() + "/UserData/settings/vendrix.txt",
                       "folder \"" + folder + "\"\n");
    }
    // A shed that needs a roof that needs a tile, each archived alone in the service's folder;
    // the tile stays installed here, the other two are taken out again.
    void FillService() {
        tree.WriteFile("work/src/shed/config.txt",
                       "kuid " + kShed +
                           "\nkind \"scenery\"\nusername \"Shed\"\ncategory-class \"BD\"\n"
                           "halvex-build 3.5\nmesh-asset " +
                           kRoof + "\n");
        tree.WriteFile("work/src/shed/shed.im", std::string(2000, 's'));
        tree.WriteFile("work/src/roof/config.txt",
                       "kuid " + kRoof +
                           "\nkind \"mesh\"\nusername \"Roof\"\nhalvex-build 3.5\n"
                           "texture-asset " +
                           kTile + "\n");
        tree.WriteFile("work/src/tile/config.txt",
                       "kuid " + kTile + "\nkind \"mesh\"\nusername \"Tile\"\nhalvex-build 3.5\n");
        ASSERT_EQ(Run({"installfrompath", tree.WorkDir() + "/src"}).exitCode, 0);
        fs::create_directories(Service());
        for (const auto& [name, kuid] :
             {std::pair{"shed", kShed}, std::pair{"roof", kRoof}, std::pair{"tile", kTile}}) {
            e2e::RunResult r = Run({"createcdp", Service() + "/" + name + ".cdp", kuid});
            ASSERT_EQ(r.out, kClean) << name;
        }
        for (const std::string& kuid : {kShed, kRoof})
            ASSERT_EQ(Run({"delete", kuid}).exitCode, 0) << kuid;
    }
    e2e::InstallTree tree;
};

TEST_F(Vendrix, InstallFromVdxFetchesTheAssetAndWhatItLacks) {
    FillService();
    // No service set: the query fails and nothing is installed.
    e2e::RunResult r = Run({"installfromvdx", kShed});
    EXPECT_EQ(r.out,
              "- <NULL> : Failed to query VDX for " + kShed + "\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));

    SetService(Service());
    r = Run({"installfromvdx", kShed});
    EXPECT_EQ(r.out, "+ " + kShed + " : Asset " + kShed + " was installed.\n+ " + kRoof +
                         " : Asset " + kRoof + " was installed.\n" + kClean)
        << DaemonLog();
    EXPECT_EQ(r.exitCode, 0);
    // Installed, and offered by the service.
    EXPECT_EQ(Run({"status", kShed}).out.substr(0, kShed.size() + 12), "+ " + kShed + " : eIaDlmf");
    // What was fetched is gone again.
    EXPECT_TRUE(fs::is_empty(tree.Root() + "/UserData/cache/vendrix"));

    // Everything is here now: no request goes to the service.
    size_t requests = Count(DaemonLog(), "content service: request");
    r = Run({"installfromvdx", kShed});
    EXPECT_EQ(r.out, kClean);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Count(DaemonLog(), "content service: request"), requests);

    // An asset the service lacks: its page says "none", nothing is installed.
    r = Run({"installfromvdx", "<kuid:424242:999>"});
    EXPECT_EQ(r.out,
              "- <kuid:424242:999> : Asset <kuid:424242:999> was not installed.\n"
              "OK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
}

TEST_F(Vendrix, TheDownloadWaitsForADaemonThatFetchesSlowly) {
    FillService();
    SetService(Service());
    ASSERT_EQ(Run({"closewexdaemon"}).exitCode, 0);
    // The daemon started by hand, each fetch taking 300 ms; the program finds it running.
    std::string program = tree.Program("wexdaemon");
    std::vector<std::string> args{program, "-vendrixdelay=300"};
    std::vector<char*> argv{args[0].data(), args[1].data(), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    ASSERT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    e2e::RunResult r = Run({"installfromvdx", kShed});
    EXPECT_EQ(r.out, "+ " + kShed + " : Asset " + kShed + " was installed.\n+ " + kRoof +
                         " : Asset " + kRoof + " was installed.\n" + kClean)
        << DaemonLog();
    EXPECT_EQ(r.exitCode, 0);
    ASSERT_EQ(Run({"closewexdaemon"}).exitCode, 0);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

TEST_F(Vendrix, SearchByCategoryWithAllSourcesFindsWhatTheServiceLists) {
    FillService();
    SetService(Service());
    e2e::RunResult r = Run({"searchbycategory", "-a", "BD"});
    EXPECT_EQ(r.out,
              "+ 1 : assets matching the specified criteria\n+ #0 : " + kShed + "\n" + kClean);
    EXPECT_EQ(r.exitCode, 0);
    r = Run({"searchbycategory", "BD"});
    EXPECT_EQ(r.out, "+ 0 : assets matching the specified criteria\n" + std::string(kClean));
}

TEST_F(Vendrix, VdxParseInstallsListsAndArchivesEachAssetOfAnArchive) {
    FillService();
    SetService(Service());
    // Two assets, the first needing the roof, which only the service holds now.
    const std::string kBarn = "<kuid:424242:104>", kFence = "<kuid:424242:105>";
    tree.WriteFile("work/two/barn/config.txt",
                   "kuid " + kBarn +
                       "\nkind \"scenery\"\nusername \"Barn\"\ndescription \"Red\\nbarn\"\n"
                       "category-class \"BD\"\ncategory-region \"UK\"\nhalvex-build 3.5\n"
                       "mesh-asset " +
                       kRoof + "\n");
    tree.WriteFile("work/two/barn/thumbnail.jpg", "JPEG");
    tree.WriteFile("work/two/fence/config.txt",
                   "kuid " + kFence + "\nkind \"scenery\"\nusername \"Fence\"\nhalvex-build 3.5\n");
    ASSERT_EQ(Run({"installfrompath", tree.WorkDir() + "/two"}).exitCode, 0);
    fs::create_directories(tree.WorkDir() + "/out");
    ASSERT_EQ(Run({"createcdp", tree.WorkDir() + "/out/two.cdp", kBarn, kFence}).out, kClean);
    for (const std::string& kuid : {kBarn, kFence})
        ASSERT_EQ(Run({"delete", kuid}).exitCode, 0);

    e2e::RunResult r = Run({"vdxparse", tree.WorkDir() + "/out/two.cdp"});
    EXPECT_EQ(r.exitCode, 0) << r.out << DaemonLog();
    // Status lines first, then the log's lines, the listing lines among them.
    EXPECT_EQ(r.out.rfind("+ " + kBarn + " : eI", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("; " + kBarn + " : Name: Barn\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("; " + kBarn + " : Dependencies: " + kRoof + "\n"), std::string::npos);
    EXPECT_NE(r.out.find("; " + kFence + " : alias-kuid: <NULL>\n"), std::string::npos);
    // The roof came from the service.
    EXPECT_EQ(Run({"status", kRoof}).exitCode, 0);
    EXPECT_TRUE(fs::exists(tree.WorkDir() + "/out/kuid 424242 104.cdp"));
    EXPECT_EQ(tree.ReadFile(tree.WorkDir() + "/out/kuid 424242 104.jpg"), "JPEG");
    EXPECT_TRUE(fs::exists(tree.WorkDir() + "/out/kuid 424242 105.cdp"));

    // The one-asset archive installs the asset as it was.
    const auto before = tree.FilesBelow(tree.Root() + "/UserData/local/kuid 424242 104");
    ASSERT_EQ(Run({"delete", kBarn}).exitCode, 0);
    r = Run({"installcdp", tree.WorkDir() + "/out/kuid 424242 104.cdp"});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(tree.FilesBelow(tree.Root() + "/UserData/local/kuid 424242 104"), before);

    // An archive that cannot be read: that alone.
    tree.WriteFile("work/out/bad.cdp", "not an archive");
    r = Run({"vdxparse", tree.WorkDir() + "/out/bad.cdp"});
    EXPECT_EQ(r.out, "- <NULL> : Archive '" + tree.WorkDir() +
                         "/out/bad.cdp' could not be read.\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
}

TEST_F(Vendrix, VdxParseUndoesItsInstallsWhenOneFails) {
    // A good asset, then one whose packed file is cut short: it cannot be extracted.
    CdpArchive archive;
    for (int content : {130, 131}) {
        TDBTagRef entry = CdpNewAssetEntry();
        TDBContainerTag::SetKUID(entry, Kiv::PString("kuid"), KUID(424242, content));
        TDBContainerTag::SetString(entry, Kiv::PString("kind"), Kiv::PString("scenery"));
        TDBContainerTag::SetString(entry, Kiv::PString("username"), Kiv::PString("Piece"));
        TDBTagRef files;
        if (content == 131) {
            const uint8_t cut[2] = {0xFF, 0xFF};
            files = MakeCounted<TDBContainerTag>();
            files->AddChild(Kiv::PString("piece.im"),
                            TDBContainerTag::MakeTag(kTagRaw, MakeRawData(cut, sizeof cut)));
        } else {
            tree.WriteFile("work/piece/piece.im", "mesh");
            ASSERT_TRUE(CdpPackFolder(tree.WorkDir() + "/piece", files).IsEmpty());
        }
        TDBContainerTag::SetContainer(entry, Kiv::PString("files"), files);
        ASSERT_TRUE(CdpAddAsset(archive, entry).IsEmpty());
    }
    ASSERT_TRUE(CdpWrite(archive, tree.WorkDir() + "/broken.cdp").IsEmpty());

    e2e::RunResult r = Run({"vdxparse", tree.WorkDir() + "/broken.cdp"});
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
    const std::string last = "- <NULL> : Aborted processing\n";
    ASSERT_GE(r.out.size(), last.size());
    EXPECT_NE(r.out.find("+ <kuid:424242:130> : Asset <kuid:424242:130> was installed.\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find(last + "OK ("), std::string::npos) << r.out;
    // The database as it was: the asset this run made is gone again.
    EXPECT_EQ(Run({"status", "<kuid:424242:130>"}).exitCode, PosixExitCode(-1));
    EXPECT_FALSE(fs::exists(tree.Root() + "/UserData/local/kuid 424242 130"));
}

TEST_F(Vendrix, VdxParseFolderFilesTheExamplesAndWritesTheirSQL) {
    const std::string examples = std::string(HALVEX_SOURCE_DIR) + "/examples/assets";
    // The signal box is on the service already.
    fs::create_directories(Service());
    ASSERT_EQ(Run({"installfrompath", examples + "/scenery"}).exitCode, 0);
    ASSERT_EQ(Run({"createcdp", Service() + "/box.cdp", "<kuid:424242:101>"}).out, kClean);
    ASSERT_EQ(Run({"delete", "<kuid:424242:101>"}).exitCode, 0);
    SetService(Service());

    e2e::RunResult r = Run({"vdxparsefolder", examples});
    EXPECT_EQ(r.exitCode, 0) << r.out << DaemonLog();
    const std::string out = tree.Root() + "/UserData/Halvex Asset Parse";
    for (const char* file : {"VDX/buildingsstructures/kuid 424242 101.cdp",
                             "HALVEX2010-Builtin/track/kuid 424242 103.cdp",
                             "HALVEX2010-Builtin/miscellaneous/kuid 424242 102.cdp"})
        EXPECT_TRUE(fs::exists(out + "/" + file)) << file;
    std::string assets = tree.ReadFile(out + "/SQL_Asset_0.txt");
    EXPECT_EQ(Count(assets, "UPDATE Asset SET "), 5u) << assets;
    EXPECT_EQ(Count(assets, "WHERE KUID='424242:101'"), 0u);
    EXPECT_NE(assets.find("UPDATE Asset SET AssetTypeID=19,ProductID=198,"), std::string::npos)
        << assets;
    // One line each, in the order the folders were listed.
    std::vector<std::string> lines;
    std::istringstream kuids(tree.ReadFile(out + "/kuids.txt"));
    for (std::string line; std::getline(kuids, line);)
        lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(lines, (std::vector<std::string>{"424242:102\r", "424242:103\r", "424242:104\r",
                                               "424242:105\r", "424242:106\r"}));
    // Nothing stays installed; each went to the backups.
    EXPECT_EQ(Run({"searchbycategory"}).out,
              "+ 0 : assets matching the specified criteria\n" + std::string(kClean));
    EXPECT_TRUE(fs::exists(tree.Root() + "/UserData/backups"));

    // A rerun: the SQL rewritten, the KUIDs appended.
    r = Run({"vdxparsefolder", examples});
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(tree.ReadFile(out + "/SQL_Asset_0.txt"), assets);
    EXPECT_EQ(Count(tree.ReadFile(out + "/kuids.txt"), "\n"), 10u);
}

TEST_F(Vendrix, VdxParseFolderReportsAFolderItCannotInstallAndGoesOn) {
    tree.WriteFile("work/tree/a-bad/config.txt", "kind \"scenery\"\nusername \"No KUID\"\n");
    tree.WriteFile("work/tree/b-good/config.txt",
                   "kuid <kuid:424242:120>\nkind \"scenery\"\nusername \"Good\"\n"
                   "halvex-build 3.5\ncategory-class \"BD\"\n");
    e2e::RunResult r = Run({"vdxparsefolder", tree.WorkDir() + "/tree"});
    EXPECT_EQ(r.out, "- <NULL> : Failed to install asset from: " + tree.WorkDir() +
                         "/tree/a-bad\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
    EXPECT_TRUE(fs::exists(tree.Root() + "/UserData/Halvex Asset Parse/HALVEX2010-Builtin/"
                                         "buildingsstructures/kuid 424242 120.cdp"));
}

TEST_F(Vendrix, VdxDeleteAllTakesOutEveryInstalledAsset) {
    const std::string examples = std::string(HALVEX_SOURCE_DIR) + "/examples/assets";
    ASSERT_EQ(Run({"installfrompath", examples}).exitCode, 0);
    e2e::RunResult r = Run({"vdxdeleteall"});
    EXPECT_EQ(r.out, kClean);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(Run({"searchbycategory"}).out,
              "+ 0 : assets matching the specified criteria\n" + std::string(kClean));
    for (int id : {101, 102, 103, 104})
        EXPECT_FALSE(fs::exists(tree.Root() + "/UserData/local/kuid 424242 " + std::to_string(id)));
}

}  // namespace
