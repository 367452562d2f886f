#include <gtest/gtest.h>

#include <string>

#include "script/compiler/compiler_test_support.h"

namespace {

using namespace GSCompiler;

// The tree of a whole source, or of the statements of one function body (line 2 on).
std::string Tree(const std::string& text, bool whole) {
    test::Unit u;
    std::string source = whole ? text : "class C { void f() {\n" + text + "\n} };";
    if (u.Parse(source) != ParseResult::kOk) return "FAILED: " + u.Messages();
    if (whole) return PrintTree(u.state.root);
    return PrintTree(u.state.root->child[2]->child[3]->child[0]);
}

// Every production, precedence level and associativity, and the node shapes they build.
TEST(Parser, BuildsTheTreeOfEveryProduction) {
    struct Case {
        bool whole;
        std::string source;
        std::string tree;
    };
    const Case cases[] = {
        {true,
         "include \"Lib.GS\" include \"b.gs\" class A { }; static final class B isclass A, C { };",
         "include line=1\n"
         "  0: name line=1 \"lib.gs\"\n"
         "include line=1\n"
         "  0: name line=1 \"b.gs\"\n"
         "class line=1\n"
         "  0: name line=1 \"A\"\n"
         "class line=1 flags=0xc\n"
         "  0: name line=1 \"B\"\n"
         "  1: name line=1 \"A\"\n"
         "  name line=1 \"C\"\n"},
        {true, "public native final thread static game secured define class X { };",
         "class line=1 flags=0x1df\n"
         "  0: name line=1 \"X\"\n"},
        {true,
         "class A { public int x, y = 3; define string S = \"s\"; int[] a; Foo f; Foo[] fs; object "
         "o; object[] os; void[] v; };",
         "class line=1\n"
         "  0: name line=1 \"A\"\n"
         "  2: variables line=1 flags=0x4000001\n"
         "    0: type sub=2 line=1\n"
         "    1: declarator line=1\n"
         "      0: name line=1 \"x\"\n"
         "    declarator line=1\n"
         "      0: name line=1 \"y\"\n"
         "      1: constant sub=1 line=1 3\n"
         "  variables line=1 flags=0x4000080\n"
         "    0: type sub=4 line=1\n"
         "    1: declarator line=1\n"
         "      0: name line=1 \"S\"\n"
         "      1: constant sub=3 line=1 \"s\"\n"
         "  variables line=1 flags=0x4000000\n"
         "    0: type sub=8 line=1\n"
         "    1: declarator line=1\n"
         "      0: name line=1 \"a\"\n"
         "  variables line=1 flags=0x4000000\n"
         "    0: type sub=5 line=1\n"
         "      0: name line=1 \"Foo\"\n"
         "    1: declarator line=1\n"
         "      0: name line=1 \"f\"\n"
         "  variables line=1 flags=0x4000000\n"
         "    0: type sub=11 line=1\n"
         "      0: name line=1 \"Foo\"\n"
         "    1: declarator line=1\n"
         "      0: name line=1 \"fs\"\n"
         "  variables line=1 flags=0x4000000\n"
         "    0: type sub=5 line=1\n"
         "    1: declarator line=1\n"
         "      0: name line=1 \"o\"\n"
         "  variables line=1 flags=0x4000000\n"
         "    0: type sub=11 line=1\n"
         "    1: declarator line=1\n"
         "      0: name line=1 \"os\"\n"
         "  variables line=1 flags=0x4000000\n"
         "    0: type sub=6 line=1\n"
         "    1: declarator line=1\n"
         "      0: name line=1 \"v\"\n"},
        {true,
         "class A { void f(); int g(void); float h(int a, Foo b, string[] c) { } native void n(); "
         "};",
         "class line=1\n"
         "  0: name line=1 \"A\"\n"
         "  2: prototype line=1\n"
         "    0: type sub=0 line=1\n"
         "    1: name line=1 \"f\"\n"
         "  prototype line=1\n"
         "    0: type sub=2 line=1\n"
         "    1: name line=1 \"g\"\n"
         "  function line=1\n"
         "    0: type sub=3 line=1\n"
         "    1: name line=1 \"h\"\n"
         "    2: parameter line=1\n"
         "      0: type sub=2 line=1\n"
         "      1: name line=1 \"a\"\n"
         "    parameter line=1\n"
         "      0: type sub=5 line=1\n"
         "        0: name line=1 \"Foo\"\n"
         "      1: name line=1 \"b\"\n"
         "    parameter line=1\n"
         "      0: type sub=10 line=1\n"
         "      1: name line=1 \"c\"\n"
         "    3: block line=1 flags=0x8000000\n"
         "  prototype line=1 flags=0x2\n"
         "    0: type sub=0 line=1\n"
         "    1: name line=1 \"n\"\n"},
        {false, "x = y = z;",
         "operator sub=30 (=) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"x\"\n"
         "  1: operator sub=30 (=) line=2\n"
         "    0: identifier line=2 \"y\"\n"
         "    1: identifier line=2 \"z\"\n"},
        {false, "a - b - c;",
         "operator sub=16 (-) line=2 flags=0x10000000\n"
         "  0: operator sub=16 (-) line=2\n"
         "    0: identifier line=2 \"a\"\n"
         "    1: identifier line=2 \"b\"\n"
         "  1: identifier line=2 \"c\"\n"},
        {false, "a or b and c | d ^ e & f == g < h << i + j * k;",
         "operator sub=29 (or) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: operator sub=28 (and) line=2\n"
         "    0: identifier line=2 \"b\"\n"
         "    1: operator sub=27 (|) line=2\n"
         "      0: identifier line=2 \"c\"\n"
         "      1: operator sub=26 (^) line=2\n"
         "        0: identifier line=2 \"d\"\n"
         "        1: operator sub=25 (&) line=2\n"
         "          0: identifier line=2 \"e\"\n"
         "          1: operator sub=23 (==) line=2\n"
         "            0: identifier line=2 \"f\"\n"
         "            1: operator sub=19 (<) line=2\n"
         "              0: identifier line=2 \"g\"\n"
         "              1: operator sub=17 (<<) line=2\n"
         "                0: identifier line=2 \"h\"\n"
         "                1: operator sub=15 (+) line=2\n"
         "                  0: identifier line=2 \"i\"\n"
         "                  1: operator sub=12 (*) line=2\n"
         "                    0: identifier line=2 \"j\"\n"
         "                    1: identifier line=2 \"k\"\n"},
        {false, "a * b / c % d; a + b - c; a << b >> c; a < b > c <= d >= e; a == b != c;",
         "operator sub=14 (%) line=2 flags=0x10000000\n"
         "  0: operator sub=13 (/) line=2\n"
         "    0: operator sub=12 (*) line=2\n"
         "      0: identifier line=2 \"a\"\n"
         "      1: identifier line=2 \"b\"\n"
         "    1: identifier line=2 \"c\"\n"
         "  1: identifier line=2 \"d\"\n"
         "operator sub=16 (-) line=2 flags=0x10000000\n"
         "  0: operator sub=15 (+) line=2\n"
         "    0: identifier line=2 \"a\"\n"
         "    1: identifier line=2 \"b\"\n"
         "  1: identifier line=2 \"c\"\n"
         "operator sub=18 (>>) line=2 flags=0x10000000\n"
         "  0: operator sub=17 (<<) line=2\n"
         "    0: identifier line=2 \"a\"\n"
         "    1: identifier line=2 \"b\"\n"
         "  1: identifier line=2 \"c\"\n"
         "operator sub=22 (>=) line=2 flags=0x10000000\n"
         "  0: operator sub=21 (<=) line=2\n"
         "    0: operator sub=20 (>) line=2\n"
         "      0: operator sub=19 (<) line=2\n"
         "        0: identifier line=2 \"a\"\n"
         "        1: identifier line=2 \"b\"\n"
         "      1: identifier line=2 \"c\"\n"
         "    1: identifier line=2 \"d\"\n"
         "  1: identifier line=2 \"e\"\n"
         "operator sub=24 (!=) line=2 flags=0x10000000\n"
         "  0: operator sub=23 (==) line=2\n"
         "    0: identifier line=2 \"a\"\n"
         "    1: identifier line=2 \"b\"\n"
         "  1: identifier line=2 \"c\"\n"},
        {false, "!a; -a; +a; ~a; ++a; --a; a++; a--; - - a; ++a++;",
         "operator sub=5 (!) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "operator sub=4 (-) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "operator sub=3 (+) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "operator sub=6 (~) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "operator sub=8 (++) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "operator sub=7 (--) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "operator sub=1 (++) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "operator sub=0 (--) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "operator sub=4 (-) line=2 flags=0x10000000\n"
         "  0: operator sub=4 (-) line=2\n"
         "    0: identifier line=2 \"a\"\n"
         "operator sub=8 (++) line=2 flags=0x10000000\n"
         "  0: operator sub=1 (++) line=2\n"
         "    0: identifier line=2 \"a\"\n"},
        {false, "(int) a; (float[]) b; cast<Foo> c; cast<Foo[]> d; cast<int> e; (int)(float) f;",
         "operator sub=11 (()) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: type sub=2 line=2\n"
         "operator sub=11 (()) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"b\"\n"
         "  1: type sub=9 line=2\n"
         "operator sub=11 (()) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"c\"\n"
         "  1: type sub=5 line=2\n"
         "    0: name line=2 \"Foo\"\n"
         "operator sub=11 (()) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"d\"\n"
         "  1: type sub=11 line=2\n"
         "    0: name line=2 \"Foo\"\n"
         "operator sub=11 (()) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"e\"\n"
         "  1: type sub=2 line=2\n"
         "operator sub=11 (()) line=2 flags=0x10000000\n"
         "  0: operator sub=11 (()) line=2\n"
         "    0: identifier line=2 \"f\"\n"
         "    1: type sub=3 line=2\n"
         "  1: type sub=2 line=2\n"},
        {false,
         "a[1]; a[1, 2]; a[, 2]; a[1, ]; a.b.c; f(); f(1, 2); o.m(x); a.size(); a.isclass(Foo); "
         "a.copy(b);",
         "operator sub=10 ([]) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: constant sub=1 line=2 1\n"
         "operator sub=9 ([,]) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: constant sub=1 line=2 1\n"
         "  2: constant sub=1 line=2 2\n"
         "operator sub=9 ([,]) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "  2: constant sub=1 line=2 2\n"
         "operator sub=9 ([,]) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: constant sub=1 line=2 1\n"
         "operator sub=2 (.) line=2 flags=0x10000000\n"
         "  0: operator sub=2 (.) line=2\n"
         "    0: identifier line=2 \"a\"\n"
         "    1: membername line=2 \"b\"\n"
         "  1: membername line=2 \"c\"\n"
         "call line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"f\"\n"
         "call line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"f\"\n"
         "  1: constant sub=1 line=2 1\n"
         "  constant sub=1 line=2 2\n"
         "call line=2 flags=0x10000000\n"
         "  0: operator sub=2 (.) line=2\n"
         "    0: identifier line=2 \"o\"\n"
         "    1: membername line=2 \"m\"\n"
         "  1: identifier line=2 \"x\"\n"
         "operator sub=31 (size) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "operator sub=32 (isclass) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: name line=2 \"Foo\"\n"
         "operator sub=33 (copy) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: identifier line=2 \"b\"\n"},
        {false, "me; null; 0x10; 10; 'c'; 1.5; \"s\\t\"; true; false;",
         "me line=2 flags=0x10000000\n"
         "null line=2 flags=0x10000000\n"
         "constant sub=1 line=2 16 flags=0x10000000\n"
         "constant sub=1 line=2 10 flags=0x10000000\n"
         "constant sub=1 line=2 99 flags=0x10000000\n"
         "constant sub=2 line=2 1.5f flags=0x10000000\n"
         "constant sub=3 line=2 \"s\\x09\" flags=0x10000000\n"
         "constant sub=0 line=2 true flags=0x10000000\n"
         "constant sub=0 line=2 false flags=0x10000000\n"},
        {false, "new int(); new string(1); new int[5]; new Foo(); new Foo(a, b); new Foo[n];",
         "operator sub=34 (new) line=2 flags=0x10000000\n"
         "  0: type sub=2 line=2\n"
         "operator sub=34 (new) line=2 flags=0x10000000\n"
         "  0: type sub=4 line=2\n"
         "  2: constant sub=1 line=2 1\n"
         "operator sub=34 (new) line=2 flags=0x10000000\n"
         "  0: type sub=8 line=2\n"
         "  1: constant sub=1 line=2 5\n"
         "operator sub=34 (new) line=2 flags=0x10000000\n"
         "  0: type sub=5 line=2\n"
         "    0: name line=2 \"Foo\"\n"
         "operator sub=34 (new) line=2 flags=0x10000000\n"
         "  0: type sub=5 line=2\n"
         "    0: name line=2 \"Foo\"\n"
         "  2: identifier line=2 \"a\"\n"
         "  identifier line=2 \"b\"\n"
         "operator sub=34 (new) line=2 flags=0x10000000\n"
         "  0: type sub=11 line=2\n"
         "    0: name line=2 \"Foo\"\n"
         "  1: identifier line=2 \"n\"\n"},
        {false, "a, b, c;",
         "identifier line=2 \"a\" flags=0x10000000\n"
         "identifier line=2 \"b\" flags=0x10000000\n"
         "identifier line=2 \"c\" flags=0x10000000\n"},
        {false, "(a, b);",
         "identifier line=2 \"a\" flags=0x10000000\n"
         "identifier line=2 \"b\" flags=0x10000000\n"},
        // A parenthesised comma list keeps its elements wherever a list goes on after it.
        {false, "f((a, b), c); (d, e), g;",
         "call line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"f\"\n"
         "  1: identifier line=2 \"a\" flags=0x10000000\n"
         "  identifier line=2 \"b\"\n"
         "  identifier line=2 \"c\"\n"
         "identifier line=2 \"d\" flags=0x10000000\n"
         "identifier line=2 \"e\" flags=0x10000000\n"
         "identifier line=2 \"g\" flags=0x10000000\n"},
        {false, "int i, j = 2; Foo k; string[] s;",
         "variables line=2\n"
         "  0: type sub=2 line=2\n"
         "  1: declarator line=2\n"
         "    0: name line=2 \"i\"\n"
         "  declarator line=2\n"
         "    0: name line=2 \"j\"\n"
         "    1: constant sub=1 line=2 2\n"
         "variables line=2\n"
         "  0: type sub=5 line=2\n"
         "    0: name line=2 \"Foo\"\n"
         "  1: declarator line=2\n"
         "    0: name line=2 \"k\"\n"
         "variables line=2\n"
         "  0: type sub=10 line=2\n"
         "  1: declarator line=2\n"
         "    0: name line=2 \"s\"\n"},
        {false, "public int x;",
         "variables line=2 flags=0x1\n"
         "  0: type sub=2 line=2\n"
         "  1: declarator line=2\n"
         "    0: name line=2 \"x\"\n"},
        {false, "if (a) b; else c;",
         "if line=2\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: identifier line=2 \"b\" flags=0x10000000\n"
         "  2: identifier line=2 \"c\" flags=0x10000000\n"},
        {false, "if (a) if (b) c; else d;",
         "if line=3\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: if line=2\n"
         "    0: identifier line=2 \"b\"\n"
         "    1: identifier line=2 \"c\" flags=0x10000000\n"
         "    2: identifier line=2 \"d\" flags=0x10000000\n"},
        {false, "while (a) { b; } switch (x) { case 1: case 2: y; break; default: z; }",
         "while line=2\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: block line=2\n"
         "    0: identifier line=2 \"b\" flags=0x10000000\n"
         "switch line=2\n"
         "  0: identifier line=2 \"x\"\n"
         "  1: block line=2\n"
         "    0: case line=2\n"
         "      0: constant sub=1 line=2 1\n"
         "    case line=2\n"
         "      0: constant sub=1 line=2 2\n"
         "    identifier line=2 \"y\" flags=0x10000000\n"
         "    break line=2\n"
         "    default line=2\n"
         "    identifier line=2 \"z\" flags=0x10000000\n"},
        {false, "for (;;) ; for (i = 0, j = 1; i < 10; i++, j++) x; for (a; b, c;) d;",
         "for line=2\n"
         "for line=2\n"
         "  0: operator sub=30 (=) line=2 flags=0x10000000\n"
         "    0: identifier line=2 \"i\"\n"
         "    1: constant sub=1 line=2 0\n"
         "  operator sub=30 (=) line=2 flags=0x10000000\n"
         "    0: identifier line=2 \"j\"\n"
         "    1: constant sub=1 line=2 1\n"
         "  1: operator sub=19 (<) line=2\n"
         "    0: identifier line=2 \"i\"\n"
         "    1: constant sub=1 line=2 10\n"
         "  2: identifier line=2 \"x\" flags=0x10000000\n"
         "  3: operator sub=1 (++) line=2 flags=0x10000000\n"
         "    0: identifier line=2 \"i\"\n"
         "  operator sub=1 (++) line=2 flags=0x10000000\n"
         "    0: identifier line=2 \"j\"\n"
         "for line=2\n"
         "  0: identifier line=2 \"a\" flags=0x10000000\n"
         "  1: identifier line=2 \"b\" flags=0x10000000\n"
         "  identifier line=2 \"c\"\n"
         "  2: identifier line=2 \"d\" flags=0x10000000\n"},
        {false, "wait () { on \"a\", \"b\": x; on \"c\", \"d\", m: { y; } }",
         "wait line=2\n"
         "  0: block line=2\n"
         "    0: on line=2\n"
         "      0: constant sub=3 line=2 \"a\"\n"
         "      1: constant sub=3 line=2 \"b\"\n"
         "    identifier line=2 \"x\" flags=0x10000000\n"
         "    on line=2\n"
         "      0: constant sub=3 line=2 \"c\"\n"
         "      1: constant sub=3 line=2 \"d\"\n"
         "      2: identifier line=2 \"m\"\n"
         "    block line=2\n"
         "      0: identifier line=2 \"y\" flags=0x10000000\n"},
        {false, "goto L; L: x; continue; break; return; return a, b;",
         "goto line=2\n"
         "  0: name line=2 \"L\"\n"
         "label line=2\n"
         "  0: name line=2 \"L\"\n"
         "identifier line=2 \"x\" flags=0x10000000\n"
         "continue line=2\n"
         "break line=2\n"
         "return line=2\n"
         "return line=2\n"
         "  0: identifier line=2 \"a\" flags=0x10000000\n"
         "  identifier line=2 \"b\"\n"},
        {false, "{ } { a; { b; } }",
         "block line=2\n"
         "block line=2\n"
         "  0: identifier line=2 \"a\" flags=0x10000000\n"
         "  block line=2\n"
         "    0: identifier line=2 \"b\" flags=0x10000000\n"},
        {false, "lab: ;",
         "label line=2\n"
         "  0: name line=2 \"lab\"\n"},
        {false, "a = (int) b + c;",
         "operator sub=30 (=) line=2 flags=0x10000000\n"
         "  0: identifier line=2 \"a\"\n"
         "  1: operator sub=15 (+) line=2\n"
         "    0: operator sub=11 (()) line=2\n"
         "      0: identifier line=2 \"b\"\n"
         "      1: type sub=2 line=2\n"
         "    1: identifier line=2 \"c\"\n"},
        {false, "a.b = c;",
         "operator sub=30 (=) line=2 flags=0x10000000\n"
         "  0: operator sub=2 (.) line=2\n"
         "    0: identifier line=2 \"a\"\n"
         "    1: membername line=2 \"b\"\n"
         "  1: identifier line=2 \"c\"\n"},
        {true, "class A { int f() { } } ;",
         "class line=1\n"
         "  0: name line=1 \"A\"\n"
         "  2: function line=1\n"
         "    0: type sub=2 line=1\n"
         "    1: name line=1 \"f\"\n"
         "    3: block line=1 flags=0x8000000\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Tree(c.source, c.whole), c.tree) << c.source;
}

TEST(Parser, RefusesWhatTheGrammarDoesNotHold) {
    const char* const sources[] = {
        "include \"x.gs\"",                        // only includes: no class
        "include \"x.gs\"; class A { };",          // no semicolon after an include
        "class A { }; int x;",                     // a declaration outside a class
        "class A { }",                             // the class's semicolon
        "class A { void f() { } }; void g() { }",  // a function outside a class
        "class A { x = 1; };",                     // a statement outside a function
        "class A { void f() { (Foo) x; } };",      // a class needs the cast<> form
        "class A { void f() { a[,]; } };",         // a range index with both left out
        "class A { void f() { &&a; } };",          // no doubled ampersand operator
        "class A { void f() { x ? y : z; } };",    // no conditional operator
        "class A { void f() { a += 1; } };",       // no compound assignment
        "class A { void f() { a = #; } };",        // a bad character
        "",
    };
    for (const char* s : sources) {
        test::Unit u;
        EXPECT_EQ(u.Parse(s), ParseResult::kSyntaxError) << s;
        EXPECT_EQ(u.state.errors, 1u) << s;
        EXPECT_EQ(u.state.root, nullptr) << s;
        ASSERT_EQ(u.sink.lines.size(), 1u) << s;
        EXPECT_EQ(u.sink.lines[0], "test.gs(1) : parse error, line 1") << s;
    }
}

TEST(Parser, ReportsTheLineOfTheTokenItStoppedAt) {
    test::Unit u("Lib.gs");
    EXPECT_EQ(u.Parse("class A {\n  void f() {\n    x = 1\n  }\n};"), ParseResult::kSyntaxError);
    EXPECT_EQ(u.Messages(), "Lib.gs(4) : parse error, line 4\n");
}

TEST(Parser, NodesTakeTheLineTheScannerIsOnWhenTheyAreBuilt) {
    test::Unit u;
    ASSERT_EQ(u.Parse("class A {\n void f() {\n  x =\n   \"a\n b\"\n   + y;\n }\n};"),
              ParseResult::kOk);
    SyntaxNode* assign = u.state.root->child[2]->child[3]->child[0];
    EXPECT_EQ(assign->line, 6u);                      // reduced at the ";" of line 6
    EXPECT_EQ(assign->child[0]->line, 3u);            // "x" reduced on seeing "=" on line 3
    EXPECT_EQ(assign->child[1]->child[0]->line, 5u);  // the string spans lines 4 and 5
}

TEST(Parser, StackOverflowIsReportedNotFollowed) {
    // Each "(" holds a state: 10000 of them (with the states below) pass the 10000 entries.
    std::string deep = "class A { void f() { x = " + std::string(10000, '(') + "1" +
                       std::string(10000, ')') + "; } };";
    test::Unit u;
    EXPECT_EQ(u.Parse(deep), ParseResult::kStackOverflow);
    EXPECT_EQ(u.Messages(), "test.gs(1) : parser stack overflow, line 1\n");
    EXPECT_EQ(u.state.errors, 1u);

    // Within the limit it parses; the walk of the analysis then says it is nested too deep.
    std::string nested = "class A { int f() { return " + std::string(1000, '(') + "1" +
                         std::string(1000, ')') + "; } };";
    test::Unit v;
    EXPECT_EQ(v.Parse(nested), ParseResult::kOk);
    std::string blocks =
        "class A { void f() { " + std::string(1000, '{') + std::string(1000, '}') + " } };";
    test::Unit w;
    EXPECT_FALSE(w.Check(blocks));
    EXPECT_EQ(w.Messages(), "Stack overflow; code nested too deep.\n");
    EXPECT_EQ(w.state.errors, 1u);
}

TEST(Parser, LongListsAreBuiltInLinearTime) {
    // 20,000 statements and arguments: appending walks no chain.
    std::string body;
    for (int i = 0; i < 20000; ++i)
        body += "a;";
    std::string args = "f(0";
    for (int i = 0; i < 20000; ++i)
        args += ",1";
    test::Unit u;
    ASSERT_EQ(u.Parse("class A { void f() { " + body + args + "); } };"), ParseResult::kOk);
    size_t n = 0;
    for (SyntaxNode* s = u.state.root->child[2]->child[3]->child[0]; s != nullptr; s = s->next)
        ++n;
    EXPECT_EQ(n, 20001u);
}

}  // namespace
