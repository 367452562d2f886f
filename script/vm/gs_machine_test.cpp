// The loader and its link table: adding files and folders, loading on first request, the
// messages of every refusal, and runs of compiled code through the whole path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "script/bytecode/gsl_image.h"
#include "script/bytecode/opcodes.h"
#include "script/vm/gs_thread.h"
#include "script/vm/testing/script_runner.h"
#include "script/vm/vm_test_support.h"

namespace GSRuntime {
namespace {

using testing::LogCapture;
using testing::ScriptRunner;
using testing::WriteFile;
using Sources = std::map<std::string, std::string>;

const std::map<std::string, std::string> kTwoModules = {
    {"main.gs", "include \"lib.gs\"\nclass A isclass L { public int F() { return G() + 40; } };"},
    {"lib.gs", "class L { public int G() { return 2; } };"},
};

std::string ToHex(uint32_t v) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%X", v);
    return buffer;
}

// Replaces the first occurrence of `from` in `bytes` by `to` (same length).
void Patch(std::vector<uint8_t>& bytes, std::string_view from, std::string_view to) {
    ASSERT_EQ(from.size(), to.size());
    auto at = std::search(bytes.begin(), bytes.end(), from.begin(), from.end());
    ASSERT_NE(at, bytes.end()) << from;
    std::copy(to.begin(), to.end(), at);
}

// A folder with the libraries of `sources`, each compiled on its own.
struct Folder {
    std::filesystem::path path;
    std::map<std::string, std::vector<uint8_t>> images;  // by library file name

    explicit Folder(const std::map<std::string, std::string>& sources) {
        ScriptRunner r;  // only for its folder's name and lifetime
        path = r.folder.string() + "_f";
        std::filesystem::create_directories(path);
        for (const auto& s : sources) {
            std::string messages;
            std::vector<uint8_t> image = ScriptRunner::CompileImage(sources, s.first, &messages);
            EXPECT_FALSE(image.empty()) << messages;
            std::string name = s.first.substr(0, s.first.rfind('.')) + ".gsl";
            images[name] = image;
            Write(name, image);
        }
    }
    ~Folder() { std::filesystem::remove_all(path); }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        ASSERT_TRUE(WriteFile(path / name, bytes));
    }
};

TEST(Machine, ACompiledMethodRuns) {
    ScriptRunner r;
    ASSERT_TRUE(r.Load("class T { public int F(int a) { return a * 6 + 1; } };")) << r.messages;
    testing::ScriptRun run = r.Run("T", "$int@T::F(int)", {7});
    EXPECT_EQ(run.result, ER_Done) << ::testing::PrintToString(run.log);
    EXPECT_EQ(run.AsInt(), 43);
}

TEST(Machine, ClassesOfAnotherLibraryLinkAndRun) {
    ScriptRunner r;
    ASSERT_TRUE(r.Load(kTwoModules, "main.gs")) << r.messages;
    EXPECT_EQ(r.machine.Loaded().size(), 2u);  // lib first: main's link asked for it
    EXPECT_EQ(r.Run("A", "$int@A::F()").AsInt(), 42);
}

TEST(Machine, LibrariesThatNameEachOtherLoadOnce) {
    ScriptRunner r;
    ASSERT_TRUE(r.Load({{"a.gs",
                         "include \"b.gs\"\nclass A { public int F() { B b = new B(); "
                         "return b.G(); } };"},
                        {"b.gs",
                         "include \"a.gs\"\nclass B { public int G() { return 9; } "
                         "public A Make() { return new A(); } };"}},
                       "a.gs"))
        << r.messages;
    EXPECT_EQ(r.machine.Loaded().size(), 2u);
    EXPECT_EQ(r.Run("A", "$int@A::F()").AsInt(), 9);
}

