// "createcdp" end to end: its checks and messages, and where a relative output file lands (the
// program's own folder, where the program works), run by the staged HalvexUtil against the
// staged daemon in a fresh install tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/harness.h"

namespace {

namespace fs = std::filesystem;
using e2e::PosixExitCode;

class CreateCdp : public testing::Test {
protected:
    void ExpectRun(const std::vector<std::string>& args, int exitCode, const std::string& out) {
        e2e::RunResult r = tree.Run("HalvexUtil", args);
        EXPECT_EQ(r.out, out) << args.back();
        EXPECT_EQ(r.err, "") << args.back();
        EXPECT_EQ(r.exitCode, PosixExitCode(exitCode)) << args.back();
    }
    e2e::InstallTree tree;
};

TEST_F(CreateCdp, RefusesBadArgumentsAndAssetsThatAreNotInstalled) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const Case cases[] = {
        {{"createcdp"}, "<NULL> : Missing output path parameter."},
        {{"createcdp", "out.txt", "<kuid:12:1>"},
         "<NULL> : The output filename must have a .cdp extension."},
        {{"createcdp", "out.cdp", "<kuid:12:1>", "twelve"}, "<NULL> : Invalid AssetID."},
        {{"CreateCDP", "out.cdp", "<kuid:77:1>"}, "<kuid:77:1> : Asset is not local."},
    };
    for (const Case& c : cases)
        ExpectRun(c.args, -1, "- " + c.message + "\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_FALSE(fs::exists(tree.Bin() + "/out.cdp"));
}

TEST_F(CreateCdp, ARelativeOutputLandsInTheProgramsFolder) {
    ExpectRun({"createcdp", "Empty.cdp"}, 0, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_EQ(tree.ReadFile(tree.Bin() + "/Empty.cdp").substr(0, 4), "ACS$");
}

}  // namespace
