// The asset commands end to end: installing folder trees, status, validation, keyword backup
// and import, consist-list import, authors and category search, each run by the staged
// HalvexUtil against the staged daemon in a fresh install tree; and the demo's job.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/e2e/utility_fixture.h"

namespace {

namespace fs = std::filesystem;
using e2e::kClean;
using e2e::OneError;
using e2e::PosixExitCode;
using namespace std::chrono_literals;

// The text of an asset's config: its KUID, kind and name, and any further lines.
std::string Config(const std::string& kuid, const std::string& kind, const std::string& name,
                   const std::string& more = "halvex-build 3.5\n") {
    return "kuid " + kuid + "\nkind \"" + kind + "\"\nusername \"" + name + "\"\n" + more;
}

class AssetCommands : public e2e::UtilityTest {
protected:
    // An asset folder below work/, by a relative path; returns its absolute path.
    std::string WriteAsset(const std::string& folder, const std::string& config) {
        return fs::path(tree.WriteFile("work/" + folder + "/config.txt", config))
            .parent_path()
            .string();
    }
    // Settings the tree starts from (read when the first command makes UserData).
    void SeedSettings(const std::string& group, const std::string& text) {
        tree.WriteFile(tree.Root() + "/prebuilt/settings/" + group + ".txt", text);
    }
    std::string Status(const std::string& kuid) { return Run({"status", kuid}).out; }
};

TEST_F(AssetCommands, MissingArgumentsAndUnknownAssetsAreErrors) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"installfrompath"}, "<NULL> : Missing input path parameter."},
        {{"installfrompath", ""}, "<NULL> : Missing input path parameter."},
        {{"installfrompath", "no such folder"}, "<NULL> : Invalid input path."},
        {{"importconsists"}, "<NULL> : Missing input path parameter."},
        {{"importconsists", "no such list.txt"}, "<NULL> : Invalid input path."},
        {{"status"}, "<NULL> : Missing AssetID parameter."},
        {{"status", "<kuid:77:1>"}, "<kuid:77:1> : Unknown AssetID."},
        {{"status", "not a kuid"}, "<NULL> : Unknown AssetID."},
        {{"validate"}, "<NULL> : Missing AssetID parameter."},
        {{"validate", "<kuid2:77:1:3>"}, "<kuid2:77:1:3> : Unknown AssetID."},
        {{"searchbycategory", "-A"}, "<NULL> : Missing category parameter."},
        {{"searchbycategory", "-a", ""}, "<NULL> : Missing category parameter."},
        {{"importkeywords"},
         "<NULL> : Unable to read " + tree.Root() + "/UserData/KeywordsDump.dat."},
    };
    for (const Case& c : cases)
        ExpectRun(c.args, -1, OneError(c.message));
}

TEST_F(AssetCommands, InstallFromPathInstallsEveryAssetFolderOfATree) {
    WriteAsset("content/scenery/box", Config("<kuid:12:1>", "scenery", "Box"));
    WriteAsset("content/deep/down/here/crate", Config("<kuid:12:2>", "scenery", "Crate"));
    // An asset folder is installed whole: the asset inside it is not installed on its own.
    WriteAsset("content/shed", Config("<kuid:12:3>", "scenery", "Shed"));
    WriteAsset("content/shed/inner", Config("<kuid:12:4>", "scenery", "Inner"));
    tree.WriteFile("work/content/notes.txt", "not an asset");
    // A link back up the tree is not followed, so the walk ends.
    fs::create_directory_symlink("../..", tree.WorkDir() + "/content/deep/up");

    ExpectRun({"installfrompath", "content"}, 0,
              "! <NULL> : The symbolic link " + tree.WorkDir() +
                  "/content/deep/up was not followed.\nOK (0 Errors, 1 Warnings)\n");
    for (const char* kuid : {"<kuid:12:1>", "<kuid:12:2>", "<kuid:12:3>"})
        EXPECT_TRUE(Status(kuid).starts_with(std::string("+ ") + kuid + " : eI")) << kuid;
    EXPECT_EQ(Status("<kuid:12:4>"), OneError("<kuid:12:4> : Unknown AssetID."));
    EXPECT_TRUE(fs::exists(tree.Root() + "/UserData/local/kuid 12 3/inner/config.txt"));

    // One asset folder named directly; installing it again changes nothing and succeeds.
    std::string single = WriteAsset("single", Config("<kuid:12:5>", "scenery", "Single"));
    ExpectRun({"installfrompath", single}, 0, kClean);
    ExpectRun({"installfrompath", single}, 0, kClean);

    // A tree without an asset, and a file, install nothing.
    tree.WriteFile("work/empty/readme.txt", "nothing here");
    ExpectRun({"installfrompath", "empty"}, -1,
              OneError("<NULL> : No asset folder was found in " + tree.WorkDir() + "/empty."));
    ExpectRun({"installfrompath", "empty/readme.txt"}, -1,
              OneError("<NULL> : Invalid input path."));
}

