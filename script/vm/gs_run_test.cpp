// Compile-load-run tables: small programs compiled by our compiler, loaded and linked by the
// machine and run, one table per family of opcodes, each row with its expected value or result
// code and log lines.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "script/bytecode/opcodes.h"
#include "script/vm/gs_dispatch.h"
#include "script/vm/gs_native.h"
#include "script/vm/gs_stack.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/gs_thread.h"
#include "script/vm/reference_region.h"
#include "script/vm/testing/script_runner.h"
#include "script/vm/vm_statics.h"

namespace GSRuntime {
namespace {

using testing::ScriptRun;
using testing::ScriptRunner;

namespace fs = std::filesystem;

// One row: the body of "int Run()" (or the whole class when `body` starts with "class"), and
// the expected result code and word.
struct Row {
    const char* what;
    std::string source;
    int32_t result;
    uint32_t word = 0;
};

uint32_t FloatWord(float f) {
    return std::bit_cast<uint32_t>(f);
}

// Runs each row's "$<type>@T::Run()" in a class T of its own.
void RunTable(const std::vector<Row>& rows, const char* type = "int") {
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        std::string source =
            row.source.rfind("class", 0) == 0
                ? row.source
                : std::string("class T { ") + type + " Run() { " + row.source + " } };";
        ScriptRunner r;
        ASSERT_TRUE(r.Load(source)) << r.messages << source;
        ScriptRun run = r.Run("T", (std::string("$") + type + "@T::Run()").c_str());
        EXPECT_EQ(run.result, row.result) << ::testing::PrintToString(run.log);
        if (run.result == ER_Done && row.result == ER_Done) {
            EXPECT_EQ(run.word, row.word);
        }
    }
}

TEST(CompiledPrograms, EachFamilysProgramGivesItsExpectedValue) {
    const fs::path folder = fs::path(HALVEX_SOURCE_DIR) / "script/compiler/testdata/programs";
    int ran = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() != ".gs") continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        std::string first = text.str().substr(0, text.str().find('\n'));
        std::istringstream expect(first.substr(std::string("// expect ").size()));
        std::string type, value;
        expect >> type;
        std::getline(expect >> std::ws, value);
        ScriptRunner r;
        ASSERT_TRUE(r.Load(text.str())) << r.messages;
        ScriptRun run = r.Run("Test", ("$" + type + "@Test::Run()").c_str());
        ASSERT_EQ(run.result, ER_Done) << ::testing::PrintToString(run.log);
        if (type == "int")
            EXPECT_EQ(std::to_string(run.AsInt()), value);
        else if (type == "float")
            EXPECT_EQ(run.AsFloat(), std::stof(value));
        else
            EXPECT_EQ(run.text, value);
        ++ran;
    }
    EXPECT_GE(ran, 10);
}

TEST(CompiledPrograms, IntegersAndCompares) {
    RunTable({
        {"wrapping add", "int a = 2147483647; return a + 1;", ER_Done, 0x80000000u},
        {"INT_MIN / -1", "int a = -2147483647 - 1; int b = -1; return a / b;", ER_Done,
         0x80000000u},
        {"INT_MIN % -1", "int a = -2147483647 - 1; int b = -1; return a % b;", ER_Done, 0},
        {"divide by zero", "int a = 5; int b = 0; return a / b;", ER_DivideByZero},
        {"remainder by zero", "int a = 5; int b = 0; return a % b;", ER_DivideByZero},
        {"negate, not, xor", "int a = 12; return -a + (~a ^ 3) + (a & 4) + (a | 1);", ER_Done,
         static_cast<uint32_t>(-12 + (~12 ^ 3) + 4 + 13)},
        {"shifts use the low five bits", "int a = 1; int n = 33; return (a << n) + (-8 >> 28);",
         ER_Done, 2 + (0xFFFFFFF8u >> 28)},
        {"compare at the extremes", "int a = -2147483647 - 1; if (a < 1) return 1; return 0;",
         ER_Done, 1},
        {"compares",
         "int a = 3, b = 4; return (int)(a < b) + (int)(a <= b) * 2 + (int)(a > b) * 4 + "
         "(int)(a >= b) * 8 + (int)(a == b) * 16 + (int)(a != b) * 32;",
         ER_Done, 1 + 2 + 32},
        {"increments", "int a = 5; a++; a--; a++; return a;", ER_Done, 6},
    });
}

