// HalvexUtil end to end: the staged program against the staged daemon in a fresh install tree,
// compared by what it prints on standard output and standard error and by its exit code.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "cli/help_text.h"
#include "tests/e2e/harness.h"

namespace {

namespace fs = std::filesystem;
using e2e::PosixExitCode;
using namespace std::chrono_literals;

constexpr const char* kClean = "OK (0 Errors, 0 Warnings)\n";
// The link's wait between attempts, shortened for the runs that expect no daemon.
constexpr const char* kQuickRetries = "HALVEX_TEST_LINK_RETRY_MS=0";

std::string OneError(const std::string& line) {
    return "- " + line + "\nOK (1 Errors, 0 Warnings)\n";
}

class HalvexUtil : public testing::Test {
protected:
    e2e::RunResult Run(const std::vector<std::string>& args, const e2e::RunOptions& o = {}) {
        return tree.Run("HalvexUtil", args, o);
    }
    // The run succeeded as far as the process goes: nothing on standard error, no signal.
    static void ExpectQuiet(const e2e::RunResult& r) {
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.signal, 0);
    }
    // Runs the command line and expects exactly this output and exit code.
    void ExpectRun(const std::vector<std::string>& args, int exitCode, const std::string& out) {
        e2e::RunResult r = Run(args);
        ExpectQuiet(r);
        EXPECT_EQ(r.out, out) << args[0];
        EXPECT_EQ(r.exitCode, PosixExitCode(exitCode)) << args[0];
    }
    e2e::InstallTree tree;
};

TEST_F(HalvexUtil, WithoutACommandOrWithHelpItPrintsTheHelpText) {
    const std::string help = std::string(GetHelpText()) + "\n";
    e2e::RunResult none = Run({});
    EXPECT_EQ(none.out, help);
    EXPECT_EQ(none.err, "");
    EXPECT_EQ(none.exitCode, PosixExitCode(-1));
    for (const char* word : {"help", "HELP", "Help"}) {
        e2e::RunResult r = Run({word, "anything"});
        EXPECT_EQ(r.out, help) << word;
        EXPECT_EQ(r.err, "") << word;
        EXPECT_EQ(r.exitCode, 0) << word;
    }
    // Neither needs the daemon, nor starts one.
    EXPECT_TRUE(tree.RunningProcessesOf("wexdaemon").empty());
    EXPECT_FALSE(fs::exists(tree.Root() + "/UserData"));
}

TEST_F(HalvexUtil, AMissingValidatorFolderDoesNotStopTheProgram) {
    fs::remove_all(tree.Bin() + "/DUVData");
    ExpectRun({"version"}, 0, std::string("Build 49922\n") + kClean);
}

TEST_F(HalvexUtil, PersonalDetailsAreWrittenBackAtTheEndOfEveryRun) {
    const std::string details = tree.Bin() + "/DUVData/personalDetails.txt";
    ExpectRun({"version"}, 0, std::string("Build 49922\n") + kClean);
    // The text form: a byte-order mark, then each value at column 40 (an empty text is not
    // written).
    auto file = [](const std::string& author, int inputBox) {
        auto line = [](std::string key, const std::string& value) {
            key.resize(40, ' ');
            return key + value + "\r\n";
        };
        return "\xEF\xBB\xBF\r\n" + line("author", author) + line("organisation", "") +
               line("email", "") + line("website", "") + line("license", "") +
               line("isinputboxon", std::to_string(inputBox));
    };
    // A fresh tree: every detail empty, the input box on, in the file's own order.
    EXPECT_EQ(tree.ReadFile(details), file("", 1));
    // A file naming only the author keeps it and turns the input box off.
    tree.WriteFile(details, "author \"x\"\n");
    ExpectRun({"version"}, 0, std::string("Build 49922\n") + kClean);
    EXPECT_EQ(tree.ReadFile(details), file("\"x\"", 0));
}

