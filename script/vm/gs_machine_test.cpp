// The loader and its link table: adding files and folders, loading on first request, the
// messages of every refusal, and runs of compiled code through the whole path.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string_view>

#include "script/bytecode/gsl_image.h"
#include "script/bytecode/opcodes.h"
#include "script/vm/gs_context.h"
#include "script/vm/gs_game_object.h"
#include "script/vm/gs_router.h"
#include "script/vm/gs_stack.h"
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
        {"library gone",
         "",
         "",
         "",
         {"GS Link error: Unable to find library for class 'L' (lib id: "}},
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
        if (c.file.empty()) {  // the id of the library that is gone, as its header gives it
            const std::vector<uint8_t>& lib = f.images["lib.gsl"];
            auto word = [&](size_t at) {
                return static_cast<uint32_t>(lib[at] | lib[at + 1] << 8 | lib[at + 2] << 16 |
                                             uint32_t{lib[at + 3]} << 24);
            };
            char id[64];
            std::snprintf(id, sizeof id, "(lib id: %x.%x)", word(12), word(16));
            EXPECT_TRUE(std::find(lines.begin(), lines.end(),
                                  "GS Link error: Unable to find library for class 'L' " +
                                      std::string(id)) != lines.end())
                << ::testing::PrintToString(lines);
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

// The file behind an entry changes between the add and the first load: the load is refused
// with its error line, nothing is kept loaded, and the entry loads the file once it is whole.
TEST(Machine, AFileReplacedOrCutAfterItsAddIsRefusedAndTheEntryKept) {
    Folder f(Sources{{"t.gs", "class T { public int F() { return 1; } };"}});
    Folder other(Sources{{"t.gs", "class T { public int F() { return 2; } };"}});
    const std::vector<uint8_t>& whole = f.images["t.gsl"];
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        std::string reason;  // the reader's line before the error line, "" for none
        int error;
    };
    const std::string size = std::to_string(whole.size());
    const std::vector<Case> cases = {
        {"another library under the old name", other.images["t.gsl"], "", 8},
        {"a short header", std::vector<uint8_t>(whole.begin(), whole.begin() + 12),
         "at offset 8: header: image size " + size + " given, 12 bytes present", 1},
        {"cut inside its tables",
         std::vector<uint8_t>(whole.begin(), whole.begin() + whole.size() / 2),
         "at offset 8: header: image size " + size + " given, " + std::to_string(whole.size() / 2) +
             " bytes present",
         1},
        {"emptied", {}, "at offset 0: header: the image ends", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        f.Write("t.gsl", whole);
        GSMachine m;
        ASSERT_EQ(m.AddLibraryFolder(f.path.string(), "tests"), 1);
        f.Write("t.gsl", c.bytes);
        LogCapture log;
        EXPECT_EQ(m.GetLibraryByName("t.gsl"), nullptr);
        std::vector<std::string> lines;
        if (!c.reason.empty()) lines.push_back("GSMachine: library image refused " + c.reason);
        lines.push_back("GSMachine: Error " + std::to_string(c.error) + " loading library " +
                        (f.path / "t.gsl").string() + " ()");
        EXPECT_EQ(LogCapture::lines(), lines);
        EXPECT_TRUE(m.Loaded().empty());
        f.Write("t.gsl", whole);  // put back: the entry loads it now
        GSLibrary* lib = m.GetLibraryByName("t.gsl");
        ASSERT_NE(lib, nullptr);
        GSContext context;
        GSClass* t = lib->FindClass("T");
        EXPECT_EQ(
            testing::RunOnNewInstance(&context, t, t->FindFunction(Kiv::PString("$int@T::F()")))
                .AsInt(),
            1);
    }
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

// The record and instructions of function `signature` in `bytes`.
struct FunctionCode {
    uint32_t codeOffset = 0;
    std::vector<GSBytecode::Instruction> instructions;
};
FunctionCode CodeOf(const std::vector<uint8_t>& bytes, std::string_view signature) {
    GSBytecode::GslImage image;
    GSBytecode::GslReadError error;
    FunctionCode out;
    if (!GSBytecode::ReadLibraryImage(bytes, image, error)) return out;
    for (const GSBytecode::GslClass& c : image.classes)
        for (const GSBytecode::GslFunction& f : c.functions) {
            if (image.String(f.signature) != signature) continue;
            out.codeOffset = f.codeOffset;
            for (uint32_t pc = 0; pc < f.code.size();) {
                GSBytecode::Instruction in;
                if (GSBytecode::DecodeInstruction(f.code, pc, in) != GSBytecode::DecodeResult::kOk)
                    break;
                out.instructions.push_back(in);
                pc += in.length;
            }
        }
    return out;
}

// Loads the libraries of `images` (file name to bytes) into the runner, `main` as its library.
bool LoadImages(ScriptRunner& r, const std::map<std::string, std::vector<uint8_t>>& images,
                const std::string& main) {
    for (const auto& [name, bytes] : images)
        if (!WriteFile(r.folder / name, bytes)) return false;
    r.machine.AddLibraryFolder(r.folder.string(), "tests");
    LogCapture log;
    r.library = r.machine.GetLibraryByName(main);
    for (const std::string& l : LogCapture::lines())
        r.messages += l + "\n";
    return r.library != nullptr;
}

// A class's member word count sizes every instance of it: a library asking for more than the
// loader allows is refused before any instance could be made, one at the limit runs.
TEST(Machine, AClassOfMoreMemberWordsThanTheLimitIsNotLinked) {
    Folder f(Sources{{"t.gs", "class T { public int v; public int F() { v = 7; return v; } };"}});
    const std::vector<uint8_t>& whole = f.images["t.gsl"];
    GSBytecode::GslImage image;
    GSBytecode::GslReadError error;
    ASSERT_TRUE(GSBytecode::ReadLibraryImage(whole, image, error));
    // The initialiser section: its tag, then the member word count.
    const uint32_t words = image.classes[0].memberWords;
    const uint8_t section[8] = {GSBytecode::kTagClassInitialiser, 0, 0, 0,
                                static_cast<uint8_t>(words),      0, 0, 0};
    auto at = std::search(whole.begin() + image.classes[0].recordOffset, whole.end(), section,
                          section + 8);
    ASSERT_NE(at, whole.end());
    const size_t countAt = static_cast<size_t>(at - whole.begin()) + 4;
    const uint32_t limit = 1u << 20;
    for (uint32_t count : {limit, limit + 1}) {
        SCOPED_TRACE(count);
        std::vector<uint8_t> bytes = whole;
        for (int i = 0; i < 4; ++i)
            bytes[countAt + i] = static_cast<uint8_t>(count >> (8 * i));
        ScriptRunner r;
        const bool loaded = LoadImages(r, {{"t.gsl", bytes}}, "t.gsl");
        if (count == limit) {
            ASSERT_TRUE(loaded) << r.messages;
            EXPECT_EQ(r.Run("T", "$int@T::F()").AsInt(), 7);
        } else {
            EXPECT_FALSE(loaded);
            EXPECT_EQ(r.messages.substr(0, r.messages.find('\n')),
                      "GS Link error: Unable to initialise class 'T'");
        }
    }
}

TEST(Machine, AFunctionLeavesExactlyWhatItsSignatureSays) {
    // A caller takes a result word from a callee exactly when the callee's signature names a
    // type. A record or a return that disagreed would leave the caller a word more or less than
    // it was verified with, and its next pushes would land in its own frame record.
    const std::string source = "class T { public int F() { return 1; } public void G() { } };";
    struct Case {
        const char* what;
        void (*damage)(std::vector<uint8_t>&);
        std::string firstLine;  // of the refusal
    };
    const Case cases[] = {
        {"a record that returns an int under a signature that returns nothing",
         [](std::vector<uint8_t>& b) {
             GSBytecode::GslImage image;
             GSBytecode::GslReadError error;
             ASSERT_TRUE(GSBytecode::ReadLibraryImage(b, image, error));
             const GSBytecode::GslFunction& g = image.classes[0].functions[1];
             const uint8_t want[8] = {static_cast<uint8_t>(g.signature), 0, 0, 0, 0, 0, 0, 0};
             auto at = std::search(b.begin() + g.recordOffset, b.end(), want, want + 8);
             ASSERT_NE(at, b.end());
             at[4] = 2;  // int
         },
         "GS Link error: Unable to initialise class 'T'"},
        {"a signature that returns nothing on code that returns an int",
         [](std::vector<uint8_t>& b) { Patch(b, "$int@T::F()", "&int@T::F()"); },
         "GSMachine: code refused in function '&int@T::F()' at code offset 5: retv where the "
         "signature says none is"},
        {"a bare return in a function that returns an int",
         [](std::vector<uint8_t>& b) {
             // push 1; retv  ->  push 0; pop; push 0; pop; ret; ret
             const FunctionCode fc = CodeOf(b, "$int@T::F()");
             const uint8_t code[] = {GSBytecode::kPushZero, GSBytecode::kPop,
                                     GSBytecode::kPushZero, GSBytecode::kPop,
                                     GSBytecode::kReturn,   GSBytecode::kReturn};
             std::copy(code, code + 6, b.begin() + fc.codeOffset);
         },
         "GSMachine: code refused in function '$int@T::F()' at code offset 4: ret where the "
         "signature says a value is returned"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Folder f(Sources{{"t.gs", source}});
        std::vector<uint8_t> bytes = f.images["t.gsl"];
        c.damage(bytes);
        ScriptRunner r;
        EXPECT_FALSE(LoadImages(r, {{"t.gsl", bytes}}, "t.gsl"));
        EXPECT_EQ(r.messages.substr(0, r.messages.find('\n')), c.firstLine);
    }
}

// Runs a damaged T::Run that must fail as an illegal instruction with the top on its frame
// record and the record's locals base still on `this`.
void ExpectRefusedWithTheRecordWhole(const std::vector<uint8_t>& bytes) {
    ScriptRunner r;
    ASSERT_TRUE(LoadImages(r, {{"t.gsl", bytes}}, "t.gsl")) << r.messages;
    static int64_t topAboveRecord;
    static const GSClass* selfClass;
    topAboveRecord = -1;
    selfClass = nullptr;
    SetScriptErrorHook([](const char*, GSStack& stack, GSObjectReference*) {
        topAboveRecord = stack.top - stack.frame;
        const Ref self = stack.Locals()[0];  // `this`, where the record's locals base says
        selfClass = GetOwner(self) != nullptr ? GetHeader(self)->cls : nullptr;
    });
    testing::ScriptRun ran = r.Run("T", "$int@T::Run()");
    SetScriptErrorHook(nullptr);
    EXPECT_EQ(ran.result, ER_IllegalInstruction) << ::testing::PrintToString(ran.log);
    EXPECT_EQ(topAboveRecord, 3);
    EXPECT_EQ(selfClass, r.library->FindClass("T"));
    EXPECT_EQ(ran.log.back(), "function $int@T::Run(), line -1");
}

TEST(Machine, CodeAfterACallOfUnsettledResultIsCheckedWhereItIsEntered) {
    // Slot 0 returns an int in A and T and nothing in B, so the image cannot tell what
    // `b.F()` leaves and the depth after it is not fixed at load: the machine compares the top
    // wherever that code is entered.
    const std::string source =
        "class A { public int F() { return 1; } };\n"
        "class B { public void F() { } };\n"
        "class T { public int Run() { A a = new A(); B b = new B(); int s = 0; int i = 0;\n"
        "  while (i < 3) {\n"
        "    b.F();\n"
        "    s = s + a.F();\n"
        "    i++;\n"
        "  }\n"
        "  return s; } };";
    {
        ScriptRunner r;
        ASSERT_TRUE(r.Load(source)) << r.messages;
        const GSFunction* run =
            r.library->FindClass("T")->FindFunction(Kiv::PString("$int@T::Run()"));
        ASSERT_NE(run, nullptr);
        // The loop is entered with the depth unsettled.
        EXPECT_FALSE(run->runChecks.bounds.empty());
        testing::ScriptRun ran = r.Run("T", "$int@T::Run()");
        EXPECT_EQ(ran.result, ER_Done) << ::testing::PrintToString(ran.log);
        EXPECT_EQ(ran.AsInt(), 3);
    }
    // Each damage makes the instruction after `b.F()` take a word the call did not leave.
    // Either the two instructions there (loads of `s` and `a`) become: pop; new A; push 0;
    // pop. The pop leaves the top on the frame record's third word and `new` writes a
    // reference over the record's locals base, which the unwinding would follow. Or the load
    // of `s` becomes a store, which would take the record's last word into `s` and leave the
    // load of `a` to write over the locals base. The run fails at the pop or the store: when
    // it fails the top stands on the record and the record is whole.
    for (const bool pops : {true, false}) {
        SCOPED_TRACE(pops ? "pop" : "store");
        Folder f(Sources{{"t.gs", source}});
        std::vector<uint8_t> bytes = f.images["t.gsl"];
        const FunctionCode fc = CodeOf(bytes, "$int@T::Run()");
        size_t k = 0;
        while (k < fc.instructions.size() && fc.instructions[k].opcode != GSBytecode::kCall)
            ++k;
        ASSERT_LT(k + 2, fc.instructions.size());
        ASSERT_EQ(fc.instructions[0].opcode, GSBytecode::kNewObject);  // new A
        const GSBytecode::Instruction& next = fc.instructions[k + 1];
        ASSERT_EQ(next.opcode, GSBytecode::kLoadLocal);
        ASSERT_EQ(next.length + fc.instructions[k + 2].length, 6u);
        const uint8_t damage[6] = {GSBytecode::kPop,         GSBytecode::kNewObject,
                                   bytes[fc.codeOffset + 1], bytes[fc.codeOffset + 2],
                                   GSBytecode::kPushZero,    GSBytecode::kPop};
        if (pops)
            std::copy(damage, damage + 6, bytes.begin() + fc.codeOffset + next.offset);
        else
            bytes[fc.codeOffset + next.offset] = GSBytecode::kStoreLocal;
        ExpectRefusedWithTheRecordWhole(bytes);
    }
}

TEST(Machine, ACalleeOfAnotherShapeThanVerifiedIsRefusedAtTheCall) {
    // The verifier knows no object's class: `a.F(...)` was verified with A's F, but damaged code
    // hands the call an `L`, whose slot 0 takes or leaves other words. Run, it would leave the
    // caller a word short of what its code was verified with, or release as a reference a
    // number it never held.
    struct Case {
        const char* what;
        std::string a;  // A's F and its call
        std::string l;  // L's slot 0
        std::string call;
    };
    // A call passes as many words as a stack holds, not only as many as a 64-bit mask covers.
    std::string ints, seventy;
    for (int i = 1; i < 70; ++i) {
        ints += "int x" + std::to_string(i) + ", ";
        seventy += std::to_string(i) + ", ";
    }
    const Case cases[] = {
        {"a callee that leaves no result", "public int F() { return 1; }", "public void G() { }",
         "a.F()"},
        {"a callee that takes a reference for a plain word", "public int F(int x) { return x; }",
         "public int G(string s) { return 1; }", "a.F(5)"},
        {"a callee that takes a reference for the 70th plain word",
         "public int F(" + ints + "int x70) { return x70; }",
         "public int G(" + ints + "string s) { return 1; }", "a.F(" + seventy + "70)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Sources sources = {
            {"main.gs", std::string("include \"lib.gs\"\nclass A { ") + c.a +
                            " };\nclass T { public int Run() { L l = new L(); A a = new A(); "
                            "return " +
                            c.call + "; } };"},
            {"lib.gs", std::string("class L { ") + c.l + " };"},
        };
        Folder f(sources);
        std::vector<uint8_t> bytes = f.images["main.gsl"];
        const FunctionCode fc = CodeOf(bytes, "$int@T::Run()");
        size_t k = 0;
        while (k < fc.instructions.size() && fc.instructions[k].opcode != GSBytecode::kCall)
            ++k;
        ASSERT_LT(k, fc.instructions.size());
        while (k > 0 && fc.instructions[k].opcode != GSBytecode::kLoadLocalRef)
            --k;
        const GSBytecode::Instruction& object = fc.instructions[k];
        ASSERT_EQ(object.opcode, GSBytecode::kLoadLocalRef);
        ASSERT_EQ(object.operand[0], 2);               // a
        bytes[fc.codeOffset + object.offset + 1] = 1;  // l
        ScriptRunner r;
        ASSERT_TRUE(
            LoadImages(r, {{"main.gsl", bytes}, {"lib.gsl", f.images["lib.gsl"]}}, "main.gsl"))
            << r.messages;
        testing::ScriptRun ran = r.Run("T", "$int@T::Run()");
        EXPECT_EQ(ran.result, ER_IllegalInstruction) << ::testing::PrintToString(ran.log);
    }
}

TEST(Machine, ACallSiteResolvedForOneClassRefusesAnotherOfOtherShape) {
    // `x.F(5)` runs first on an A, so the site keeps A's F; the damaged store makes x an `L`
    // for the second turn, whose slot 0 takes or leaves other words: the site must resolve
    // it again, and refuse it, rather than run what it kept.
    struct Case {
        const char* what;
        const char* l;  // L's slot 0
    };
    const Case cases[] = {
        {"a callee that leaves no result", "public void G(int x) { }"},
        {"a callee that takes a reference for a plain word",
         "public int G(string s) { return 1; }"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Sources sources = {
            {"main.gs",
             "include \"lib.gs\"\nclass A { public int F(int x) { return x; } };\n"
             "class T { public int Run() { L l = new L(); A a = new A(); A b = new A(); A x = a; "
             "int i, s = 0; for (i = 0; i < 2; i++) { s = s + x.F(5); x = b; } return s; } };"},
            {"lib.gs", std::string("class L { ") + c.l + " };"},
        };
        Folder f(sources);
        std::vector<uint8_t> damaged = f.images["main.gsl"];
        const FunctionCode fc = CodeOf(damaged, "$int@T::Run()");
        auto load = std::find_if(
            fc.instructions.begin(), fc.instructions.end(), [](const GSBytecode::Instruction& in) {
                return in.opcode == GSBytecode::kLoadLocalRef && in.operand[0] == 3;  // b
            });
        ASSERT_NE(load, fc.instructions.end());
        damaged[fc.codeOffset + load->offset + 1] = 1;  // l
        // Undamaged, both turns call A's F.
        for (const auto& [bytes, result] : {std::pair{f.images["main.gsl"], ER_Done},
                                            std::pair{damaged, ER_IllegalInstruction}}) {
            ScriptRunner r;
            ASSERT_TRUE(
                LoadImages(r, {{"main.gsl", bytes}, {"lib.gsl", f.images["lib.gsl"]}}, "main.gsl"))
                << r.messages;
            testing::ScriptRun ran = r.Run("T", "$int@T::Run()");
            EXPECT_EQ(ran.result, result) << ::testing::PrintToString(ran.log);
            if (result == ER_Done) {
                EXPECT_EQ(ran.AsInt(), 10);
            }
        }
    }
}

TEST(Machine, AThreadOfAnotherShapeThanVerifiedIsRefusedAtItsStart) {
    // As for a call: `a.F(5)` starts A's thread F, but damaged code hands the start an `L`,
    // whose slot 0 would take other words than the caller's code passes.
    struct Case {
        const char* what;
        const char* l;  // L's slot 0
    };
    const Case cases[] = {
        {"a thread that takes a reference for a plain word", "public thread void G(string s) { }"},
        {"a thread of another parameter count", "public thread void G() { }"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const Sources sources = {
            {"gs.gs", "game class GameObject { };"},
            {"main.gs", std::string("include \"gs.gs\"\n"
                                    "game class A isclass GameObject { "
                                    "public thread void F(int x) { } };\n"
                                    "game class L isclass GameObject { ") +
                            c.l +
                            " };\nclass T { public int Run(L l, A a) { a.F(5); return 1; } };"},
        };
        Folder f(sources);
        std::vector<uint8_t> damaged = f.images["main.gsl"];
        const char* const run = "$int@T::Run(L,A)";
        const FunctionCode fc = CodeOf(damaged, run);
        auto start = std::find_if(
            fc.instructions.begin(), fc.instructions.end(),
            [](const GSBytecode::Instruction& in) { return in.opcode == GSBytecode::kCallThread; });
        ASSERT_NE(start, fc.instructions.end());
        auto object = std::find_if(std::make_reverse_iterator(start), fc.instructions.rend(),
                                   [](const GSBytecode::Instruction& in) {
                                       return in.opcode == GSBytecode::kLoadLocalRef;
                                   });
        ASSERT_NE(object, fc.instructions.rend());
        ASSERT_EQ(object->operand[0], 2);                 // a
        damaged[fc.codeOffset + object->offset + 1] = 1;  // l
        // Undamaged, the thread starts.
        for (const auto& [bytes, result] : {std::pair{f.images["main.gsl"], ER_Done},
                                            std::pair{damaged, ER_IllegalInstruction}}) {
            ScriptRunner r;
            ASSERT_TRUE(
                LoadImages(r, {{"main.gsl", bytes}, {"gs.gsl", f.images["gs.gsl"]}}, "main.gsl"))
                << r.messages;
            SetGameObjectClass(r.machine.GetLibraryByName("gs.gsl")->FindClass("GameObject"));
            auto context = std::make_unique<GSContext>();
            context->router = new GSRouter(context.get());
            SetCurrentContext(context.get());
            std::vector<uint32_t> objects;
            for (const char* name : {"L", "A"}) {
                auto* game = new GSGameObject();
                ASSERT_TRUE(game->Instantiate(r.library->FindClass(name), context.get()));
                ASSERT_TRUE(context->router->AddNode(game));
                objects.push_back(game->instance);
                AddReference(game->instance);  // the run's argument
            }
            GSClass* t = r.library->FindClass("T");
            testing::ScriptRun ran = testing::RunOnNewInstance(
                context.get(), t, t->FindFunction(Kiv::PString(run)), objects);
            for (uint32_t o : objects)
                ReleaseReference(o);
            context.reset();
            SetCurrentContext(nullptr);
            SetGameObjectClass(nullptr);
            EXPECT_EQ(ran.result, result) << ::testing::PrintToString(ran.log);
        }
    }
}

// The verifier knows no object's class: code verified for one object but handed another (its
// first load of local `from` made a load of local `to`) must be refused where the object is
// used, never let a plain word become a reference, a store land outside the object or a call
// run with other words than its code was verified with.
TEST(Machine, AnObjectOfAnotherShapeThanVerifiedIsRefusedWhereItIsUsed) {
    struct Case {
        const char* what;
        std::string classes, body;
        uint16_t from, to;
        int32_t result;
    };
    const std::string tenWords =
        "class A { public int v0; public int v1; public int v2; public int v3; public int v4; "
        "public int v5; public int v6; public int v7; public int v8; public int v9; };\n";
    const std::vector<Case> cases = {
        {"a plain store into a reference member",
         "class A { public int v; };\nclass L { public string s; };\n", "a.v = 5; return 1;", 1, 2,
         ER_IllegalInstruction},
        {"a reference load of a plain member",
         "class A { public string s; };\nclass L { public int v; };\n", "return a.s.size();", 1, 2,
         ER_IllegalInstruction},
        {"a store past the object's members", tenWords + "class L { public int w; };\n",
         "a.v9 = 5; return 1;", 1, 2, ER_IllegalInstruction},
        {"a call with another parameter count",
         "class A { public int F(int x) { return x; } };\n"
         "class L { public int G() { return 2; } };\n",
         "return a.F(1);", 1, 2, ER_IllegalInstruction},
        {"a method slot past the object's table",
         "class A { public int F0() { return 0; } public int F1() { return 1; } "
         "public int F2() { return 2; } };\nclass L { public int G() { return 2; } };\n",
         "return a.F2();", 1, 2, ER_NullReference},
        {"a script call reaching a native",
         "class A { public int F() { return 1; } };\nclass L { public native int G(); };\n",
         "return a.F();", 1, 2, ER_IllegalInstruction},
    };
    const std::vector<Case> arrays = {
        {"a plain store into a reference array", "", "a[0] = 5; return 1;", 1, 2,
         ER_ArrayOutOfBounds},
        {"a reference load from a plain array", "", "return s[0].size();", 2, 1,
         ER_ArrayOutOfBounds},
    };
    auto run = [](const Case& c, const std::string& source) {
        SCOPED_TRACE(c.what);
        std::string messages;
        std::vector<uint8_t> bytes =
            ScriptRunner::CompileImage({{"t.gs", source}}, "t.gs", &messages);
        ASSERT_FALSE(bytes.empty()) << messages;
        const FunctionCode fc = CodeOf(bytes, "$int@T::Run()");
        auto load = std::find_if(
            fc.instructions.begin(), fc.instructions.end(), [&](const GSBytecode::Instruction& in) {
                return in.opcode == GSBytecode::kLoadLocalRef && in.operand[0] == c.from;
            });
        ASSERT_NE(load, fc.instructions.end());
        bytes[fc.codeOffset + load->offset + 1] = static_cast<uint8_t>(c.to);
        ScriptRunner r;
        ASSERT_TRUE(LoadImages(r, {{"t.gsl", bytes}}, "t.gsl")) << r.messages;
        testing::ScriptRun ran = r.Run("T", "$int@T::Run()");
        EXPECT_EQ(ran.result, c.result) << ::testing::PrintToString(ran.log);
    };
    for (const Case& c : cases)
        run(c, c.classes + "class T { public int Run() { A a = new A(); L l = new L(); " + c.body +
                   " } };");
    for (const Case& c : arrays)
        run(c, "class T { public int Run() { int[] a = new int[1]; string[] s = new string[1]; " +
                   c.body + " } };");
}

}  // namespace
}  // namespace GSRuntime