TEST(CompiledPrograms, Floats) {
    RunTable(
        {
            {"arithmetic", "float a = 1.5, b = 0.25; return a * b + a / b - a;", ER_Done,
             FloatWord(1.5f * 0.25f + 6.0f - 1.5f)},
            {"-0.0 divides", "float z = -0.0; return 1.0 / z;", ER_Done, FloatWord(-INFINITY)},
            {"+0.0 does not", "float z = 0.0; return 1.0 / z;", ER_DivideByZero},
            {"remainder", "float a = 7.5, b = 2.0; return a % b;", ER_Done, FloatWord(1.5f)},
            {"negate", "float a = 2.0; return -a;", ER_Done, FloatWord(-2.0f)},
            {"decrement", "float a = 2.5; a--; return a;", ER_Done, FloatWord(1.5f)},
        },
        "float");
    RunTable({
        {"to int truncates", "float a = -2.75; return (int)a;", ER_Done, static_cast<uint32_t>(-2)},
        {"out of range gives 0x80000000", "float a = 3000000000.0; return (int)a;", ER_Done,
         0x80000000u},
        {"below the range too", "float a = -3000000000.0; return (int)a;", ER_Done, 0x80000000u},
        {"NaN too",
         "float g = 1000000000.0; float n = g * g * g * g * g; n = n - n; return (int)n;", ER_Done,
         0x80000000u},
        {"float compares",
         "float a = 1.0, b = 2.0; return (int)(a < b) + (int)(a > b) * 2 + (int)(a == b) * 4;",
         ER_Done, 1},
    });
}

TEST(CompiledPrograms, ConstantsLocalsAndStackWords) {
    RunTable({
        {"a constant of 32 bits", "return 305419896;", ER_Done, 305419896u},
        {"chained stores keep the reference",
         "string a, b; a = b = \"xy\"; return a.size() + b.size();", ER_Done, 4},
        {"chained plain stores", "int a, b; a = b = 7; return a * b;", ER_Done, 49},
        {"a dropped result lets go of its reference",
         "class T { string S() { return \"a\"; } int Run() { S(); return 1; } };", ER_Done, 1},
        {"a reference local replaced", "string s = \"abc\"; s = \"de\"; return s.size();", ER_Done,
         2},
    });
}

TEST(CompiledPrograms, JumpsAndSwitch) {
    RunTable({
        {"while and break", "int i = 0; while (1) { i++; if (i > 9) break; } return i;", ER_Done,
         10},
        {"for and continue",
         "int i, s = 0; for (i = 0; i < 10; i++) { if (i % 2) continue; s = s + i; } return s;",
         ER_Done, 20},
        {"and, or", "int a = 0, b = 3; return (int)(a and b) + (int)(a or b) * 2 + (int)(!a) * 4;",
         ER_Done, 6},
        {"switch",
         "int s = 0, i; for (i = -1; i < 4; i++) { switch (i) { case -1: s = s + 1; "
         "break; case 2: s = s + 10; break; default: s = s + 100; } } return s;",
         ER_Done, 311},
        {"an endless loop times out", "while (1) {} return 0;", ER_Timeout},
    });
}