TEST_F(HalvexUtil, StartUpFailsWhenNoDaemonCanBeReached) {
    fs::remove(tree.Bin() + "/wexdaemon");
    e2e::RunOptions quick = e2e::RunOptions().Env(kQuickRetries).Within(30s);
    e2e::RunResult r = Run({"version"}, quick);
    EXPECT_EQ(r.err, "- Init failed\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
    // With the engine log on standard output the link says why.
    r = Run({"-kivlog", "version"}, quick);
    EXPECT_EQ(r.err, "- Init failed\n");
    EXPECT_NE(r.out.find("WEXOpenDatabase> unable to connect to WEXDaemon\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
}

TEST_F(HalvexUtil, TheProgramsOwnWords) {
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string out;
    };
    const Case cases[] = {
        // The first run starts the daemon.
        {{"version"}, 0, "Build 49922\n"},
        // Own options stand anywhere and are no arguments of the command.
        {{"VERSION", "norender", "-nowexclient", "-nostartwexdaemon"}, 0, "Build 49922\n"},
        {{"installedversion"}, 360, ""},
        {{"installedversionhi"}, 1, ""},
        {{"installedversionlo"}, 104, ""},
        {{"installedbuildnumber"}, 49922, ""},
        {{"installedbuildnumberhi"}, 195, ""},
        {{"installedbuildnumberlo"}, 2, ""},
        {{"echo", "Mixed Case", "words"}, 0, "Mixed Case words \n"},
    };
    for (const Case& c : cases) {
        e2e::RunResult r = Run(c.args);
        ExpectQuiet(r);
        EXPECT_EQ(r.out, c.out + kClean) << c.args[0];
        EXPECT_EQ(r.exitCode, PosixExitCode(c.exitCode)) << c.args[0];
    }
    EXPECT_EQ(tree.RunningProcessesOf("wexdaemon").size(), 1u);
}

TEST_F(HalvexUtil, AWordThatMatchesNothingIsAnError) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"versions"}, {"registeraccount", "ann"}, {"norender"}}) {
        e2e::RunResult r = Run(args);
        ExpectQuiet(r);
        EXPECT_EQ(r.out,
                  OneError("<NULL> : Invalid argument, please check the help for the list of "
                           "valid argument\n"))
            << args[0];
        EXPECT_EQ(r.exitCode, PosixExitCode(-1));
    }
}

TEST_F(HalvexUtil, TheEngineLogGoesToStandardOutputOnlyWhenAskedFor) {
    // A bad value of the test's retry setting is logged at start-up: a line that shows where
    // the engine log goes.
    e2e::RunOptions odd = e2e::RunOptions().Env("HALVEX_TEST_LINK_RETRY_MS=soon");
    e2e::RunResult quiet = Run({"version"}, odd);
    ExpectQuiet(quiet);
    EXPECT_EQ(quiet.out, std::string("Build 49922\n") + kClean);
    e2e::RunResult logged = Run({"version", "-KivLog"}, odd);
    ExpectQuiet(logged);
    EXPECT_NE(logged.out.find("InitEngine> ignoring HALVEX_TEST_LINK_RETRY_MS='soon'\n"),
              std::string::npos)
        << logged.out;
    EXPECT_NE(logged.out.find(std::string("Build 49922\n") + kClean), std::string::npos);
}

TEST_F(HalvexUtil, MissingArgumentsAreReported) {
    struct Case {
        const char* word;
        const char* message;
    };
    const Case cases[] = {
        {"installcdp", "Missing input filepath parameter."},
        {"edit", "Missing AssetID parameter."},
        {"compresstexture", "Missing AssetID parameter."},
        {"printconfig", "Missing AssetID parameter."},
        {"listbuilds", "Missing path parameter."},
        {"commit", "Missing AssetID parameter."},
        {"revert", "Missing AssetID parameter."},
        {"delete", "Missing AssetID parameter."},
        {"compile", "Invalid file path."},
        {"installfromvdx", "Missing AssetID parameter."},
        {"vdxparse", "Missing CDP filepath."},
        {"vdxparsefolder", "No folder path set"},
    };
    for (const Case& c : cases) {
        e2e::RunResult r = Run({c.word});
        ExpectQuiet(r);
        EXPECT_EQ(r.out, OneError(std::string("<NULL> : ") + c.message)) << c.word;
        EXPECT_EQ(r.exitCode, PosixExitCode(-1)) << c.word;
    }
    e2e::RunResult r = Run({"repairdatabase", "everything"});
    EXPECT_EQ(r.out, OneError("<NULL> : Unknown parameter."));
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
}

