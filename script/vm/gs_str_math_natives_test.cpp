// The Str and Math natives through scripts compiled against the shipped declarations
// (data/scripts/Str.gs and Math.gs): what each pushes, what it does to its string in place, and
// the calls that push nothing, which give 0 while the run goes on.
#include "script/vm/gs_str_math_natives.h"

#include <gtest/gtest.h>

#include <bit>
#include <string>
#include <vector>

#include "script/vm/gs_thread.h"
#include "script/vm/testing/script_runner.h"

namespace GSRuntime {
namespace {

using testing::ScriptRun;
using testing::ScriptRunner;

// One row: a function body of the given result type and the value it must return (a string's
// text, or an int or float written as text).
struct Row {
    const char* what;
    const char* type;
    const char* body;
    const char* expect;
};

const Row kRows[] = {
    {"TrimLeft with an empty set trims white space", "string",
     R"(string s = "  ab"; Str.TrimLeft(s, ""); return s;)", "ab"},
    {"TrimLeft with a null set trims white space", "string",
     R"(string s = " \t ab "; Str.TrimLeft(s, null); return s;)", "ab "},
    {"TrimLeft may empty the string", "string",
     R"(string s = "aaa"; Str.TrimLeft(s, "a"); return s;)", ""},
    {"TrimLeft leaves an empty string alone", "string",
     R"(string s = ""; Str.TrimLeft(s, "a"); return s;)", ""},
    {"TrimRight with the set b", "string", R"(string s = "abbb"; Str.TrimRight(s, "b"); return s;)",
     "a"},
    {"TrimRight may empty the string", "string",
     R"(string s = "  "; Str.TrimRight(s, ""); return s;)", ""},
    {"ToInt reads decimal digits as atoi does", "int", R"(return Str.ToInt(" 42x");)", "42"},
    {"ToInt of null pushes nothing: 0", "int", R"(return Str.ToInt(null);)", "0"},
    {"ToFloat", "float", R"(return Str.ToFloat("2.5");)", "2.5"},
    {"ToFloat of null pushes nothing: 0", "float", R"(return Str.ToFloat(null);)", "0"},
    {"ToUpper", "string", R"(string s = "aB1z"; Str.ToUpper(s); return s;)", "AB1Z"},
    {"ToLower", "string", R"(string s = "aB1Z"; Str.ToLower(s); return s;)", "ab1z"},
    {"Tokens drops empty pieces", "int",
     R"(string[] t = Str.Tokens("a,,b,c,", ","); return t.size();)", "3"},
    {"Tokens keeps the order", "string",
     R"(string[] t = Str.Tokens("a,,b,c", ","); return t[1] + t[2];)", "bc"},
    {"Tokens splits on white space without a set", "string",
     R"(string[] t = Str.Tokens(" one	two ", null); return t[0] + "|" + t[1];)", "one|two"},
    {"Tokens of null is an empty array", "int",
     R"(string[] t = Str.Tokens(null, ","); return t.size();)", "0"},
    {"UnpackInt takes the first word and leaves the rest", "string",
     R"(string s = " 12 34"; Str.UnpackInt(s); return s;)", " 34"},
    {"UnpackInt three times: 12, 34, then nothing (0)", "int",
     R"(string s = " 12 34"; int a = Str.UnpackInt(s); int b = Str.UnpackInt(s);
        int c = Str.UnpackInt(s); return a * 10000 + b * 100 + c;)",
     "123400"},
    {"UnpackInt empties the string at its last word", "int",
     R"(string s = " 12 34"; Str.UnpackInt(s); Str.UnpackInt(s); return s.size();)", "0"},
    {"UnpackFloat", "float", R"(string s = "1.5 x"; return Str.UnpackFloat(s);)", "1.5"},
    {"UnpackString", "string",
     R"(string s = "  hello world"; return Str.UnpackString(s) + "|" + s;)", "hello| world"},
    {"UnpackString of an empty string pushes nothing", "string",
     R"(string s = ""; string t = Str.UnpackString(s); if (t == null) return "null"; return t;)",
     "null"},
    {"Find from 0", "int", R"(return Str.Find("abc", "c", 0);)", "2"},
    {"Find from the end", "int", R"(return Str.Find("abc", "c", 3);)", "-1"},
    {"Find past the end", "int", R"(return Str.Find("abc", "c", 4);)", "-1"},
    {"Find from a negative start", "int", R"(return Str.Find("abc", "a", -1);)", "-1"},
    {"Find at or after the start", "int", R"(return Str.Find("abcabc", "b", 2);)", "4"},
    {"Find without a string", "int", R"(return Str.Find(null, "a", 0);)", "-1"},
    {"Rand with equal bounds", "int", R"(return Math.Rand(5, 5);)", "5"},
    {"Rand stays from a up to but not including b", "int",
     R"(int bad = 0; int i; for (i = 0; i < 2000; i++) { int r = Math.Rand(-3, 4);
        if (r < -3 or r >= 4) bad++; } return bad;)",
     "0"},
    {"Rand of floats stays within the bounds", "int",
     R"(int bad = 0; int i; for (i = 0; i < 2000; i++) { float r = Math.Rand(1.0, 2.0);
        if (r < 1.0 or r >= 2.0) bad++; } return bad;)",
     "0"},
    {"Rand with the widest bounds stays below b", "int",
     R"(int bad = 0; int i; for (i = 0; i < 2000; i++) { int r = Math.Rand(-2147483647, 2147483647);
        if (r >= 2147483647) bad++; } return bad;)",
     "0"},
    {"Sqrt", "float", R"(return Math.Sqrt(6.25);)", "2.5"},
};