TEST(CompiledPrograms, ArraysOfBothKinds) {
    RunTable({
        {"size and elements", "int[] a = new int[3]; a[2] = 7; return a.size() * 10 + a[2];",
         ER_Done, 37},
        {"out of bounds", "int[] a = new int[3]; return a[3];", ER_ArrayOutOfBounds},
        {"negative index", "int[] a = new int[3]; int i = -1; return a[i];", ER_ArrayOutOfBounds},
        {"null array", "int[] a; return a[0];", ER_NullArrayReference},
        {"a negative size makes an empty array",
         "int n = -1; int[] a = new int[n]; return a.size();", ER_Done, 0},
        {"huge size", "int n = 2147483647; int[] a = new int[n]; return 0;", ER_ArrayOutOfBounds},
        // An array holds at most 2^24 elements, however it grows.
        {"the element cap", "int n = 16777216; int[] a = new int[n]; return a.size();", ER_Done,
         16777216},
        {"one past the element cap", "int n = 16777217; int[] a = new int[n]; return 0;",
         ER_ArrayOutOfBounds},
        {"a range store padding past the cap",
         "int[] a = new int[1]; int[] b = new int[1]; a[16777216, 16777216] = b; return 0;",
         ER_ArrayOutOfBounds},
        {"open ranges",
         "int[] a = new int[5]; int i; for (i = 0; i < 5; i++) a[i] = i; "
         "int[] b = a[2, ]; int[] c = a[, 2]; return b.size() * 100 + c.size() "
         "* 10 + b[0];",
         ER_Done, 322},
        {"negative range bounds take the whole array",
         "int[] a = new int[5]; int f = -3, t = -9; return a[f, t].size();", ER_Done, 5},
        {"a range past the end is cut at the end", "int[] a = new int[5]; return a[2, 9].size();",
         ER_Done, 3},
        {"a range that ends before it starts", "int[] a = new int[5]; return a[3, 1].size();",
         ER_ArrayOutOfBounds},
        {"a range store that ends before it starts",
         "int[] a = new int[5]; int[] b = new int[1]; a[3, 1] = b; return 0;", ER_ArrayOutOfBounds},
        {"range store",
         "int[] a = new int[4]; int[] b = new int[2]; b[0] = 5; b[1] = 6; "
         "a[1, 3] = b; return a[1] * 10 + a[2];",
         ER_Done, 56},
        {"a chained element store keeps the value",
         "int[] a = new int[2]; int x; x = a[0] = 5; return x + a[0];", ER_Done, 10},
        {"a chained reference element store",
         "string[] s = new string[1]; string t; t = s[0] = \"ab\"; return t.size() + "
         "s[0].size();",
         ER_Done, 4},
        {"a chained range store keeps the value",
         "int[] a = new int[4]; int[] b = new int[1]; int[] c; c = a[1, 3] = b; "
         "return c.size() * 10 + a.size();",
         ER_Done, 13},
        {"reference ranges",
         "string[] s = new string[3]; s[1] = \"q\"; string[] t = s[1, ]; "
         "return t.size() * 10 + t[0].size();",
         ER_Done, 21},
        {"reference range stores",
         "string[] s = new string[3]; string[] t = new string[1]; string[] u; s[0, 2] = t; "
         "u = s[0, 1] = t; return s.size() * 10 + u.size();",
         ER_Done, 21},
        {"string elements",
         "string[] s = new string[2]; s[0] = \"ab\"; return s[0].size() + "
         "(int)(s[1] == null);",
         ER_Done, 3},
    });
}

TEST(CompiledPrograms, Strings) {
    RunTable({
        {"index out of range", "string s = \"ab\"; return s[2];", ER_StringOutOfBounds},
        {"null string", "string s; return s.size();", ER_NullStringReference},
        {"compare", "string a = \"abc\", b = \"abd\"; return (int)(a < b) + (int)(a == a) * 2;",
         ER_Done, 3},
        {"store a byte", "string s = \"abc\"; s[1] = 'x'; return s[1];", ER_Done, 'x'},
        {"a chained byte store keeps the byte",
         "string s = \"abc\"; int c; c = s[1] = 'y'; return c;", ER_Done, 'y'},
        {"a new empty string", "string s = new string(); return s.size();", ER_Done, 0},
        {"range store", "string s = \"abcd\"; s[1, 3] = \"Z\"; return s.size() * 1000 + s[1];",
         ER_Done, 3000 + 'Z'},
        {"a chained string range store keeps the value",
         "string s = \"abcd\"; string t; t = s[1, 3] = \"Q\"; return t.size() * 10 + s.size();",
         ER_Done, 13},
        {"a range store out of bounds", "string s = \"ab\"; s[1, 5] = \"Z\"; return 0;",
         ER_StringOutOfBounds},
        {"negative range bounds take the whole string",
         "string s = \"abcdef\"; int f = -5, t = -7; return s[f, t].size();", ER_Done, 6},
        {"a range past the end", "string s = \"abc\"; return s[1, 4].size();",
         ER_StringOutOfBounds},
        {"a range that ends before it starts", "string s = \"abc\"; return s[2, 1].size();",
         ER_StringOutOfBounds},
        {"joining a null gives the other string",
         "string a; string b = \"xy\"; return (a + b).size() + (b + a).size() * 10;", ER_Done, 22},
        {"joining two nulls gives an empty string",
         "string a, b; string c = a + b; return c.size() + 5;", ER_Done, 5},
        {"a null compares as the empty string",
         "string a; string e = \"\"; string x = \"x\"; return (int)(a == e) + (int)(a < x) * 2 + "
         "(int)(x > a) * 4 + (int)(a < e) * 8;",
         ER_Done, 7},
        // A string holds at most 64 MiB, however it grows.
        {"doubled up to the length cap",
         "string s = \"a\"; int i; for (i = 0; i < 26; i++) s = s + s; return s.size();", ER_Done,
         1u << 26},
        {"joined past the length cap",
         "string s = \"a\"; int i; for (i = 0; i < 26; i++) s = s + s; s = s + \"b\"; return 0;",
         ER_StringOutOfBounds},
        {"a range store past the length cap",
         "string s = \"a\"; int i; for (i = 0; i < 26; i++) s = s + s; s[0, 0] = \"b\"; "
         "return 0;",
         ER_StringOutOfBounds},
    });
}

