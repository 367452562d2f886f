// Golden tests of the code generator: small sources and the code they must become. Every image
// compiled here also passes the reader and the verifier (compiler_test_images.h).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/compiler/compiler_test_images.h"

namespace GSCompiler {
namespace {

using test::CompileSources;
using test::CompileText;

struct Golden {
    const char* what;
    const char* source;
    const char* signature;
    const char* code;
};

const Golden kGolden[] = {
    {"integer arithmetic and return", "class A { int F(int a, int b) { return a + b; } };",
     "$int@A::F(int,int)",
     "0000  load 1\n"
     "0003  load 2\n"
     "0006  iadd\n"
     "0007  retv\n"},
    {"a void function ends with a return", "class A { void G() { } };", "$void@A::G()",
     "0000  ret\n"},
    {"and keeps one value on both paths; a number is made a bool",
     "class A { bool H(int x, bool y) { return x and y; } };", "$bool@A::H(int,bool)",
     "0000  load 1\n"
     "0003  isnotzero\n"
     "0004  jzk 000d\n"
     "0009  pop\n"
     "000a  load 2\n"
     "000d  retv\n"},
    {"postfix increment of an object's member yields the old value",
     "class B { public int n; }; class C { int G(B b) { return b.n++; } };", "$int@C::G(B)",
     "0000  loadr 1\n"
     "0003  dupr\n"
     "0004  mload 2\n"
     "0007  storek 2\n"
     "000a  iinc\n"
     "000b  mstore 2\n"
     "000e  load 2\n"
     "0011  retv\n"},
    {"switch table in ascending order with the default apart",
     "class A { int S(int v) { switch (v) { case 3: return 1; case 1: return 2; default: "
     "return 0; } return 9; } };",
     "$int@A::S(int)",
     "0000  load 1\n"
     "0003  switch 1->0020 3->001a default->0026\n"
     "001a  push 1\n"
     "001f  retv\n"
     "0020  push 2\n"
     "0025  retv\n"
     "0026  push 0\n"
     "002b  retv\n"
     "002c  push 9\n"
     "0031  retv\n"},
    {"wait handlers find the message on the stack",
     "game class G { thread void T() { object m; wait() { on \"a\", \"b\": ; on \"c\", \"d\", m: ; "
     "} } };",
     "$void@G::T()",
     "0000  wait (0, 1 \"a\" \"b\")->0013 (2, 3 \"c\" \"d\")->0019\n"
     "0013  popr\n"
     "0014  jmp 001c\n"
     "0019  storer 1\n"
     "001c  ret\n"},
    {"a call of a method of the running object",
     "class K { int Twice(int x) { return x * 2; } int U() { return Twice(3) + 1; } };",
     "$int@K::U()",
     "0000  loadr 0\n"
     "0003  push 3\n"
     "0008  call -1, 0\n"
     "000d  push 1\n"
     "0012  iadd\n"
     "0013  retv\n"},
    {"a number joined to a string is made text first",
     "class A { string S(int n) { return \"n=\" + n; } };", "$string@A::S(int)",
     "0000  ldstr 0 \"n=\"\n"
     "0003  load 1\n"
     "0006  itos\n"
     "0007  scat\n"
     "0008  retr\n"},
    {"a string compared with a number compares with its text",
     "class A { bool Q(string s) { return s == 5; } };", "$bool@A::Q(string)",
     "0000  loadr 1\n"
     "0003  push 5\n"
     "0008  itos\n"
     "0009  scmp\n"
     "000a  iszero\n"
     "000b  retv\n"},
    {"an int compared with a float is made a float",
     "class A { bool L(float f, int i) { return f < i; } };", "$bool@A::L(float,int)",
     "0000  load 1\n"
     "0003  load 2\n"
     "0006  itof\n"
     "0007  fcmp\n"
     "0008  lt\n"
     "0009  retv\n"},
    {"a float stored into an int array element is converted",
     "class A { void E(int[] a, float f) { a[1] = f; } };", "$void@A::E(int[],float)",
     "0000  loadr 1\n"
     "0003  push 1\n"
     "0008  load 2\n"
     "000b  ftoi\n"
     "000c  astore\n"
     "000d  ret\n"},
    {"postfix increment of a string's character", "class A { int P(string s) { return s[0]++; } };",
     "$int@A::P(string)",
     "0000  loadr 1\n"
     "0003  push 0\n"
     "0008  dup2\n"
     "0009  sload\n"
     "000a  storek 2\n"
     "000d  iinc\n"
     "000e  sstore\n"
     "000f  load 2\n"
     "0012  retv\n"},
    {"a string variable is copied when it is assigned",
     "class A { string C(string s) { string t = s; return t; } };", "$string@A::C(string)",
     "0000  loadr 1\n"
     "0003  scopy\n"
     "0004  storer 2\n"
     "0007  loadr 2\n"
     "000a  retr\n"},
    {"inherited calls the overridden function by its row",
     "class Base { int F() { return 1; } }; class D isclass Base { int F() { return inherited() "
     "+ 1; } };",
     "$int@D::F()",
     "0000  loadr 0\n"
     "0003  callinh 0, 0 <$int@Base::F()>\n"
     "0008  push 1\n"
     "000d  iadd\n"
     "000e  retv\n"},
    {"goto back to a label",
     "class A { void Gt(int x) { again: x = x - 1; if (x > 0) goto again; } };", "$void@A::Gt(int)",
     "0000  load 1\n"
     "0003  push 1\n"
     "0008  isub\n"
     "0009  store 1\n"
     "000c  load 1\n"
     "000f  push 0\n"
     "0014  icmp\n"
     "0015  gt\n"
     "0016  jz 0020\n"
     "001b  jmp 0000\n"
     "0020  ret\n"},
    {"member initialisers run in the class's initialiser",
     "class A { int n = 4; string s = \"x\"; };", "::A()",
     "0000  push 4\n"
     "0005  tstore 2\n"
     "0008  ldstr 0 \"x\"\n"
     "000b  tstorer 3\n"
     "000e  ret\n"},
};

TEST(CodeGenerator, GoldenCode) {
    for (const Golden& g : kGolden) {
        test::Compiled c = CompileText(g.source);
        EXPECT_EQ(c.result, 0) << g.what << "\n" << c.Messages();
        if (c.result != 0) continue;
        EXPECT_EQ(c.Code(g.signature), g.code) << g.what;
    }
}

TEST(CodeGenerator, FailuresAreReportedByTheirMessages) {
    struct Case {
        const char* source;
        const char* message;
    };
    const Case cases[] = {
        {"class A { int F(); };", "Function A::F() not implemented\n"},
        {"class A { native int F() { return 1; } };",
         "Native function A::F() has been implemented\n"},
        {"class A { int S(int v) { switch (v) { case 1: return 1; case 2: return 2;\n case 1: "
         "return 3; default: return 0; } return 0; } };",
         "case has duplicate value, line 1\n"},
        {"class A { void F() { goto nowhere; } };", "no matching label, line 1\n"},
    };
    for (const Case& c : cases) {
        test::Compiled r = CompileText(c.source);
        EXPECT_EQ(r.result, 1) << c.source;
        EXPECT_EQ(r.Messages(), std::string(c.message) + "\nInternal Code Generation Error...\n")
            << c.source;
    }
}

TEST(CodeGenerator, AnOverrideThatChangesTheReturnTypeIsRefused) {
    test::Compiled r = CompileText(
        "class B { int F() { return 1; } }; class D isclass B { float F() { return 1.0; } };");
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.Messages(),
              "Wrong return type on function: D::F()\nInternal Compiler Error on 't.gs'.\n\n");
}

TEST(CodeGenerator, MethodTablesPutOverridesOverWhatTheyReplace) {
    test::Compiled c = CompileText(
        "class B { int F() { return 1; } int G() { return 2; } };\n"
        "class D isclass B { int G() { return 3; } void H() { } };");
    ASSERT_EQ(c.result, 0) << c.Messages();
    ASSERT_EQ(c.image.classes.size(), 2u);
    const GSBytecode::GslClass& d = c.image.classes[1];
    std::vector<std::string> table;
    for (const auto& m : d.methods)
        table.emplace_back(c.image.String(c.image.functionTable[m.function].signature));
    EXPECT_EQ(table, (std::vector<std::string>{"$int@B::F()", "$int@D::G()", "$int@D::G()",
                                               "$void@D::H()"}));
    // Each function's slot is its position in its class's table.
    for (const auto& f : d.functions) {
        if (f.methodSlot >= 0) {
            EXPECT_EQ(table[f.methodSlot], c.image.String(f.signature));
        }
    }
}

TEST(CodeGenerator, TheSameSourceGivesTheSameBytes) {
    const char* source =
        "class B { public int n; public string s; };\n"
        "game class G isclass B { thread void T() { wait() { on \"x\", \"y\": n++; } }\n"
        "  int F(B b, int[] a) { a[0] = b.n + a.size(); return a[0]; } };";
    test::Compiled first = CompileText(source);
    test::Compiled second = CompileText(source);
    ASSERT_EQ(first.result, 0) << first.Messages();
    EXPECT_EQ(first.bytes, second.bytes);
}

}  // namespace
}  // namespace GSCompiler