// Str and Math are compiled into separate test libraries, each with the rows that use it.
bool UsesMath(const Row& row) {
    return std::string(row.body).find("Math.") != std::string::npos;
}

class StrMathNatives : public ::testing::Test {
protected:
    void SetUp() override {
        for (bool math : {false, true}) {
            const char* module = math ? "Math.gs" : "Str.gs";
            std::string test = std::string("include \"") + module + "\"\nclass T {\n";
            for (size_t i = 0; i < std::size(kRows); ++i)
                if (UsesMath(kRows[i]) == math)
                    test += std::string("  public ") + kRows[i].type + " M" + std::to_string(i) +
                            "() { " + kRows[i].body + " }\n";
            if (math) test += "  public float Fraction() { return Math.Rand(0.0, 1.0); }\n";
            test += "};\n";
            ScriptRunner& r = math ? mathRunner : strRunner;
            ASSERT_TRUE(
                r.Load({{module, testing::ReadLibrarySource(module)}, {"t.gs", test}}, "t.gs"))
                << r.messages;
        }
    }
    ScriptRunner strRunner;
    ScriptRunner mathRunner;
};

TEST_F(StrMathNatives, EachRowPushesItsValue) {
    for (size_t i = 0; i < std::size(kRows); ++i) {
        const Row& row = kRows[i];
        SCOPED_TRACE(row.what);
        const std::string type = row.type;
        const std::string signature = "$" + type + "@T::M" + std::to_string(i) + "()";
        ScriptRun run = (UsesMath(row) ? mathRunner : strRunner).Run("T", signature.c_str());
        ASSERT_EQ(run.result, ER_Done) << ::testing::PrintToString(run.log);
        if (type == "string")
            EXPECT_EQ(run.isNull ? "null" : run.text, row.expect);
        else if (type == "float")
            EXPECT_FLOAT_EQ(run.AsFloat(), std::stof(row.expect));
        else
            EXPECT_EQ(run.AsInt(), std::stoi(row.expect));
    }
}

// From state 1 the generator gives 31415822, then 40519863; 31415822 mod 65535 is 24557.
TEST_F(StrMathNatives, TheGeneratorFollowsItsRecurrence) {
    SeedMathRandom(1);
    EXPECT_EQ(NextMathRandom(), 31415822);
    EXPECT_EQ(NextMathRandom(), 40519863);
    SeedMathRandom(99999999);  // the split product never overflows
    EXPECT_EQ(NextMathRandom(), 68584180);
    SeedMathRandom(1);
    ScriptRun run = mathRunner.Run("T", "$float@T::Fraction()");
    ASSERT_EQ(run.result, ER_Done);
    EXPECT_FLOAT_EQ(run.AsFloat(), 24557.0f * std::bit_cast<float>(0x37800080u));
}

}  // namespace
}  // namespace GSRuntime