// Strings and arrays a script keeps share one budget of bytes (lowered here to 1 MiB so a
// loop reaches it at once): the allocation past it fails the run as a value too large does,
// and every byte is given back when the context goes.
TEST(CompiledPrograms, StringsAndArraysKeptInALoopShareOneBudget) {
    struct BudgetRow {
        const char* what;
        const char* body;
        int32_t result;
    };
    // A 1 KiB string joined with a number, each kept in an array of 4,000 words.
    const std::string kilo =
        "string s = \"x\"; int i; for (i = 0; i < 10; i++) s = s + s; "
        "string[] kept = new string[4000]; ";
    const BudgetRow rows[] = {
        {"strings kept in a loop", "for (i = 0; i < 4000; i++) kept[i] = s + i; return 0;",
         ER_StringOutOfBounds},
        {"a string grown in place by range stores",
         "string g = \"\"; for (i = 0; i < 4000; i++) g[0, 0] = s; return 0;",
         ER_StringOutOfBounds},
        {"an array grown past the budget",
         "int[] a; for (i = 1; i < 300000; i = i * 2) a = new int[i]; return 0;",
         ER_ArrayOutOfBounds},
        {"strings and arrays draw on the same bytes",
         "int[] a = new int[200000]; for (i = 0; i < 4000; i++) kept[i] = s + i; return 0;",
         ER_StringOutOfBounds},
        {"values within the budget",
         "for (i = 0; i < 500; i++) kept[i] = s + i; return kept[499].size();", ER_Done},
    };
    const size_t before = ValueBytesInUse();
    const size_t budget = SetValueBudgetForTesting(size_t{1} << 20);
    for (const BudgetRow& row : rows) {
        SCOPED_TRACE(row.what);
        {
            ScriptRunner r;
            ASSERT_TRUE(r.Load("class T { int Run() { " + kilo + row.body + " } };")) << r.messages;
            ScriptRun run = r.Run("T", "$int@T::Run()");
            EXPECT_EQ(run.result, row.result) << ::testing::PrintToString(run.log);
        }
        EXPECT_EQ(ValueBytesInUse(), before);
    }
    SetValueBudgetForTesting(budget);
}

TEST(CompiledPrograms, StringsGiveTheirTexts) {
    ScriptRunner r;
    ASSERT_TRUE(
        r.Load("class T { string Run() { float f = 1.5; return \"a\" + 1 + \" \" + true "
               "+ \" \" + f + \" \" + \"abcdef\"[2, ] + \"abcdef\"[, 2]; } };"))
        << r.messages;
    ScriptRun run = r.Run("T", "$string@T::Run()");
    ASSERT_EQ(run.result, ER_Done) << ::testing::PrintToString(run.log);
    EXPECT_EQ(run.text, "a1 true 1.500000 cdefab");
}