TEST(Machine, OneFileUnderTwoNamesIsOneEntry) {
    Folder f(Sources{{"t.gs", "class T { public int F() { return 5; } };"}});
    f.Write("copy.gsl", f.images["t.gsl"]);
    GSMachine m;
    GSLibraryId a, b;
    ASSERT_TRUE(m.AddLibrary("tests", f.path.string(), "t.gsl", &a));
    ASSERT_TRUE(m.AddLibrary("tests", f.path.string(), "COPY.gsl", &b));
    EXPECT_EQ(a, b);
    EXPECT_EQ(m.KnownCount(), 1u);
    GSLibrary* lib = m.GetLibraryByName("copy.GSL");
    ASSERT_NE(lib, nullptr);
    EXPECT_EQ(m.GetLibraryByName("t.gsl"), lib);
    EXPECT_EQ(lib->sourceName, "t.gs");
}

TEST(Machine, FilesThatAreNoLibrariesAreNotAddedAndSayNothing) {
    Folder f(Sources{{"t.gs", "class T {};"}});
    std::vector<uint8_t> bad = f.images["t.gsl"];
    bad[4] ^= 1;  // the magic
    f.Write("badmagic.gsl", bad);
    f.Write("short.gsl", std::vector<uint8_t>(bad.begin(), bad.begin() + 19));
    LogCapture log;
    GSMachine m;
    EXPECT_FALSE(m.AddLibrary("tests", f.path.string(), "badmagic.gsl"));
    EXPECT_FALSE(m.AddLibrary("tests", f.path.string(), "short.gsl"));
    EXPECT_FALSE(m.AddLibrary("tests", f.path.string(), "missing.gsl"));
    EXPECT_EQ(m.AddLibraryFolder(f.path.string(), "tests"), 1);
    EXPECT_TRUE(LogCapture::lines().empty());
}

TEST(Machine, AnUnknownIdNamesTheSimilarLibraries) {
    Folder f(Sources{{"t.gs", "class T {};"}});
    GSMachine m;
    GSLibraryId id;
    ASSERT_TRUE(m.AddLibrary("tests", f.path.string(), "t.gsl", &id));
    ASSERT_NE(m.GetLibrary(id), nullptr);
    LogCapture log;
    EXPECT_EQ(m.GetLibrary({id.first + 1, id.second}), nullptr);
    EXPECT_EQ(LogCapture::lines(),
              (std::vector<std::string>{
                  "GSMachine::GetLibrary> library '0x" + ToHex(id.first + 1) + " 0x" +
                      ToHex(id.second) + "' not found in link table",
                  "  Similar library found with matching filename hash but built from different "
                  "source: t.gs"}));
}

// Each refusal of a damaged library: its lines, a null result, and nothing kept.
TEST(Machine, LinkFailuresNameWhatIsMissing) {
    struct Case {
        const char* what;
        std::string file;  // damaged library, or "" to remove lib.gsl
        std::string from, to;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"library gone", "", "", "", {"GS Link error: Unable to find library for class 'L'"}},
        {"class renamed",
         "lib.gsl",
         std::string("L\0", 2),
         std::string("M\0", 2),
         {"GS Link error: Unable to find class 'L'"}},
        {"function renamed",
         "lib.gsl",
         "L::G()",
         "L::H()",
         {"GS Link error: Unable to link function '$int@L::G()'"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folder f(kTwoModules);
        if (c.file.empty()) {
            std::filesystem::remove(f.path / "lib.gsl");
        } else {
            std::vector<uint8_t> bytes = f.images[c.file];
            Patch(bytes, c.from, c.to);
            f.Write(c.file, bytes);
        }
        GSMachine m;
        m.AddLibraryFolder(f.path.string(), "tests");
        LogCapture log;
        EXPECT_EQ(m.GetLibraryByName("main.gsl"), nullptr);
        const auto& lines = LogCapture::lines();
        for (const std::string& want : c.lines) {
            bool found = std::any_of(lines.begin(), lines.end(),
                                     [&](const std::string& l) { return l.rfind(want, 0) == 0; });
            EXPECT_TRUE(found) << want << "\n" << ::testing::PrintToString(lines);
        }
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back().rfind("GSMachine: Error ", 0), 0u) << lines.back();
        EXPECT_NE(lines.back().find("main.gsl (main.gs)"), std::string::npos) << lines.back();
        EXPECT_TRUE(m.Loaded().empty());  // lib, loaded on the way, went with main
    }
}