TEST_F(AssetCommands, AFolderTheDaemonCannotInstallFailsTheCommand) {
    WriteAsset("mixed/good", Config("<kuid:12:1>", "scenery", "Good"));
    WriteAsset("mixed/nameless", "kind \"scenery\"\nusername \"No KUID\"\n");
    e2e::RunResult r = Run({"installfrompath", "mixed"});
    EXPECT_EQ(r.out, OneError("<NULL> : unable to install " + tree.WorkDir() +
                              "/mixed/nameless: the config in " + tree.WorkDir() +
                              "/mixed/nameless names no usable kuid"));
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
    // The walk went on past the failure.
    EXPECT_TRUE(Status("<kuid:12:1>").starts_with("+ <kuid:12:1> : eI"));
}

TEST_F(AssetCommands, StatusShowsTheLettersCategoriesAndName) {
    WriteAsset("a/box", Config("<kuid:12:1>", "scenery", "Box",
                               "halvex-build 3.5\ncategory-class \"BD;RRD\"\n"));
    // Old one-class codes show as the codes they stand for.
    WriteAsset("a/engine", Config("<kuid2:12:2:1>", "traincar", "Engine",
                                  "halvex-build 3.5\ncategory-class \"AH\"\n"));
    WriteAsset("a/train", Config("<kuid:12:3>", "consist", "Train",
                                 "halvex-build 3.5\nkuid-table { 0 <kuid:12:99> }\n"));
    ExpectRun({"installfrompath", "a"}, 0, kClean);
    ExpectRun({"edit", "<kuid2:12:2:1>"}, 0,
              "+ <kuid2:12:2:1> : " + tree.Root() + "/UserData/editing/kuid2 12 2 1\n" + kClean);

    ExpectRun({"STATUS", "<KUID:12:1>"}, 0,
              "+ <kuid:12:1> : eIadlmf : BD;RRD : Box\n" + std::string(kClean));
    ExpectRun({"status", "<kuid2:12:2:1>"}, 0,
              "+ <kuid2:12:2:1> : EIadlmf : TR;TV;LOC;DIES : Engine\n" + std::string(kClean));
    // Its dependency is not installed.
    ExpectRun({"status", "<kuid:12:3>"}, 0,
              "+ <kuid:12:3> : eIadlMf :  : Train\n" + std::string(kClean));
}