TEST(CompiledPrograms, ClassesObjectsAndCalls) {
    const std::string classes =
        "class B { public int v = 3; public int Get() { return v; } public int Twice(int x) { "
        "return x * 2; } };\n"
        "class D isclass B { public int w = 4; public int Get() { return inherited() * 10 + w; } "
        "};\n"
        "class E isclass D { public int Get() { return inherited() + 100; } };\n"
        "static class S { public int n = 8; };\n";
    auto with = [&](const std::string& body) {
        return classes + "class T { int Run() { " + body + " } };";
    };
    RunTable({
        {"override and inherited", with("B b = new D(); return b.Get();"), ER_Done, 34},
        {"argument", with("B b = new B(); return b.Twice(21);"), ER_Done, 42},
        // Each call site keeps the callee it resolved for one class: one site reached with
        // objects of three classes in turn, and D's inherited call with a D and with an E.
        {"one call site, objects of several classes",
         with("B b = new B(); B d = new D(); B e = new E(); B o; int s = 0; int i; "
              "for (i = 0; i < 6; i++) { o = b; if (i % 3 == 1) o = d; if (i % 3 == 2) o = e; "
              "s = s + o.Get() * (i + 1); } return s;"),
         ER_Done, 1459},
        {"class test and cast",
         with("B b = new D(); D d = cast<D>(b); return (int)b.isclass(D) + (int)(d != null) * 2;"),
         ER_Done, 3},
        {"a class test holds for the class's bases",
         with("D d = new D(); B b = new B(); return (int)d.isclass(B) + (int)d.isclass(D) * 2 + "
              "(int)b.isclass(D) * 4;"),
         ER_Done, 3},
        {"failed cast is null", with("B b = new B(); D d = cast<D>(b); return (int)(d == null);"),
         ER_Done, 1},
        {"null call", with("B b; return b.Get();"), ER_NullReference},
        {"null member", with("B b; return b.v;"), ER_NullReference},
        {"member stores", with("D d = new D(); d.v = 5; d.w = d.v + 1; return d.Get();"), ER_Done,
         56},
        {"reference compare",
         with("B a = new B(); B b = a; B c = new B(); return (int)(a == b) + "
              "(int)(a == c) * 2 + (int)(a != c) * 4;"),
         ER_Done, 5},
        {"the static object keeps its members", with("S.n = S.n + 1; return S.n;"), ER_Done, 9},
        {"null tests", with("B b; B c = new B(); return (int)(!b) + (int)(!c) * 2;"), ER_Done, 1},
        {"void calls",
         "class T { int v; void Set(int x) { v = x; return; } int Run() { Set(4); return v; } "
         "};",
         ER_Done, 4},
        {"deep recursion overflows",
         "class T { int F(int n) { return F(n + 1); } int Run() { return F(0); } };",
         ER_StackOverflow},
    });
    // Plain words and references past the 64th argument reach their parameters.
    std::string params, args;
    for (int i = 1; i < 70; ++i) {
        params += "int x" + std::to_string(i) + ", ";
        args += std::to_string(i) + ", ";
    }
    RunTable({
        {"seventy-one arguments",
         "class A { public int F(" + params +
             "string s, int y) { return x69 + s.size() * 100 + y * 10000; } };\n"
             "class T { int Run() { A a = new A(); return a.F(" +
             args + "\"abc\", 7); } };",
         ER_Done, 70369},
    });
}

TEST(CompiledPrograms, MembersOfOtherObjectsAndOfThis) {
    const std::string holder = "class O { public string s; public int v; };\n";
    auto with = [&](const std::string& body) {
        return holder + "class T { string s; int v; int Run() { " + body + " } };";
    };
    RunTable({
        {"reference members of another object",
         with("O o = new O(); o.s = \"ab\"; o.s = \"abc\"; return o.s.size();"), ER_Done, 3},
        {"chained stores into another object",
         with("O o = new O(); int x; string t; x = o.v = 5; t = o.s = \"abcd\"; "
              "return x + o.v + t.size() * 100;"),
         ER_Done, 410},
        {"members of this",
         with("string t; int x; t = s = \"ab\"; x = v = 3; s = \"xyz\"; "
              "return t.size() * 1000 + s.size() * 100 + x * 10 + v;"),
         ER_Done, 2333},
        {"a null object's reference member", with("O o; return o.s.size();"), ER_NullReference},
        {"a store into a null object", with("O o; o.s = \"a\"; return 0;"), ER_NullReference},
    });
}

// What needs a game object with a router, run on a plain object on the static thread.
TEST(CompiledPrograms, ThreadsAndWaitsWithoutAGameObject) {
    auto with = [](const std::string& body) {
        return "class T { thread void W() { } int Run() { " + body + " } };";
    };
    RunTable({
        {"a thread started on a plain object", with("W(); return 1;"), ER_ThreadError},
        {"a wait on the static thread", with("wait() { on \"A\", \"\": break; } return 1;"),
         ER_ThreadError},
    });
}

