// The driver over files on disk: include search, scrambled sources, loops of includes, the
// refusals with their messages, and where the library goes.
#include "script/compiler/compiler_driver.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "script/bytecode/gsl_image.h"
#include "script/compiler/gs_source_file.h"

namespace GSCompiler {
namespace {

namespace fs = std::filesystem;

class Driver : public testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() /
               ("gsdriver-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
        MemorySources().clear();
    }
    void TearDown() override { fs::remove_all(root); }

    std::string Path(const std::string& relative) const { return (root / relative).string(); }
    void Write(const std::string& relative, const std::string& text) const {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative, std::ios::binary) << text;
    }
    std::string Read(const std::string& relative) const {
        std::ifstream in(root / relative, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    std::string Messages() const {
        std::string out;
        for (const std::string& l : log.Lines())
            out += l + "\n";
        return out;
    }
    GSBytecode::GslImage Image(const std::string& relative) {
        bytes = Read(relative);
        GSBytecode::GslImage image;
        GSBytecode::GslReadError error;
        EXPECT_TRUE(GSBytecode::ReadLibraryImage(
            std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), image, error))
            << error.text;
        return image;
    }

    fs::path root;
    MessageLog log;
    std::string bytes;
};

TEST_F(Driver, IncludesAreFoundInOrderOnceEachWithTheirLetterCase) {
    // main includes "Lib.gs" (found as lib folder's "LIB.gs" through the -i folder) and
    // "util.gs", which includes main again: the loop ends, every module compiles once.
    Write("src/Main.gs",
          "include \"Lib.gs\"\ninclude \"util.gs\"\nclass M isclass L { int F() { return 1; } };");
    Write("inc/LIB.gs", "include \"util.gs\"\nclass L { public int G() { return 2; } };");
    Write("src/util.gs", "include \"main.gs\"\nclass U { };");
    Write("inc/util.gs", "this one is never read");
    // The script host's folders, which the command's own list must not replace for good.
    IncludeFolderScope host({Path("cache/")});
    int result = CompileFile(Path("src/Main.gs"), nullptr, {Path("inc")}, log);
    ASSERT_EQ(result, 0) << Messages();
    GSBytecode::GslImage image = Image("src/Main.gsl");
    // main, lib.gs, util.gs: one row each, in the order compilation reached them.
    ASSERT_EQ(image.libraries.size(), 3u);
    EXPECT_EQ(IncludeFolders(), std::vector<std::string>{Path("cache/")});
    // A compile that fails gives the list back as well.
    log.Clear();
    EXPECT_EQ(CompileFile(Path("src/Gone.gs"), nullptr, {Path("inc")}, log), 1);
    EXPECT_EQ(Messages(),
              "Could not read file " + Path("inc") + " : gone.gs.\n.. while compiling 'Gone.gs'\n");
    EXPECT_EQ(IncludeFolders(), std::vector<std::string>{Path("cache/")});
}

TEST_F(Driver, AScrambledSourceIsFoundThroughItsPlainName) {
    Write("plain/Coded.gs", "class C { int F() { return 3; } };");
    GSSourceFile source;
    ASSERT_TRUE(source.Load("", Path("plain/Coded.gs")));
    fs::create_directories(root / "src");
    ASSERT_TRUE(source.Save("", Path("src/Coded.gse")));
    EXPECT_EQ(CompileFile(Path("src/Coded.gse"), nullptr, {}, log), 0) << Messages();
    EXPECT_TRUE(fs::exists(root / "src/Coded.gsl"));
    // A ".gs" include finds the ".gse" beside where the ".gs" would be.
    Write("src/User.gs", "include \"coded.gs\"\nclass D isclass C { };");
    EXPECT_EQ(CompileFile(Path("src/User.gs"), nullptr, {}, log), 0) << Messages();
}

TEST_F(Driver, RefusalsAreCountedAndWriteNothing) {
    Write("src/Bom.gs",
          "\xEF\xBB\xBF"
          "class A { };");
    EXPECT_EQ(CompileFile(Path("src/Bom.gs"), nullptr, {}, log), 1);
    EXPECT_EQ(Messages(),
              "'bom.gs' appears to be UTF-8 encoded, please resave as ANSI.\n"
              ".. while compiling 'Bom.gs'\n");
    log.Clear();
    Write("src/Inc.gs", "include \"gone.gs\"\nclass A { };");
    EXPECT_EQ(CompileFile(Path("src/Inc.gs"), nullptr, {Path("more/")}, log), 1);
    EXPECT_EQ(Messages(), "Could not read file " + Path("more/") +
                              " : gone.gs.\n.. while compiling 'gone.gs'\n"
                              ".. while compiling 'Inc.gs'\n");
    EXPECT_FALSE(fs::exists(root / "src/Bom.gsl"));
    EXPECT_FALSE(fs::exists(root / "src/Inc.gsl"));
}

TEST_F(Driver, AnOldLibraryIsKeptWhenTheNewOneCannotBeMade) {
    Write("src/A.gs", "class A { int F() { return 1; } };");
    ASSERT_EQ(CompileFile(Path("src/A.gs"), nullptr, {}, log), 0);
    const std::string good = Read("src/A.gsl");
    Write("src/A.gs", "class A {\n  int F() { return 1 }\n};");
    EXPECT_EQ(CompileFile(Path("src/A.gs"), nullptr, {}, log), 1);
    EXPECT_EQ(Read("src/A.gsl"), good);
    // An output folder that does not exist.
    log.Clear();
    Write("src/A.gs", "class A { };");
    const std::string missing = Path("nowhere/x");
    EXPECT_EQ(CompileFile(Path("src/A.gs"), &missing, {}, log), 1);
    EXPECT_EQ(Messages(), "Unable to open output file.\n\n");
}

TEST_F(Driver, IncludesNestedTooDeepAreRefusedByName) {
    const int depth = static_cast<int>(kMaxIncludeDepth) + 3;
    for (int i = 0; i < depth; ++i)
        Write(
            "src/m" + std::to_string(i) + ".gs",
            "include \"m" + std::to_string(i + 1) + ".gs\"\nclass C" + std::to_string(i) + " { };");
    Write("src/m" + std::to_string(depth) + ".gs", "class Last { };");
    EXPECT_NE(CompileFile(Path("src/m0.gs"), nullptr, {}, log), 0);
    EXPECT_NE(Messages().find("Includes nest too deep at 'm"), std::string::npos) << Messages();
}

TEST_F(Driver, CompileForCacheWritesWhereItIsToldOrOnlyToMemory) {
    Write("cache/src/Asset.gs", "class A { int F() { return 1; } };");
    IncludeFolderScope folders({Path("cache/src")});
    EXPECT_EQ(CompileForCache(nullptr, nullptr, &log), 0);
    std::vector<uint8_t> image;
    EXPECT_EQ(CompileForCache("Asset.gs", nullptr, &log, &image), 0) << Messages();
    EXPECT_FALSE(image.empty());
    const std::string out = Path("cache/0000abcd00001234.gsl");
    EXPECT_EQ(CompileForCache("Asset.gs", out.c_str(), &log), 0);
    const std::string written = Read("cache/0000abcd00001234.gsl");
    EXPECT_EQ(std::vector<uint8_t>(written.begin(), written.end()), image);
    const std::string bad = Path("cache/missing/x.gsl");
    EXPECT_EQ(CompileForCache("Asset.gs", bad.c_str(), &log), 1);
    EXPECT_EQ(log.Lines().back(), "Unable to open output file: '" + bad + "'.\n");
    // Messages stay readable after the call; without a log they are dropped.
    EXPECT_EQ(CompileForCache("Missing.gs", nullptr, nullptr), 1);
}

// The command line: switches, the last source, the build log.
TEST_F(Driver, CommandLineSwitches) {
    Write("src/A.gs", "class A { };");
    Write("src/B.gs", "class B {\n  int F() { return 1 }\n};");
    Write("build.log", "old\n");
    fs::create_directories(root / "out");
    std::string argv0 = "/opt/bin/HalvexUtil";
    std::string empty;
    std::string build = "-b" + Path("build.log");
    std::string out = "-p" + Path("out/name.ignored");
    std::string b = Path("src/B.gs");
    std::string a = Path("src/A.gs");
    std::string silent = "-s";
    std::string other = "-oother.gsl";
    std::vector<char*> args = {argv0.data(), empty.data(), silent.data(), build.data(),
                               out.data(),   other.data(), b.data(),      a.data()};
    EXPECT_EQ(CommandLineMain(static_cast<int>(args.size()), args.data()), 0);
    EXPECT_TRUE(fs::exists(root / "out/A.gsl"));
    EXPECT_FALSE(fs::exists(root / "out/B.gsl"));
    args.back() = b.data();
    EXPECT_EQ(CommandLineMain(static_cast<int>(args.size()), args.data()), 1);
    EXPECT_EQ(Read("build.log"), "old\nb.gs(2) : parse error, line 2\n.. while compiling 'B.gs'\n");
}

}  // namespace
}  // namespace GSCompiler
