#include "script/compiler/analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "script/compiler/compiler_test_support.h"

namespace {

using namespace GSCompiler;

std::vector<std::string> Messages(const std::string& source) {
    test::Unit u;
    u.Check(source);
    std::vector<std::string> out;
    for (const std::string& line : u.sink.lines)
        out.push_back(line.rfind("test.gs(1) : ", 0) == 0 ? line.substr(13) : line);
    return out;
}

// A small source per message of the checks of declarations, statements and expressions, with
// every message it gives (the analysis goes on after most errors, so one fault can give two).
TEST(Analysis, ReportsEachFaultWithItsMessage) {
    struct Case {
        std::string source;
        std::vector<std::string> messages;
    };
    const Case cases[] = {
        {"class A isclass B { };", {"Class B has not been declared, line 1."}},
        {"static class B { }; class A isclass B { };", {"Cannot extend static class B, line 1."}},
        {"final class B { }; class A isclass B { };", {"Cannot extend final class B, line 1."}},
        {"class B { }; class A isclass B, B { };",
         {"Class B and B causes cyclic derivation, line 1."}},
        {"class K { }; class B1 isclass K { }; class B2 isclass K { }; class D isclass B1, B2 { };",
         {"Class B2 and K causes cyclic derivation, line 1."}},
        {"class A isclass A { };", {"Class A and A causes cyclic derivation, line 1."}},
        {"public class A { }; class B { void f() { x; } };",
         {"Class has illegal declaration specifiers, line 1."}},
        {"class A { }; class A { }; class B { void f() { x; } };",
         {"Class A has already been declared, line 1."}},
        {"class A { static void f() { } define void g() { } native thread void h(); };",
         {"Function has illegal declaration specifiers, line 1.",
          "Function has illegal declaration specifiers, line 1.",
          "Function has illegal declaration specifiers, line 1."}},
        {"class A { Foo f(Bar b) { } };",
         {"object<Foo> not declared, line 1.", "object<Bar> not declared, line 1.",
          "expecting return type of Foo, line 1."}},
        {"class B { final void f() { } }; class A isclass B { void f() { } };",
         {"Cannot override final function, line 1."}},
        {"class A { void f() { } void f() { } void g() { x; } };",
         {"Function ::f() already declared, line 1."}},
        {"class A { void f(); int f() { return 1; } void g() { x; } };",
         {"Function differs only by return type, line 1."}},
        {"class A { void f(); public void f() { } };",
         {"Function specifiers differ from prototype, line 1."}},
        {"class A { thread int t() { return 1; } };",
         {"thread function must return void, line 1."}},
        {"class A { void f(int a, int a) { } };",
         {"Variable a already declared in this scope, line 1."}},
        {"class A { void f() { int a; int a; { int a; } } int m; int m; };",
         {"Variable a already declared in this scope, line 1.",
          "Variable m already declared in this scope, line 1."}},
        {"class A { static int s; final int t; native int u; public define int D = 1; };",
         {"member declaration has invalid specifiers, line 1.",
          "member declaration has invalid specifiers, line 1.",
          "member declaration has invalid specifiers, line 1."}},
        {"class A { void f() { public int x; define int y = 1; } };",
         {"variable declaration has illegal specifiers, line 1.",
          "variable declaration has illegal specifiers, line 1."}},
        {"class A { define int D; define int E = 1 + x; int x; };",
         {"define variable must have a const assignment, line 1.",
          "variable x not declared, line 1.", "illegal types for operand +, line 1",
          "cannot cast from  to int, line 1.",
          "define variable must have a const assignment, line 1."}},
        {"class A { int f() { return \"s\"; } void g() { return 1; } int h() { return; } };",
         {"return type mismatch, expecting int, line 1.",
          "return type mismatch, expecting void, line 1.",
          "return type mismatch, expecting int, line 1."}},
        {"class B { }; class C { }; class A { B f() { C c; return c; } };",
         {"cannot cast from object<C> to object<B>, line 1."}},
        {"class A { void f() { break; continue; switch (1) { case 1: continue; default: ; } } };",
         {"illegal break, line 1.", "illegal continue, line 1.", "illegal continue, line 1."}},
        {"class A { void f() { if (\"s\") { } while (f()) { } for (;g();) { } } void g() { } };",
         {"invalid while expression, line 1.", "function g not declared, line 1.",
          "invalid for expression, line 1."}},
        {"class A { void f() { switch (1) { } switch (1.5) { case 1: ; } switch (1) { default: ; } "
         "} };",
         {"switch statement without case, line 1.", "switch statement without default, line 1.",
          "switch statement without default, line 1.", "switch expression not integral, line 1.",
          "switch statement without case, line 1."}},
        {"class A { void f(int x) { case 1: ; default: ; switch (1) { case x: case 2.0: default: "
         "default: ; } } };",
         {"illegal case, line 1.", "illegal default, line 1.",
          "case expression not constant or integral, line 1.",
          "case expression not constant or integral, line 1.",
          "switch already has default, line 1."}},
        {"class A { void f(object o) { wait () { on 1, \"b\": ; on \"a\", \"b\", 5: ; } wait () { "
         "} } };",
         {"on statement requires string constant for major and minor message types, line 1",
          "on statement requires object type for third parameter, line 1",
          "wait statement must have at least 1 on statement, line 1."}},
        {"class A { void f() { on \"a\", \"b\": ; } };", {"illegal on, line 1."}},
        {"class A { int f() { } float g() { if (true) return 1.0; } };",
         {"expecting return type of int, line 1.", "expecting return type of float, line 1."}},
        {"class A { } ; class B { void f() { A; x = A; } };",
         {"class A is not static, line 1.", "variable x not declared, line 1.",
          "class A is not static, line 1.", "cannot cast from object to , line 1.",
          "illegal l-value for assignment, line 1."}},
        {"class A { void f() { y = 1; } };",
         {"variable y not declared, line 1.", "cannot cast from int to , line 1.",
          "illegal l-value for assignment, line 1."}},
        {"class A { void f(string s, int i) { -s; ~1.5; !f(); i++ ++; 5++; } };",
         {"illegal types for unary operand -, line 1", "illegal types for unary operand ~, line 1",
          "function f not declared, line 1.", "illegal types for unary operand !, line 1",
          "expression not an l-value for ++ operator, line 1",
          "expression not an l-value for ++ operator, line 1"}},
        {"class A { void f(int i, bool b, string s) { i + b; s - s; i << 1.5; i < f(); i and f(); "
         "} };",
         {"illegal types for operand +, line 1", "illegal types for operand -, line 1",
          "illegal types for operand <<, line 1", "function f not declared, line 1.",
          "illegal types for operand <, line 1", "function f not declared, line 1.",
          "illegal types for operand and, line 1"}},
        {"class A { void f(int i, string s) { i.x; s.x; } };",
         {". operator cannot be used on a non-reference type, line 1.",
          "unknown object class for '.' operator, line 1."}},
        {"class B { int p; public int q; int[] r; }; class A { void f(B b) { b.p; b.q; b.z; b.g(); "
         "} };",
         {"member p not public in object B, line 1.",
          "member z does not exist in object B, line 1.",
          "function g not declared in class B or derivative, line 1."}},
        {"class B { define int K = 7; int v; }; class A { void f() { B.v = 1; } };",
         {"member v not public in object B, line 1.",
          "B is not a static class or variable within this class, line 1.",
          "cannot cast from int to , line 1.", "illegal l-value for assignment, line 1."}},
        {"class A { void f(int i, int[] a, string s) { i[0]; a[1.5]; s[\"x\"]; i[0, 1]; a[1.5, ]; "
         "a[, \"x\"]; } };",
         {"int not an array type for [] operator, line 1",
          "index not integral for [] operator, line 1",
          "index not integral for [] operator, line 1",
          "int not an array type for [,] operator, line 1",
          "left index not integral for [,] operator, line 1",
          "right index not integral for [,] operator, line 1"}},
        {"class A { void f(int i, object o, int[] a, string s) { i.size(); o.isclass(A); "
         "i.isclass(A); o.isclass(Zz); i.copy(a); a.copy(i); a.copy(s); f().copy(s); } string f() "
         "{ return \"\"; } };",
         {".size operator requires an array type, line 1.",
          ".isclass operator requires an object type, line 1.",
          "class Zz not declared for .isclass operator, line 1.",
          ".copy operator requires an array type, line 1.",
          ".copy expression must be an array type, line 1.",
          "left and right types incompatible for .copy operator, line 1.",
          "function f not declared, line 1.", ".copy operator requires an array type, line 1."}},
        {"class B { }; class C { }; class A { void f(B b, C c, int i, string s) { c = b; i = s; s "
         "= b; b = cast<B> c; i = (int) s; g() = 2; } int g() { return 1; } };",
         {"cannot cast from object<B> to object<C>, line 1.",
          "cannot cast from string to int, line 1.", "cannot cast from object to string, line 1.",
          "cannot cast from C to B, line 1.", "cannot cast from  to object, line 1.",
          "cannot cast from string to int, line 1.", "cannot cast from  to int, line 1.",
          "function g not declared, line 1.", "cannot cast from int to , line 1.",
          "illegal l-value for assignment, line 1."}},
        {"class A { void f() { new int(); new object(); new int[1.5]; new A(1); new Zz(); new S(); "
         "new G(); } }; static class S { }; game class G { };",
         {"cannot new type int, line 1.", "cannot new unnamed object, line 1.",
          "non-integral expression for new[], line 1.", "constructors not yet supported, line 1.",
          "object<Zz> not declared, line 1.",
          "cannot find class Zz in this translation unit, line 1.",
          "object<S> not declared, line 1.",
          "cannot find class S in this translation unit, line 1.",
          "object<G> not declared, line 1.",
          "cannot find class G in this translation unit, line 1."}},
        {"class A { void f() { new A(); } }; static class S { }; game class G { }; class T { void "
         "t() { new S(); new G(); new Q(); } };",
         {"cannot new static or game class, line 1.", "cannot new static or game class, line 1.",
          "object<Q> not declared, line 1.",
          "cannot find class Q in this translation unit, line 1."}},
        {"class A { define int X = inherited(); void f() { me.inherited(); inherited(); } thread "
         "void t() { inherited(); } };",
         {"internal compiler error while parsing 'inherited', line 1.",
          "cannot cast from  to int, line 1.",
          "define variable must have a const assignment, line 1.",
          "'inherited' can only be used on current function, line 1.",
          "'inherited' has no overridden function to call, line 1.",
          "'inherited' can not be used on native or thread function, line 1."}},
        {"class A { void f() { g(); g(1); me.h(); } void g(string s) { } };",
         {"function g not declared, line 1.", "function g not declared, line 1.",
          "function h not declared in class A or derivative, line 1."}},
        {"class B { void p() { } }; class A { void f(B b) { b.p(); x[0](); } };",
         {"function p not public in object B, line 1.", "variable x not declared, line 1.",
          " not an array type for [] operator, line 1", "Error in expression, line 1."}},
        {"class A { void f() { int[] a; a = new int[3]; } };", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Messages(c.source), c.messages) << c.source;
}

TEST(Analysis, MessagesCarryTheLineOfTheirNodeAndCountOnce) {
    test::Unit u("Loco.gs");
    EXPECT_FALSE(
        u.Check("class A {\n"
                "  void f(int i) {\n"
                "    i = \"s\";\n"
                "\n"
                "    break;\n"
                "  }\n"
                "};\n"));
    EXPECT_EQ(u.Messages(),
              "Loco.gs(3) : cannot cast from string to int, line 3.\n"
              "Loco.gs(5) : illegal break, line 5.\n");
    EXPECT_EQ(u.state.errors, 2u);
}

// The value a constant expression folds to, or "not folded".
std::string Folded(const std::string& expression) {
    test::Unit u;
    if (!u.Check("class A { void f() { " + expression + "; } };")) return "error: " + u.Messages();
    const SyntaxNode* n = u.state.root->child[2]->child[3]->child[0];
    if (n->kind != Expr::kConstant) return "not folded";
    char buf[64];
    switch (n->sub) {
        case Const::kBool:
            return n->value.i != 0 ? "true" : "false";
        case Const::kInt:
            return "int " + std::to_string(n->value.i);
        case Const::kFloat:
            std::snprintf(buf, sizeof buf, "float %g", static_cast<double>(n->value.f));
            return buf;
        default:
            return "string";
    }
}

TEST(Analysis, FoldsConstantsAsTheMachineComputesThem) {
    struct Case {
        const char* expression;
        const char* value;
    };
    const Case cases[] = {
        {"7 / 2", "int 3"},
        {"7 / 2.0", "float 3.5"},
        {"7 % 2.5", "float 2"},
        {"-7 % 3", "int -1"},
        {"2 * 3 + 4 - 1", "int 9"},
        {"1.5 + 1", "float 2.5"},
        {"0x7FFFFFFF + 1", "int -2147483648"},  // wraps in 32 bits
        {"(-2147483647 - 1) / -1", "int -2147483648"},
        {"(-2147483647 - 1) % -1", "int 0"},
        {"-1 >> 28", "int 15"},  // the machine shifts right logically
        {"1 << 33", "int 2"},    // counts taken modulo 32
        {"5 & 3", "int 1"},
        {"5 ^ 3", "int 6"},
        {"5 | 3", "int 7"},
        {"~5", "int -6"},
        {"-5", "int -5"},
        {"+2.5", "float 2.5"},
        {"-0.0", "float -0"},
        {"1.0 / -0.0", "float -inf"},  // only +0.0 stops the machine
        {"1 < 2.5", "true"},
        {"3 >= 4", "false"},
        {"true == 1", "true"},
        {"2 != 2", "false"},
        {"5 and 0", "false"},
        {"0 or 0.5", "true"},
        {"!0", "true"},
        {"!1.5", "false"},
        {"!\"s\"", "false"},
        // Left for the machine: divisions by zero, and strings.
        {"1 / 0", "not folded"},
        {"1 % 0", "not folded"},
        {"1.0 / 0", "not folded"},
        {"2.5 % 0.0", "not folded"},
        {"\"a\" == \"a\"", "not folded"},
        {"\"a\" < 1", "not folded"},
        {"\"a\" + 1", "not folded"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Folded(c.expression), c.value) << c.expression;
}

// The tree after analysis: the statements of the function f of the last class.
std::string Checked(const std::string& source) {
    test::Unit u;
    if (!u.Check(source)) return "error: " + u.Messages();
    SyntaxNode* cls = LastInChain(u.state.root);
    SyntaxNode* fn = cls->child[2];
    while (fn != nullptr &&
           !(fn->kind == Decl::kFunction && std::string(fn->child[1]->value.text) == "f"))
        fn = fn->next;
    return PrintTree(fn->child[3]->child[0], true);
}

TEST(Analysis, ResolvesNamesToSlotsAndTypes) {
    // Slot 0 is the running object, parameters count from 1, then the locals. Members count
    // from the member base (2); a base class's part lies at its entry's offset and begins with
    // two words of its own, so B's b0 and b1 are words 4 and 5 of an A, A's a0 word 6.
    EXPECT_EQ(Checked("class B { int b0; float b1; };"
                      "class A isclass B { string a0; void f(int p, A q) { int l; l = p + b1 + "
                      "a0.size() + q.b0; } };"),
              "variables line=1\n"
              "  0: type sub=2 line=1 : int\n"
              "  1: declarator line=1\n"
              "    0: name line=1 \"l\" flags=0x80000000 : int\n"
              "operator sub=30 (=) line=1 flags=0x10000000 : int\n"
              "  0: identifier line=1 \"l\" flags=0x40000000 : int local@3\n"
              "  1: operator sub=15 (+) line=1 : float\n"
              "    0: operator sub=15 (+) line=1 : float\n"
              "      0: operator sub=15 (+) line=1 : float\n"
              "        0: identifier line=1 \"p\" flags=0x40000000 : int local@1\n"
              "        1: identifier line=1 \"b1\" flags=0x40000000 : float member@5\n"
              "      1: operator sub=31 (size) line=1 : int\n"
              "        0: identifier line=1 \"a0\" flags=0x40000000 : string member@6\n"
              "    1: operator sub=2 (.) line=1 flags=0x40000000 : int\n"
              "      0: identifier line=1 \"q\" flags=0x40000000 : A local@2\n"
              "      1: membername line=1 \"b0\" : int member@4\n"
              "return line=1\n");
}

TEST(Analysis, StatementsLinkTheirTargetsAndLabels) {
    test::Unit u;
    ASSERT_TRUE(
        u.Check("class A { void f(int x, object o) {\n"
                "  while (x) { switch (x) { case 2: break; case 1: ; default: continue; } }\n"
                "  wait () { on \"a\", \"b\": break; on \"c\", \"d\", o: ; }\n"
                "} };"))
        << u.Messages();
    SyntaxNode* loop = u.state.root->child[2]->child[3]->child[0];
    SyntaxNode* sw = loop->child[1]->child[0];
    ASSERT_EQ(sw->kind, Stmt::kSwitch);
    EXPECT_NE(sw->flags & Flag::kSwitchHasDefault, 0u);
    // The labels, newest first: default, case 1, case 2.
    SyntaxNode* label = sw->labels;
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->kind, Stmt::kDefault);
    EXPECT_EQ(label->nextLabel->child[0]->value.i, 1);
    EXPECT_EQ(label->nextLabel->nextLabel->child[0]->value.i, 2);
    EXPECT_EQ(label->nextLabel->nextLabel->nextLabel, nullptr);
    EXPECT_EQ(label->value.node, sw);
    SyntaxNode* brk = sw->child[1]->child[0]->next;  // case 2: break;
    ASSERT_EQ(brk->kind, Stmt::kBreak);
    EXPECT_EQ(brk->value.node, sw);
    EXPECT_EQ(brk->parent, sw->child[1]->child[0]);  // a later element: the one before it
    SyntaxNode* cont = LastInChain(sw->child[1]->child[0]);
    ASSERT_EQ(cont->kind, Stmt::kContinue);
    EXPECT_EQ(cont->value.node, loop);

    SyntaxNode* wait = loop->next;
    ASSERT_EQ(wait->kind, Stmt::kWait);
    SyntaxNode* second = wait->labels;
    ASSERT_NE(second, nullptr);
    EXPECT_STREQ(second->child[0]->value.text, "c");
    EXPECT_EQ(second->child[2]->slot, 2u);
    EXPECT_STREQ(second->nextLabel->child[0]->value.text, "a");
    EXPECT_EQ(second->nextLabel->next->value.node, wait);  // break inside a handler
    // A void function without a return at its end gets one.
    EXPECT_EQ(LastInChain(loop)->kind, Stmt::kReturn);
}

TEST(Analysis, OverloadsAndArgumentConversions) {
    // With int and float overloads, an int argument binds to the int one, exactly.
    EXPECT_EQ(Checked("class A { int g(float a) { return 1; } int g(int a) { return 2; }"
                      " void f() { g(1); g(1.5); } };"),
              "call line=1 flags=0x10000000 : int\n"
              "  0: identifier line=1 \"g\"\n"
              "  1: constant sub=1 line=1 1 : int\n"
              "call line=1 flags=0x10000000 : int\n"
              "  0: identifier line=1 \"g\"\n"
              "  1: constant sub=2 line=1 1.5f : float\n"
              "return line=1\n");
    test::Unit u;
    ASSERT_TRUE(
        u.Check("class A { int g(float a) { return 1; } int g(int a) { return 2; }"
                " void f() { g(1); g(1.5); } };"));
    SyntaxNode* first = u.state.root->child[2]->next->next->child[3]->child[0];
    EXPECT_STREQ(first->symbol->name, "::g(int)");
    EXPECT_EQ(first->slot, 1u);
    EXPECT_STREQ(first->next->symbol->name, "::g(float)");
    EXPECT_EQ(first->next->slot, 0u);

    // Float and string overloads both take an int with one conversion: the first met in the
    // member table wins, with no ambiguity, and the argument becomes a cast to its type.
    test::Unit v;
    ASSERT_TRUE(v.Check("class A { void g(float a) { } void g(string a) { } void f() { g(1); } };"))
        << v.Messages();
    SyntaxNode* call = v.state.root->child[2]->next->next->child[3]->child[0];
    const bool floatFirst = SymbolHash("::g(float)") % 31 < SymbolHash("::g(string)") % 31;
    EXPECT_STREQ(call->symbol->name, floatFirst ? "::g(float)" : "::g(string)");
    SyntaxNode* cast = call->child[1];
    ASSERT_EQ(cast->sub, Op::kCast);
    EXPECT_EQ(cast->type, floatFirst ? Type::kFloat : Type::kString);
    EXPECT_EQ(cast->child[1]->kind, Decl::kType);
    EXPECT_EQ(cast->child[0]->value.i, 1);
    EXPECT_EQ(cast->parent, call);
    EXPECT_EQ(cast->child[0]->parent, cast);

    // A derived object passed for a base parameter is cast to the base (a class part).
    EXPECT_EQ(Checked("class B { }; class D isclass B { void g(B b) { } void f() { g(me); } };"),
              "call line=1 flags=0x10000000 : void\n"
              "  0: identifier line=1 \"g\"\n"
              "  1: operator sub=11 (()) line=1 : B\n"
              "    0: me line=1 : D\n"
              "    1: type sub=5 line=1 : B\n"
              "      0: name line=1 \"B\"\n"
              "return line=1\n");
}

TEST(Analysis, InheritedCallsTheOverriddenVersion) {
    test::Unit u;
    ASSERT_TRUE(
        u.Check("class B { int f(int a) { return a; } };"
                "class D isclass B { int f(int a) { return inherited(a) + 1; } };"))
        << u.Messages();
    SyntaxNode* d = u.state.root->next;
    SyntaxNode* add = d->child[2]->child[3]->child[0]->child[0];
    SyntaxNode* call = add->child[0];
    ASSERT_EQ(call->kind, Expr::kCall);
    EXPECT_STREQ(static_cast<GSFunctionSymbol*>(call->symbol)->fullName, "B::f(int)");
    EXPECT_EQ(call->slot, 1u);  // the current function's own slot, after B's one function
    EXPECT_EQ(call->type, Type::kInt);
}

TEST(Analysis, DefinesAreConstantsConvertedToTheirType) {
    EXPECT_EQ(Checked("class A { define int I = 2.5; define float F = 2; define bool B = 5;"
                      " define string S = 1; define string T = \"t\"; define int N = -3 * 2;"
                      " void f(float x, string s, bool b) { x = I + F + N; s = S + T; b = B; } };"),
              "operator sub=30 (=) line=1 flags=0x10000000 : float\n"
              "  0: identifier line=1 \"x\" flags=0x40000000 : float local@1\n"
              "  1: constant sub=2 line=1 -2f : float\n"
              "operator sub=30 (=) line=1 flags=0x10000000 : string\n"
              "  0: identifier line=1 \"s\" flags=0x40000000 : string local@2\n"
              "  1: operator sub=15 (+) line=1 : string\n"
              "    0: constant sub=3 line=1 \"\" : string\n"
              "    1: constant sub=3 line=1 \"t\" : string\n"
              "operator sub=30 (=) line=1 flags=0x10000000 : bool\n"
              "  0: identifier line=1 \"b\" flags=0x40000000 : bool local@3\n"
              "  1: constant sub=0 line=1 true : bool\n"
              "return line=1\n");
    // A member constant reached through ".", and a constant used by a later declaration.
    EXPECT_EQ(Checked("class K { public define int Size = 4; };"
                      " class A { define int Twice = K.Size * 2; void f(int x) { x = Twice; } };"),
              "operator sub=30 (=) line=1 flags=0x10000000 : int\n"
              "  0: identifier line=1 \"x\" flags=0x40000000 : int local@1\n"
              "  1: constant sub=1 line=1 8 : int\n"
              "return line=1\n");
}

TEST(Analysis, ForTestsItsLastConditionAndBlocksKeepTheirOwnLevels) {
    EXPECT_EQ(Messages("class A { void g() { } void f(int i) { for (g(); i < 3; g()) { } } };"),
              std::vector<std::string>{});
    EXPECT_EQ(Messages("class A { void g() { } void f(int i) { for (; i, g(); ) { } } };"),
              std::vector<std::string>{"invalid for expression, line 1."});

    // Seventy blocks deep, each with a variable of its own that stays until its block ends.
    std::string source = "class A { void f() {";
    for (int i = 0; i < 70; ++i)
        source += " { int v" + std::to_string(i) + ";";
    for (int i = 69; i >= 0; --i)
        source += " v" + std::to_string(i) + " = 1; }";
    source += " } };";
    EXPECT_EQ(Messages(source), std::vector<std::string>{});
}

TEST(Analysis, IncludedModulesDeclareOnlyAndResolveOnUse) {
    GSSymbolTable symbols;
    test::LineSink sink;
    GSParseState lib;
    lib.fileName = "lib.gs";
    lib.symbols = &symbols;
    lib.sink = &sink;
    lib.moduleIndex = 1;
    // Bodies are not checked, object types only recorded, bases resolved when used.
    const std::string libSource =
        "class Base isclass Root { public define int K = 3 + 4; public int v; "
        "  public int Get() { return undeclared; } Later l; };"
        "class Root { public int r; };"
        "class Broken isclass Missing { };";
    ASSERT_EQ(ParseSource(lib, libSource.data(), libSource.size()), ParseResult::kOk);
    EXPECT_TRUE(Analyse(lib, true));
    EXPECT_TRUE(sink.lines.empty());
    EXPECT_EQ(symbols.FindClass("Base")->moduleIndex, 1);
    EXPECT_FALSE(symbols.FindClass("Base")->pendingBases.empty());

    GSParseState main;
    main.fileName = "main.gs";
    main.symbols = &symbols;
    main.sink = &sink;
    const std::string mainSource =
        "class M isclass Base { void f(int x) { x = K + v + r + Get(); } };\n"
        "class N isclass Broken { };";
    ASSERT_EQ(ParseSource(main, mainSource.data(), mainSource.size()), ParseResult::kOk);
    EXPECT_FALSE(Analyse(main, false));
    // The included class's fault names its own file.
    EXPECT_EQ(sink.lines,
              std::vector<std::string>{"lib.gs(1) : Class Missing has not been declared, line 1."});
    EXPECT_EQ(main.errors, 1u);
    GSClassSymbol* m = symbols.FindClass("M");
    ASSERT_EQ(m->bases.size(), 2u);
    EXPECT_STREQ(m->bases[0].base->name, "Base");
    EXPECT_STREQ(m->bases[1].base->name, "Root");
    EXPECT_EQ(m->bases[1].direct, 0u);
    // M: 2 words of its own, then Base's part (2, Root's part (2 + r), v and l; the constant
    // takes no word).
    EXPECT_EQ(m->bases[0].varOffset, 2);
    EXPECT_EQ(m->bases[1].varOffset, 4);
    EXPECT_EQ(m->varBase, 2 + 2 + (2 + 1) + 2);
    EXPECT_EQ(m->funcBase, 1);

    // A loop of bases among included classes ends with the cyclic-derivation message.
    GSParseState loop;
    loop.fileName = "loop.gs";
    loop.symbols = &symbols;
    loop.sink = &sink;
    const std::string loopSource = "class P isclass Q { }; class Q isclass P { };";
    ASSERT_EQ(ParseSource(loop, loopSource.data(), loopSource.size()), ParseResult::kOk);
    EXPECT_TRUE(Analyse(loop, true));
    sink.lines.clear();
    EXPECT_FALSE(ResolveBases(loop, symbols.FindClass("P")));
    EXPECT_EQ(sink.lines, std::vector<std::string>{
                              "loop.gs(1) : Class P and P causes cyclic derivation, line 1."});
    EXPECT_FALSE(ResolveBases(loop, symbols.FindClass("P")));  // reported once
    EXPECT_EQ(sink.lines.size(), 1u);
}

TEST(Analysis, DerivationIsBoundedInDepth) {
    std::string source = "class C0 { };";
    for (int i = 1; i <= 300; ++i)
        source += " class C" + std::to_string(i) + " isclass C" + std::to_string(i - 1) + " { };";
    std::vector<std::string> messages = Messages(source);
    ASSERT_FALSE(messages.empty());
    EXPECT_EQ(messages[0], "Class C257 has more than 256 base classes, line 1.");
}

}  // namespace
