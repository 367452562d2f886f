// The script commands end to end: "encrypt" (and later "compile") run by the staged program on
// sources in the folder the user runs it from.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "script/compiler/gs_source_file.h"
#include "tests/e2e/harness.h"

namespace {

namespace fs = std::filesystem;
using e2e::PosixExitCode;

constexpr const char* kClean = "OK (0 Errors, 0 Warnings)\n";

std::string OneError(const std::string& line) {
    return "- <NULL> : " + line + "\nOK (1 Errors, 0 Warnings)\n";
}

class ScriptCommands : public testing::Test {
protected:
    void ExpectRun(const std::vector<std::string>& args, int exitCode, const std::string& out) {
        e2e::RunResult r = tree.Run("HalvexUtil", args);
        EXPECT_EQ(r.err, "") << args.back();
        EXPECT_EQ(r.out, out) << args.back();
        EXPECT_EQ(r.exitCode, PosixExitCode(exitCode)) << args.back();
    }
    e2e::InstallTree tree;
};

TEST_F(ScriptCommands, EncryptWritesTheScrambledSourceBesideIt) {
    const std::string source = "class Loco {\r\n  int speed;\r\n};\r\n";
    tree.WriteFile("work/scripts/Loco.gs", source);
    ExpectRun({"encrypt", "scripts/Loco.gs"}, 0, kClean);
    const std::string gse = tree.WorkDir() + "/scripts/Loco.gse";
    ASSERT_TRUE(fs::exists(gse));
    // It reads back as the source's text with LF line ends, nothing more.
    GSCompiler::GSSourceFile back;
    ASSERT_TRUE(back.Load("", gse));
    EXPECT_EQ(std::string(back.GetData(), back.GetTextLength()),
              "class Loco {\n  int speed;\n};\n");
    EXPECT_EQ(tree.ReadFile("work/scripts/Loco.gs"), source);  // the source is left as it was
}

TEST_F(ScriptCommands, EncryptRefusesWhatIsNoReadableSource) {
    tree.WriteFile("work/notes.txt", "class A { };");
    tree.WriteFile("work/Bin.gse", "not a source");
    for (const char* path : {"notes.txt", "missing.gs", "Bin.gse", "scripts"}) {
        ExpectRun({"encrypt", path}, -1, OneError("Invalid file path."));
    }
    ExpectRun({"encrypt"}, -1, OneError("Invalid file path."));
    EXPECT_FALSE(fs::exists(tree.WorkDir() + "/notes.gse"));
    EXPECT_FALSE(fs::exists(tree.WorkDir() + "/missing.gse"));
}

TEST_F(ScriptCommands, EncryptThatCannotWriteSaysSoAndKeepsWhatWasThere) {
    tree.WriteFile("work/A.gs", "class A { };");
    fs::create_directories(tree.WorkDir() + "/A.gse");  // a folder stands where the file goes
    ExpectRun({"encrypt", "A.gs"}, -1, OneError("Failed to write output file."));
    EXPECT_TRUE(fs::is_directory(tree.WorkDir() + "/A.gse"));
    for (const auto& entry : fs::directory_iterator(tree.WorkDir()))
        EXPECT_EQ(entry.path().filename().string().find("temp-"), std::string::npos);
}

}  // namespace