TEST_F(AssetCommands, ValidateReportsOldBuildsAndTheDaemonsAnswer) {
    WriteAsset("a/old", Config("<kuid:12:1>", "scenery", "Old", "halvex-build 2.6\n"));
    WriteAsset("a/limit", Config("<kuid:12:2>", "scenery", "Limit", "halvex-build 2.7\n"));
    WriteAsset("a/unnamed-build", Config("<kuid:12:3>", "scenery", "Unknown build", ""));
    ExpectRun({"installfrompath", "a"}, 0, kClean);

    // Too old to validate: said without asking the daemon to validate.
    for (const char* kuid : {"<kuid:12:1>", "<kuid:12:3>"})
        ExpectRun({"validate", kuid}, 0,
                  OneError(std::string(kuid) + " : Asset " + kuid +
                           " is older than build 2.7 and cannot be validated."));
    // From build 2.7 on the daemon has its command host validate: a plain asset of that build
    // has no errors (what its upgrade says is the upgrader's).
    e2e::RunResult r = Run({"validate", "<kuid:12:2>"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(std::regex_search(r.out, std::regex("OK \\(0 Errors, [0-9]+ Warnings\\)\\n$")))
        << r.out;
    EXPECT_EQ(r.out.find("- "), std::string::npos) << r.out;
}

TEST_F(AssetCommands, KeywordsAreImportedAndBackedUp) {
    WriteAsset("a/box", Config("<kuid:12:1>", "scenery", "Box"));
    WriteAsset("a/crate", Config("<kuid:12:2>", "scenery", "Crate"));
    ExpectRun({"installfrompath", "a"}, 0, kClean);
    tree.WriteFile(tree.Root() + "/UserData/KeywordsDump.dat",
                   "<kuid:12:1> \"brick,small\"\n"
                   "not-a-kuid \"lost\"\n"
                   "<KUID:12:2> \"timber\"\n");
    ExpectRun({"importkeywords", "ignored"}, 0,
              "! <NULL> : The keywords of \"not-a-kuid\" were skipped: not a KUID.\n"
              "OK (0 Errors, 1 Warnings)\n");

    // The backup is written where the program works, its own folder, in the text form.
    tree.WriteFile(tree.Bin() + "/KeywordsBackup.dat", "an older backup");
    ExpectRun({"backupkeywords"}, 0, kClean);
    std::string backup = tree.ReadFile(tree.Bin() + "/KeywordsBackup.dat");
    EXPECT_TRUE(std::regex_search(backup, std::regex("\r\n<kuid:12:1> +\"brick,small\"\r\n")))
        << backup;
    EXPECT_TRUE(std::regex_search(backup, std::regex("\r\n<kuid:12:2> +\"timber\"\r\n"))) << backup;

    // The backup imports as it was written.
    tree.WriteFile(tree.Root() + "/UserData/KeywordsDump.dat", backup);
    ExpectRun({"importkeywords"}, 0, kClean);
    ExpectRun({"backupkeywords"}, 0, kClean);
    EXPECT_EQ(tree.ReadFile(tree.Bin() + "/KeywordsBackup.dat"), backup);
}

TEST_F(AssetCommands, AnOldConsistListBecomesConsistAssets) {
    SeedSettings("database", "user-id 31\n");
    WriteAsset("a/engine", Config("<kuid:12:1>", "traincar", "Engine"));
    WriteAsset("a/wagon", Config("<kuid:12:2>", "traincar", "Wagon"));
    WriteAsset("a/goods", Config("<kuid:12:3>", "consist", "Morning Goods"));
    ExpectRun({"installfrompath", "a"}, 0, kClean);
    tree.WriteFile("work/lists/consists.lst",
                   "train-0 { name \"Morning Goods\" list { car-0 <kuid:12:1> } }\n"
                   "train-1\n{\n  name \"Evening Goods\"\n  list\n  {\n"
                   "    car-0 <kuid:12:2>\n    num-0 17\n    dir-0 0\n"
                   "    car-1 <kuid:12:1>\n    num-1 4012\n    dir-1 1\n"
                   "    car-2 <kuid:12:2>\n    num-2 18\n    dir-2 1\n  }\n}\n"
                   "train-2 { name \"No List\" }\n"
                   "train-3 { name \"Light Engine\" list { } }\n"
                   "train-5 { name \"After A Gap\" list { } }\n");
    // Taken from the folder the program was started in.
    ExpectRun({"importconsists", "lists/consists.lst"}, 0, kClean);

    // "Morning Goods" had its asset; the two new ones are made under the user id set.
    ExpectRun({"searchbycategory", "CN"}, 0,
              "+ 3 : assets matching the specified criteria\n"
              "+ #0 : <kuid:12:3>\n+ #1 : <kuid:31:1>\n+ #2 : <kuid:31:2>\n" +
                  std::string(kClean));
    // A line of the text config form: the value at column 40.
    auto line = [](const std::string& name, const std::string& value) {
        return name + std::string(40 - name.size(), ' ') + value + "\r\n";
    };
    const std::string evening = tree.ReadFile(tree.Root() + "/UserData/local/kuid 31 1/config.txt");
    for (const std::string& part :
         {line("kind", "\"consist\""), line("username", "\"Evening Goods\""),
          line("halvex-build", "3.1"),
          "consist-list\r\n{\r\n  car-0\r\n  {\r\n" + line("    car-kuid", "<kuid:12:2>") +
              line("    car-num", "17") + line("    car-dir", "0") + "  }\r\n",
          "  car-1\r\n  {\r\n" + line("    car-kuid", "<kuid:12:1>") + line("    car-num", "4012") +
              line("    car-dir", "1") + "  }\r\n",
          "kuid-table\r\n{\r\n" + line("  0", "<kuid:12:1>") + line("  1", "<kuid:12:2>") + "}"})
        EXPECT_NE(evening.find(part), std::string::npos) << part << "\n" << evening;
    const std::string light = tree.ReadFile(tree.Root() + "/UserData/local/kuid 31 2/config.txt");
    EXPECT_NE(light.find("consist-list\r\n{\r\n}\r\n"), std::string::npos) << light;
    EXPECT_NE(light.find(line("username", "\"Light Engine\"")), std::string::npos) << light;

    // Run again, it finds every train's asset and makes none.
    ExpectRun({"importconsists", tree.WorkDir() + "/lists/consists.lst"}, 0, kClean);
    // A list without a train numbered 0 imports nothing.
    tree.WriteFile("work/none.txt", "train-1 { name \"One\" list { } }\n");
    ExpectRun({"importconsists", "none.txt"}, 0, kClean);
    e2e::RunResult r = Run({"searchbycategory", "cn"});
    EXPECT_TRUE(r.out.starts_with("+ 3 : assets")) << r.out;
}

TEST_F(AssetCommands, AuthorsAndCategorySearch) {
    SeedSettings("authors", "44 \"Zoe Works\"\n55 \"Ann Models\"\n");
    WriteAsset("a/box", Config("<kuid:44:1>", "scenery", "Box"));
    WriteAsset("a/crate", Config("<kuid:44:2>", "scenery", "Crate"));
    WriteAsset("a/engine", Config("<kuid:55:1>", "traincar", "Engine",
                                  "halvex-build 3.5\ncategory-class \"LOC;DIES\"\n"));
    WriteAsset("a/lamp", Config("<kuid:66:1>", "scenery", "Lamp"));
    ExpectRun({"installfrompath", "a"}, 0, kClean);

    // Sorted, each once; an author without a name is shown by number.
    ExpectRun({"authors"}, 0, "66\nAnn Models\nZoe Works\n" + std::string(kClean));

    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> found;
    };
    const Case cases[] = {
        {{"searchbycategory", "tv"}, {"<kuid:55:1>"}},
        {{"searchbycategory", "-tv"}, {"<kuid:44:1>", "<kuid:44:2>", "<kuid:66:1>"}},
        {{"searchbycategory", "loc|sy"},
         {"<kuid:44:1>", "<kuid:44:2>", "<kuid:55:1>", "<kuid:66:1>"}},
        {{"searchbycategory", "-a", "Dies"}, {"<kuid:55:1>"}},
        {{"searchbycategory", "CMP"}, {}},
    };
    for (const Case& c : cases) {
        std::string out =
            "+ " + std::to_string(c.found.size()) + " : assets matching the specified criteria\n";
        for (size_t i = 0; i < c.found.size(); ++i)
            out += "+ #" + std::to_string(i) + " : " + c.found[i] + "\n";
        ExpectRun(c.args, 0, out + kClean);
    }
}

TEST_F(AssetCommands, TheDemoJobRunsAndLeavesNothingRunning) {
    e2e::RunResult r = e2e::RunProgram(HALVEX_SOURCE_DIR "/scripts/demo-run", {tree.Root()},
                                       e2e::RunOptions().Within(120s));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    for (const char* part : {
             "$ HalvexUtil installfrompath examples/assets\nOK (0 Errors, 0 Warnings)\n"
             "[exit code 0]\n",
             "+ <kuid:424242:102> : eIadlmf : LOC;DIES : Demo Yard Shunter\n",
             "+ <kuid:424242:104> : eIadlmf : CN : Demo Yard Set\n",
             "+ Start of <kuid:424242:104> dump\n",
             // The two traincars: the shunter and its scripted twin.
             "+ 2 : assets matching the specified criteria\n",
             "$ HalvexUtil authors\nHalvex Demo Workshop\nOK (0 Errors, 0 Warnings)\n",
             "+ <kuid:424242:104> : Asset <kuid:424242:104> was installed.\n"
             "+ <kuid:424242:102> : Asset <kuid:424242:102> was installed.\n"
             "OK (0 Errors, 0 Warnings)\n[exit code 0]\n",
             "$ HalvexUtil installfromvdx \"<kuid:424242:104>\"\n"
             "+ <kuid:424242:104> : Asset <kuid:424242:104> was installed.\n"
             "+ <kuid:424242:102> : Asset <kuid:424242:102> was installed.\n"
             "OK (0 Errors, 0 Warnings)\n[exit code 0]\n",
             "+ <kuid:424242:104> : eIaDlmf : CN : Demo Yard Set\n",
             "- <kuid:424242:999> : Unknown AssetID.\nOK (1 Errors, 0 Warnings)\n"
             "[exit code 255]\n",
             "$ HalvexUtil closewexdaemon\nOK (0 Errors, 0 Warnings)\n[exit code 0]\n",
         })
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n---\n" << r.out;
    EXPECT_TRUE(tree.RunningProcessesOf("wexdaemon").empty());
    EXPECT_TRUE(tree.RunningProcessesOf("HalvexUtil").empty()) << "the command host ended";
}

}  // namespace
