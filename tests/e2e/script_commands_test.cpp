// The script commands end to end: "encrypt" and "compile" run by the staged program on sources
// in the folder the user runs it from.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "script/bytecode/gsl_image.h"
#include "script/bytecode/verifier.h"
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

namespace {

namespace fs = std::filesystem;

class CompileCommand : public testing::Test {
protected:
    e2e::RunResult Run(const std::vector<std::string>& args) {
        return tree.Run("HalvexUtil", args);
    }
    bool IsLibrary(const std::string& relative) {
        const std::string bytes = tree.ReadFile(relative);
        std::vector<uint8_t> image(bytes.begin(), bytes.end());
        GSBytecode::GslImage parsed;
        GSBytecode::GslReadError error;
        GSBytecode::VerifyError fault;
        return GSBytecode::ReadLibraryImage(image, parsed, error) &&
               GSBytecode::VerifyImage(parsed, fault);
    }
    e2e::InstallTree tree;
};

constexpr const char* kGood =
    "class Loco {\n  int speed;\n  void Go() { speed = speed + 1; }\n};\n";

TEST_F(CompileCommand, WritesTheLibraryBesideTheSource) {
    tree.WriteFile("work/scripts/Loco.gs", kGood);
    e2e::RunResult r = Run({"compile", "scripts/Loco.gs"});
    EXPECT_EQ(r.out, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_EQ(r.exitCode, e2e::PosixExitCode(0));
    EXPECT_TRUE(IsLibrary("work/scripts/Loco.gsl"));
}

TEST_F(CompileCommand, AFaultySourcePrintsItsMessagesAndWritesNothing) {
    tree.WriteFile("work/Bad.gs", "class Bad {\n  void F() {\n    return 1 }\n};\n");
    e2e::RunResult r = Run({"compile", "Bad.gs"});
    EXPECT_EQ(r.out,
              "bad.gs(3) : parse error, line 3\n"
              ".. while compiling 'Bad.gs'\n"
              "OK (0 Errors, 0 Warnings)\n");
    EXPECT_EQ(r.exitCode, e2e::PosixExitCode(-1));
    EXPECT_FALSE(fs::exists(tree.WorkDir() + "/Bad.gsl"));
}

TEST_F(CompileCommand, WithoutASourceItSaysWhatItTakes) {
    e2e::RunResult bare = Run({"compile"});
    EXPECT_EQ(bare.out, "- <NULL> : Invalid file path.\nOK (1 Errors, 0 Warnings)\n");
    EXPECT_EQ(bare.exitCode, e2e::PosixExitCode(-1));
    e2e::RunResult usage = Run({"compile", "-s"});
    EXPECT_EQ(usage.out.rfind("ORVEL VuruDadeda Compiler V1.02\n\nHalvexUtil returns number of "
                              "compile errors\nHalvexUtil <option> <option>..\n",
                              0),
              0u)
        << usage.out;
    EXPECT_NE(usage.out.find("<-ipathname> additional include path\n"), std::string::npos);
    EXPECT_EQ(usage.exitCode, e2e::PosixExitCode(-1));
}

TEST_F(CompileCommand, TheManualComesWithDashD) {
    tree.WriteFile("work/Loco.gs", kGood);
    e2e::RunResult r = Run({"compile", "-d", "Loco.gs"});
    EXPECT_EQ(r.exitCode, e2e::PosixExitCode(0));
    EXPECT_EQ(r.out.rfind("VuruDadeda Language and Compiler Manual\n", 0), 0u);
    EXPECT_GT(r.out.size(), 25000u);
    EXPECT_FALSE(fs::exists(tree.WorkDir() + "/Loco.gsl"));  // nothing was compiled
}

TEST_F(CompileCommand, DashPChoosesTheFolderAndDashBKeepsTheMessages) {
    tree.WriteFile("work/Loco.gs", kGood);
    fs::create_directories(tree.WorkDir() + "/out");
    e2e::RunResult r = Run({"compile", "-pout/ignored.gsl", "-oother.gsl", "Loco.gs"});
    EXPECT_EQ(r.exitCode, e2e::PosixExitCode(0));
    EXPECT_TRUE(IsLibrary("work/out/Loco.gsl"));
    EXPECT_FALSE(fs::exists(tree.WorkDir() + "/Loco.gsl"));

    tree.WriteFile("work/build.log", "before\n");
    tree.WriteFile("work/Bad.gs", "class Bad {");
    e2e::RunResult bad = Run({"compile", "-s", "-bbuild.log", "Bad.gs"});
    EXPECT_EQ(bad.out, "OK (0 Errors, 0 Warnings)\n");
    EXPECT_EQ(tree.ReadFile("work/build.log"),
              "before\nbad.gs(1) : parse error, line 1\n.. while compiling 'Bad.gs'\n");
}

TEST_F(CompileCommand, AnOutputFolderThatCannotBeWrittenIsReported) {
    tree.WriteFile("work/Loco.gs", kGood);
    e2e::RunResult r = Run({"compile", "-pmissing/", "Loco.gs"});
    EXPECT_EQ(r.out, "Unable to open output file.\n\nOK (0 Errors, 0 Warnings)\n");
    EXPECT_EQ(r.exitCode, e2e::PosixExitCode(-1));
}

}  // namespace