TEST_F(HalvexUtil, ABatchFileRunsEveryLineAndFailsWhenOneFails) {
    // Taken from the folder the user runs the program in; blanks and quotes as the tokenizer
    // has them.
    tree.WriteFile("work/My Commands.txt",
                   "version\r\n"
                   "\r\n"
                   "\"echo\" \"two  blanks\" Case\r\n"
                   "versions\r\n"
                   "echo  x\r\n"
                   "edit\r\n"
                   "installedversion\r\n");
    e2e::RunResult r = Run({"@My Commands.txt"});
    ExpectQuiet(r);
    EXPECT_EQ(r.out,
              std::string("Build 49922\n") + kClean + "\n" +  //
                  "two  blanks Case \n" + kClean + "\n" +
                  OneError("<NULL> : Invalid argument, please check the help for the list of "
                           "valid argument\n") +
                  "\n" +                     //
                  " x \n" + kClean + "\n" +  // two blanks pass an empty argument
                  OneError("<NULL> : Missing AssetID parameter.") + "\n" +  //
                  kClean + "\n");
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));

    tree.WriteFile("work/good.txt", "version\n\"echo\" \"a\"\n");
    r = Run({"@good.txt"});
    ExpectQuiet(r);
    EXPECT_EQ(r.exitCode, 0);
}