// A library rebuilt from other source under its old id (as a tampered cache could hold) whose
// base class gained a function: a call through that slot, verified against the base, would
// run whatever the derived class compiled against the old base holds there.
TEST(Machine, AnOverrideWhoseKindsDifferFromItsBaseIsNotLinked) {
    struct Case {
        const char* what;
        std::string rebuilt, derived;
    };
    const std::string base = "class L { public int G() { return 2; } };";
    const std::vector<Case> cases = {
        {"result kind",
         "class L { public int G() { return 2; } public string X() { return \"x\"; } };",
         "class D isclass L { public int G() { return 1; } public int Own() { return 3; } };"},
        {"parameter kind",
         "class L { public int G() { return 2; } public int X(string a) { return 1; } };",
         "class D isclass L { public int G() { return 1; } public int Own(int a) { return a; } };"},
        {"parameter count",
         "class L { public int G() { return 2; } public int X(int a, int b) { return a; } };",
         "class D isclass L { public int G() { return 1; } public int Own(int a) { return a; } };"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folder f(Sources{{"main.gs", "include \"lib.gs\"\n" + c.derived}, {"lib.gs", base}});
        {
            GSMachine m;
            m.AddLibraryFolder(f.path.string(), "tests");
            ASSERT_NE(m.GetLibraryByName("main.gsl"), nullptr);  // as compiled, it links
        }
        Folder rebuilt(Sources{{"lib.gs", c.rebuilt}});
        std::vector<uint8_t> bytes = rebuilt.images["lib.gsl"];
        const std::vector<uint8_t>& old = f.images["lib.gsl"];
        // Every copy of the rebuilt id (header and own library row) becomes the old one.
        const std::vector<uint8_t> id(bytes.begin() + 12, bytes.begin() + 20);
        for (auto at = bytes.begin();
             (at = std::search(at, bytes.end(), id.begin(), id.end())) != bytes.end();)
            at = std::copy(old.begin() + 12, old.begin() + 20, at);
        f.Write("lib.gsl", bytes);
        GSMachine m;
        m.AddLibraryFolder(f.path.string(), "tests");
        ASSERT_NE(m.GetLibraryByName("lib.gsl"), nullptr);  // the rebuilt base alone is sound
        LogCapture log;
        EXPECT_EQ(m.GetLibraryByName("main.gsl"), nullptr);
        EXPECT_EQ(LogCapture::lines(),
                  (std::vector<std::string>{"GS Link error: Unable to link 'D'",
                                            "GSMachine: Error 7 loading library " +
                                                (f.path / "main.gsl").string() + " (main.gs)"}));
        EXPECT_EQ(m.Loaded().size(), 1u);  // the base's library stays
    }
}

TEST(Machine, AnUnresolvedNativeIsReportedAndLinkingGoesOn) {
    ScriptRunner r;
    LogCapture log;
    ASSERT_TRUE(
        r.Load("class T { public native int Missing(int a); public int F() { return 3; } };"))
        << r.messages;
    EXPECT_NE(r.messages.find("Could not resolve native link $int@T::Missing(int)\n"),
              std::string::npos)
        << r.messages;
    EXPECT_EQ(r.Run("T", "$int@T::F()").AsInt(), 3);
}

TEST(Machine, CodeTheVerifierRefusesIsNeverLinked) {
    Folder f(Sources{{"t.gs", "class T { public int F(int a) { return a + 1; } };"}});
    std::vector<uint8_t> bytes = f.images["t.gsl"];
    // The first instruction becomes no opcode.
    GSBytecode::GslImage image;
    GSBytecode::GslReadError error;
    ASSERT_TRUE(GSBytecode::ReadLibraryImage(bytes, image, error));
    const GSBytecode::GslFunction& fn = image.classes[0].functions[0];
    bytes[fn.codeOffset] = 200;
    f.Write("t.gsl", bytes);
    GSMachine m;
    m.AddLibraryFolder(f.path.string(), "tests");
    LogCapture log;
    EXPECT_EQ(m.GetLibraryByName("t.gsl"), nullptr);
    const auto& lines = LogCapture::lines();
    ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
    EXPECT_EQ(
        lines[0].rfind("GSMachine: code refused in function '$int@T::F(int)' at code offset ", 0),
        0u)
        << lines[0];
    EXPECT_EQ(lines[1],
              "GSMachine: Error 2 loading library " + (f.path / "t.gsl").string() + " (t.gs)");
}

TEST(Machine, ARecordWhoseKindsDisagreeWithItsSignatureIsNotLinked) {
    // Callers are verified against the signature; a record returning a plain word where its
    // signature names a string would hand them a number to follow as a reference.
    Folder f(Sources{{"t.gs", "class T { public string S() { return \"a\"; } };"}});
    std::vector<uint8_t> bytes = f.images["t.gsl"];
    GSBytecode::GslImage image;
    GSBytecode::GslReadError error;
    ASSERT_TRUE(GSBytecode::ReadLibraryImage(bytes, image, error));
    const GSBytecode::GslFunction& fn = image.classes[0].functions[0];
    const uint8_t want[8] = {static_cast<uint8_t>(fn.signature),  0, 0, 0,
                             static_cast<uint8_t>(fn.returnType), 0, 0, 0};
    auto at = std::search(bytes.begin() + fn.recordOffset, bytes.end(), want, want + 8);
    ASSERT_NE(at, bytes.end());
    at[4] = 2;  // int
    f.Write("t.gsl", bytes);
    GSMachine m;
    m.AddLibraryFolder(f.path.string(), "tests");
    LogCapture log;
    EXPECT_EQ(m.GetLibraryByName("t.gsl"), nullptr);
    const auto& lines = LogCapture::lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "GS Link error: Unable to initialise class 'T'");
}