// A program that leaves its objects, strings and arrays holding each other in rings: when its
// context goes, the teardown frees them all and the heaps are back where they were.
TEST(CompiledPrograms, TheContextsTeardownFreesTheRingsAProgramLeaves) {
    ScriptRunner r;
    ASSERT_TRUE(r.Load(
        "class N { public N next; public N[] all; public string[] names; public string name; };\n"
        "class T { N kept; int Run() {\n"
        "  N a = new N(); N b = new N();\n"
        "  a.next = b; b.next = a; kept = a;\n"
        "  a.all = new N[3]; a.all[0] = a; a.all[1] = b;\n"
        "  b.all = a.all;\n"
        "  b.names = new string[2]; b.names[0] = \"ring\"; b.names[1] = b.names[0] + \"s\";\n"
        "  b.name = b.names[1];\n"
        "  a.all[2] = new N(); a.all[2].next = a.all[2];\n"
        "  return a.all.size() + b.names.size() * 10; } };"))
        << r.messages;
    const long heap = GSContextHeap().LiveBlocks();
    const long region = ReferenceRegion::Get().LiveBlocks();
    ScriptRun run = r.Run("T", "$int@T::Run()");
    EXPECT_EQ(run.result, ER_Done) << ::testing::PrintToString(run.log);
    EXPECT_EQ(run.word, 23u);
    EXPECT_EQ(GSContextHeap().LiveBlocks(), heap);
    EXPECT_EQ(ReferenceRegion::Get().LiveBlocks(), region);
}

// Natives of a test class bound in the registry: arguments, results, a native that pushes
// nothing where a value is wanted (0), one that raises an error and one left unbound.
void SumNative(GSContext*, GSStack& stack) {
    stack.Push(stack.GetWord(1) + stack.GetWord(2));
}
void NothingNative(GSContext*, GSStack&) {}
void FailNative(GSContext*, GSStack&) {
    GSThread::RaiseError(CurrentThread(), "the test native failed", false);
}

TEST(CompiledPrograms, CallsOfNatives) {
    static const bool bound = [] {
        GSNativeRegistry& r = GSNativeRegistry::Get();
        r.Add(std::make_unique<GSCNativeFunction>("TN", "$int@TN::Sum(int,int)", &SumNative));
        r.Add(std::make_unique<GSCNativeFunction>("TN", "$int@TN::Nothing()", &NothingNative));
        r.Add(std::make_unique<GSCNativeFunction>("TN", "$void@TN::Fail()", &FailNative));
        return true;
    }();
    ASSERT_TRUE(bound);
    const std::string natives =
        "class TN { public native int Sum(int a, int b); public native int Nothing(); "
        "public native void Fail(); public native int Unbound(); };\n";
    auto with = [&](const std::string& body) {
        return natives + "class T { int Run() { TN n = new TN(); " + body + " } };";
    };
    RunTable({
        {"arguments and result", with("return n.Sum(40, 2);"), ER_Done, 42},
        {"no result pushed gives 0", with("return n.Nothing() + 5;"), ER_Done, 5},
        {"a raised error", with("n.Fail(); return 1;"), ER_Exception},
        {"no binding", with("return n.Unbound();"), ER_NativeCallError},
        {"a null object",
         "class TN { public native int Sum(int a, int b); };\n"
         "class T { int Run() { TN n; return n.Sum(1, 2); } };",
         ER_NullReference},
    });
}