TEST_F(HalvexUtil, AMissingBatchFileIsNamedAsTyped) {
    e2e::RunResult r = Run({"@Missing File.txt"});
    EXPECT_EQ(r.err,
              "The file \"Missing File.txt\" does not exist, please specify a valid filename\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
}

// An installed asset the daemon adopts when it starts: its folder in the data root's "local".
class WithAnAsset : public HalvexUtil {
protected:
    void SetUp() override { WriteConfig(Installed(), "Box"); }
    std::string Installed() const { return tree.Root() + "/UserData/local/kuid 12 34"; }
    std::string Editing() const { return tree.Root() + "/UserData/editing/kuid 12 34"; }
    void WriteConfig(const std::string& folder, const std::string& name) const {
        tree.WriteFile(folder + "/config.txt",
                       "kuid <kuid:12:34>\r\nusername \"" + name + "\"\r\nkind \"scenery\"\r\n");
    }
    // The whole output of printconfig for the asset under that name.
    static std::string Dump(const std::string& name) {
        std::string padding(36, ' ');
        return "+ Start of <kuid:12:34> dump\n"
               "\xEF\xBB\xBF\r\n"
               "kuid" +
               padding +
               "<kuid:12:34>\r\n"
               "username" +
               padding.substr(4) + "\"" + name +
               "\"\r\n"
               "kind" +
               padding +
               "\"scenery\"\r\n"
               "+ End of <kuid:12:34> dump\n" +
               kClean;
    }
};

TEST_F(WithAnAsset, IsEditedCommittedRevertedAndDeleted) {
    ExpectRun({"printconfig", "<KUID:12:34>"}, 0, Dump("Box"));
    ExpectRun({"edit", "<kuid:12:34>"}, 0, "+ <kuid:12:34> : " + Editing() + "\n" + kClean);

    // The user edits the copy after the command has ended; commit installs it.
    EXPECT_TRUE(fs::exists(Editing()));
    WriteConfig(Editing(), "Crate");
    ExpectRun({"commit", "<kuid:12:34>"}, 0, kClean);
    EXPECT_FALSE(fs::exists(Editing()));
    ExpectRun({"printconfig", "<kuid:12:34>"}, 0, Dump("Crate"));

    // An edit outlives a daemon restart; revert throws it away.
    ExpectRun({"edit", "<kuid:12:34>"}, 0, "+ <kuid:12:34> : " + Editing() + "\n" + kClean);
    WriteConfig(Editing(), "Junk");
    ExpectRun({"closewexdaemon"}, 0, kClean);
    ExpectRun({"revert", "<kuid:12:34>"}, 0, kClean);
    EXPECT_FALSE(fs::exists(Editing()));
    ExpectRun({"printconfig", "<kuid:12:34>"}, 0, Dump("Crate"));

    ExpectRun({"delete", "<kuid:12:34>"}, 0, kClean);
    EXPECT_FALSE(fs::exists(Installed()));
    ExpectRun({"printconfig", "<kuid:12:34>"}, -1, OneError("<kuid:12:34> : Asset is not local."));
    // Nothing to open, so nothing to commit or revert.
    ExpectRun({"commit", "<kuid:12:34>"}, -1, OneError("<kuid:12:34> : Unknown AssetID."));
    ExpectRun({"revert", "<kuid:12:34>"}, -1, OneError("<kuid:12:34> : Unknown AssetID."));
    e2e::RunResult r = Run({"delete", "<kuid:12:34>"});
    ExpectQuiet(r);
    EXPECT_TRUE(r.out.starts_with("- <kuid:12:34> : unable to delete")) << r.out;
    EXPECT_TRUE(r.out.ends_with("\nOK (1 Errors, 0 Warnings)\n")) << r.out;
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
}

TEST_F(WithAnAsset, BadArgumentsAreReported) {
    ExpectRun({"edit", "foo"}, -1, OneError("<NULL> : Unknown AssetID."));
    ExpectRun({"edit", "<kuid:99:1>"}, -1, OneError("<kuid:99:1> : Unknown AssetID."));
    ExpectRun({"commit", "kuid"}, -1, OneError("<NULL> : Unknown AssetID."));
    ExpectRun({"printconfig", "<kuid2:12:34:1>"}, -1,
              OneError("<kuid2:12:34:1> : Asset is not local."));
    ExpectRun({"listbuilds", tree.WorkDir() + "/no such folder/builds.txt"}, -1,
              OneError("<NULL> : Failed to open output file."));
    // A missing archive is no archive: said, and the command fails.
    e2e::RunResult r = Run({"installcdp", "Missing.cdp"});
    ExpectQuiet(r);
    EXPECT_EQ(r.out,
              OneError("<NULL> : Content could not be read, as the file is not a valid CDP"));
    EXPECT_EQ(r.exitCode, PosixExitCode(-1));
    // The asset is untouched by all of it.
    ExpectRun({"printconfig", "<kuid:12:34>"}, 0, Dump("Box"));
}

TEST_F(HalvexUtil, DatabaseCommands) {
    e2e::RunResult r = Run({"generatekuid"});
    ExpectQuiet(r);
    EXPECT_TRUE(std::regex_match(
        r.out, std::regex("<KUID2:[0-9]+:[0-9]+:[0-9]+>\nOK \\(0 Errors, 0 Warnings\\)\n")))
        << r.out;
    EXPECT_EQ(r.exitCode, 0);

    ExpectRun({"registeraccount", "Ann", "Pass Word"}, 0, kClean);

    // A relative output file is taken from the program's folder, where the process works.
    ExpectRun({"listbuilds", "Builds.txt"}, 0, kClean);
    EXPECT_EQ(tree.ReadFile(tree.Bin() + "/Builds.txt"), "49922\r\n");

    r = Run({"repairdatabase"});
    ExpectQuiet(r);
    EXPECT_TRUE(r.out.starts_with("Repairing asset database (this may take some time)\n; "))
        << r.out;
    EXPECT_TRUE(r.out.ends_with(kClean)) << r.out;
    EXPECT_EQ(r.exitCode, 0);
    r = Run({"repairdatabase", "PATCHER"});
    ExpectQuiet(r);
    EXPECT_TRUE(r.out.starts_with("; ")) << r.out;
    EXPECT_EQ(r.exitCode, 0);
}

TEST_F(HalvexUtil, CloseWexDaemonEndsThisInstallsDaemon) {
    e2e::RunResult r = Run({"version"});
    ASSERT_EQ(tree.RunningProcessesOf("wexdaemon").size(), 1u);
    // Another install's daemon is left alone.
    e2e::InstallTree other;
    ASSERT_EQ(other.Run("HalvexUtil", {"version"}).exitCode, 0);
    ASSERT_EQ(other.RunningProcessesOf("wexdaemon").size(), 1u);

    r = Run({"closewexdaemon"});
    ExpectQuiet(r);
    EXPECT_EQ(r.out, kClean);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(tree.RunningProcessesOf("wexdaemon").empty());
    EXPECT_EQ(other.RunningProcessesOf("wexdaemon").size(), 1u);
}

}  // namespace
