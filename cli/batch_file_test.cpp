#include "cli/batch_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sstream>

#include "cli/batch_line.h"
#include "tests/support/temp_dir.h"

namespace {

using Args = std::vector<std::string>;

// Runs a batch file and keeps what each command was given.
class BatchFile : public testing::Test {
protected:
    int Run(std::string_view name, std::string_view startFolder = {}) {
        return RunBatchFile(
            name, startFolder, "/opt/halvex/bin/HalvexUtil",
            [this](int argc, char** argv) {
                EXPECT_EQ(argv[argc], nullptr);
                Args args(argv + 1, argv + argc);
                EXPECT_STREQ(argv[0], "/opt/halvex/bin/HalvexUtil");
                commands.push_back(args);
                return args.empty() || args[0] != "fail" ? 0 : 7;
            },
            out, err);
    }
    int RunText(const std::string& body) { return Run(dir.Write("batch.txt", body)); }

    testsupport::TempDir dir;
    std::vector<Args> commands;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(BatchFile, EveryLineRunsAsOneCommandFollowedByAnEmptyLine) {
    EXPECT_EQ(RunText("echo \"a\"\r\ninstallcdp \"my file.cdp\"\nversion"), 0);
    EXPECT_EQ(commands,
              (std::vector<Args>{{"echo", "a"}, {"installcdp", "my file.cdp"}, {"version"}}));
    EXPECT_EQ(out.str(), "\n\n\n");
    EXPECT_EQ(err.str(), "");
}

TEST_F(BatchFile, EmptyLinesAndTheFinalLineEndMakeNoCommand) {
    EXPECT_EQ(RunText("\n\nversion\r\n\r\n   \n  \r\nversion\n"), 0);
    EXPECT_EQ(commands.size(), 2u);
    EXPECT_EQ(RunText(""), 0);
    EXPECT_EQ(commands.size(), 2u);
    EXPECT_EQ(err.str(), "");
}

TEST_F(BatchFile, AFailingLineFailsTheBatchButTheNextLineRuns) {
    EXPECT_EQ(RunText("version\nfail\nversion\n"), -1);
    EXPECT_EQ(commands.size(), 3u);
}

TEST_F(BatchFile, ALineLongerThanTheBufferIsAnErrorAndNeverRunsInPieces) {
    const std::string longest = "echo " + std::string(kBatchLineMaxLength - 5, 'x');
    const std::string tooLong = longest + "y";
    // The longest line runs, with a carriage return after it too; the one a byte longer does
    // not, with or without one, and neither does a far longer one. Each time the next line
    // runs as it should.
    EXPECT_EQ(RunText(longest + "\r\n" + tooLong + "\r\nversion\n" + tooLong + "\nversion\n" +
                      std::string(3000, 'z') + " version\nversion"),
              -1);
    ASSERT_EQ(commands.size(), 4u);
    EXPECT_EQ(commands[0], (Args{"echo", longest.substr(5)}));
    for (size_t i = 1; i < 4; ++i)
        EXPECT_EQ(commands[i], Args{"version"}) << i;
    EXPECT_NE(err.str().find("- Line 2 of"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("- Line 4 of"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("- Line 6 of"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("longer than 511 bytes"), std::string::npos) << err.str();
}

TEST_F(BatchFile, ALineWithTextButNoArgumentIsAnError) {
    EXPECT_EQ(RunText("\"installcdp a.cdp\nversion\n"), -1);
    EXPECT_EQ(commands, std::vector<Args>{{"version"}});
    EXPECT_NE(err.str().find("- Line 1 of"), std::string::npos) << err.str();
}

TEST_F(BatchFile, ARelativeNameIsTakenFromTheFolderTheUserStartedIn) {
    dir.Write("user/cmds.txt", "echo \"from user\"\n");
    dir.Write("bin/cmds.txt", "echo \"from bin\"\n");
    // The process stands in the program's folder, as after start-up.
    char* before = ::getcwd(nullptr, 0);
    ASSERT_EQ(::chdir((dir / "bin").c_str()), 0);
    int relative = Run("cmds.txt", dir / "user");
    int absolute = Run(dir / "bin/cmds.txt", dir / "user");
    EXPECT_EQ(::chdir(before), 0);
    ::free(before);

    EXPECT_EQ(relative, 0);
    EXPECT_EQ(absolute, 0);
    EXPECT_EQ(commands, (std::vector<Args>{{"echo", "from user"}, {"echo", "from bin"}}));
    EXPECT_EQ(ResolveBatchFilePath("sub/x.txt", "/home/u").str(), "/home/u/sub/x.txt");
    EXPECT_EQ(ResolveBatchFilePath("/tmp/x.txt", "/home/u").str(), "/tmp/x.txt");
}

TEST_F(BatchFile, AMissingOrUnreadableFileRunsNothing) {
    EXPECT_EQ(Run("missing.txt", dir.path()), -1);
    EXPECT_EQ(err.str(),
              "The file \"missing.txt\" does not exist, please specify a valid filename\n");
    err.str("");
    ::mkdir((dir / "folder.txt").c_str(), 0700);
    EXPECT_EQ(Run("folder.txt", dir.path()), -1);
    EXPECT_NE(err.str().find("cannot be read"), std::string::npos) << err.str();
    EXPECT_TRUE(commands.empty());
    EXPECT_EQ(out.str(), "");
}

}  // namespace