// The fused forms the link makes must do what their instructions do: each program runs as
// linked and again with every function dispatching on its plain opcodes, and both runs give
// the same result, word and log lines (a time-out's line included) and count the same code
// bytes.
TEST(CompiledPrograms, FusedFormsRunAsTheirInstructions) {
    const std::vector<std::string> bodies = {
        "int a = -2147483647 - 1; int s = 0; if (a < 1) s = s + 1; if (a <= 1) s = s + 2; "
        "if (a > 1) s = s + 4; if (a >= 1) s = s + 8; if (a == 1) s = s + 16; "
        "if (a != 1) s = s + 32; return s;",
        "int a = 2147483647, b = -1, s = 0; if (a < b) s = s + 1; if (a <= b) s = s + 2; "
        "if (a > b) s = s + 4; if (a >= b) s = s + 8; if (a == b) s = s + 16; "
        "if (a != b) s = s + 32; if (b == b) s = s + 64; return s;",
        "int a = 2147483647, b = 33, c = -8; int r = (a + 1) ^ (a * 3) ^ (c >> 28) ^ (c << b) ^ "
        "(a - c) ^ (a | 5) ^ (a & 6); r = r + (a + b); int d = a + 7; d = d << b; "
        "d = d - (c * b); d = d >> b; return r ^ d;",
        "int i = 2147483647; i++; int j = -2147483647 - 1; j--; int k; k = 5; k--; "
        "return i ^ j ^ k;",
        "int i, s = 0; for (i = 0; i < 300; i++) s = s + (i & 7); return s;",
        "int i = 0;\n while (i < 5) { }\n return 0;",
    };
    std::vector<std::string> sources;
    for (const std::string& body : bodies)
        sources.push_back("class T { int Run() {\n" + body + "\n} };");
    // Calls, which keep their resolved callees and lay out their frames themselves: a
    // recursion returning, one timing out deep in its frames, and calls of one site on objects
    // of two classes.
    const std::string fib =
        "int Fib(int n) {\n if (n < 2) return n;\n return Fib(n - 1) + Fib(n - 2);\n}\n";
    sources.push_back("class T {\n" + fib + "int Run() { return Fib(15); } };");
    sources.push_back("class T {\n" + fib + "int Run() { return Fib(40); } };");
    sources.push_back(
        "class T {\n int F(int a) { return a + 1; }\n int Sub(int a) { return F(a) - F(a + 1); }\n"
        " int Mul(int a) { return F(a) * 3; }\n int And(int a) { return F(a) & 6; }\n"
        " int Shl(int a) { return F(a) << 2; }\n"
        " int Run() { return Sub(1) * 1000000 + Mul(2) * 10000 + And(3) * 100 + Shl(4); } };");
    sources.push_back(
        "class A { public int F(int x) { return x + 1; } };\n"
        "class B isclass A { public int F(int x) { return inherited(x) * 2; } };\n"
        "class T { int Run() {\n A a = new A(); A b = new B(); A o; int i, s = 0;\n"
        " for (i = 0; i < 10; i++) {\n  o = a; if (i & 1) o = b;\n  s = s + o.F(i);\n }\n"
        " return s; } };");
    for (const std::string& source : sources) {
        SCOPED_TRACE(source);
        ScriptRunner r;
        ASSERT_TRUE(r.Load(source)) << r.messages;
        // A load that only links makes no dispatch bytes.
        for (const auto& c : r.library->classes)
            for (const auto& f : c->functions)
                EXPECT_TRUE(f->dispatch.empty()) << f->name.c_str();
        const uint64_t before = ThisRunState().totalBytes;
        ScriptRun linked = r.Run("T", "$int@T::Run()");
        const uint64_t linkedBytes = ThisRunState().totalBytes - before;
        // The functions that ran made their dispatch bytes on their first run, fused.
        bool fused = false;
        for (const auto& c : r.library->classes)
            for (const auto& f : c->functions)
                for (uint8_t b : f->dispatch)
                    fused = fused || (b >= GSBytecode::kOpcodeCount && b != 255);
        EXPECT_TRUE(fused);
        for (const auto& c : r.library->classes)
            for (const auto& f : c->functions)
                PredecodeFunction(*f, false);
        ScriptRun plain = r.Run("T", "$int@T::Run()");
        EXPECT_EQ(linked.result, plain.result);
        EXPECT_EQ(linked.word, plain.word);
        EXPECT_EQ(linked.log, plain.log);
        EXPECT_EQ(linkedBytes, ThisRunState().totalBytes - before - linkedBytes);
    }
}

TEST(CompiledPrograms, AFailureNamesItsLineAndDumpsTheStack) {
    ScriptRunner r;
    ASSERT_TRUE(
        r.Load("class T {\n int F(int a) {\n  int z = 0;\n  return a / z;\n }\n"
               " int Run() {\n  return F(1);\n }\n};"))
        << r.messages;
    ScriptRun run = r.Run("T", "$int@T::Run()");
    EXPECT_EQ(run.result, ER_DivideByZero);
    EXPECT_EQ(run.log,
              (std::vector<std::string>{"Thread Exception: ER_DivideByZero, line 4, file " +
                                            (r.folder / "t.gsl").string(),
                                        "Stack Dump...", "function $int@T::F(int), line -1",
                                        "function $int@T::Run(), line 7"}));
}

}  // namespace
}  // namespace GSRuntime