TEST(Machine, AReplacedFileIsRefusedAndTheEntryKept) {
    Folder f(Sources{{"t.gs", "class T { public int F() { return 1; } };"}});
    Folder other(Sources{{"t.gs", "class T { public int F() { return 2; } };"}});
    GSMachine m;
    ASSERT_EQ(m.AddLibraryFolder(f.path.string(), "tests"), 1);
    f.Write("t.gsl", other.images["t.gsl"]);
    LogCapture log;
    EXPECT_EQ(m.GetLibraryByName("t.gsl"), nullptr);
    EXPECT_EQ(LogCapture::lines(), (std::vector<std::string>{"GSMachine: Error 8 loading library " +
                                                             (f.path / "t.gsl").string() + " ()"}));
    f.Write("t.gsl", f.images["t.gsl"]);  // put back: the entry loads it now
    EXPECT_NE(m.GetLibraryByName("t.gsl"), nullptr);
}

TEST(Machine, AFileOverTheCapIsNotRead) {
    Folder f(Sources{{"t.gs", "class T {};"}});
    std::vector<uint8_t> bytes = f.images["t.gsl"];
    f.Write("t.gsl", bytes);
    GSMachine m;
    ASSERT_EQ(m.AddLibraryFolder(f.path.string(), "tests"), 1);
    std::filesystem::resize_file(f.path / "t.gsl", kMaxLibraryFileBytes + 1);
    LogCapture log;
    EXPECT_EQ(m.GetLibraryByName("t.gsl"), nullptr);
    EXPECT_EQ(LogCapture::lines(),
              (std::vector<std::string>{"GSMachine: Error loading library file " +
                                        (f.path / "t.gsl").string()}));
}

}  // namespace
}  // namespace GSRuntime
