// The verifier refuses each kind of broken code. Each case compiles a correct function, breaks
// one byte of its code or frame in the image and expects the verifier's reason.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "script/compiler/compiler_test_images.h"

namespace GSCompiler {
namespace {

struct Break {
    const char* what;
    const char* source;
    const char* signature;
    int codeOffset;  // -1: the frame's fourth word (the recorded maximum depth) instead
    uint8_t value;
    const char* reason;
};

const Break kBreaks[] = {
    {"an unknown opcode", "class A { int F(int a, int b) { return a + b; } };",
     "$int@A::F(int,int)", 6, 116, "unknown opcode 116"},
    {"too few words for an operation", "class A { int F(int a, int b) { return a + b; } };",
     "$int@A::F(int,int)", 7, 0, "iadd takes 2 words from a stack of 1"},
    {"a return that leaves a word", "class A { void F(int a, int b) { a = a + b; } };",
     "$void@A::F(int,int)", 7, 109, "returns with 1 words on the stack"},
    // What a call leaves is its callee's signature's: a return must agree with it.
    {"a bare return where a value is returned", "class A { int F() { return 1; } };", "$int@A::F()",
     0, 109, "ret where the signature says a value is returned"},
    {"a value returned where none is", "class A { void F() { } };", "$void@A::F()", 0, 110,
     "retv where the signature says none is"},
    {"a frame slot beyond the frame", "class A { int F(int a, int b) { return a + b; } };",
     "$int@A::F(int,int)", 1, 9, "frame slot 9 beyond the frame of 3"},
    {"a recorded maximum below the real one", "class A { int F(int a, int b) { return a + b; } };",
     "$int@A::F(int,int)", -1, 0, "passes the recorded maximum"},
    {"a jump into an instruction", "class A { void Gt(int x) { again: x = x - 1; goto again; } };",
     "$void@A::Gt(int)", 13, 1, "target 1 is no instruction start"},
    {"a string beyond the table", "class A { string S() { return \"s\"; } };", "$string@A::S()", 1,
     200, "string 200 beyond the string table"},
    {"two depths at one place", "class A { int F(bool c) { int r; if (c) r = 1; return r; } };",
     "$int@A::F(bool)", 13, 34, "reached with depths"},
    // Words read as references: a plain word in their place would be followed as a pointer.
    {"a loaded reference made a plain word", "class A { int L(string s) { return s.size(); } };",
     "$int@A::L(string)", 0, 31, "takes a plain word as a reference"},
    {"a reference load from a plain slot", "class A { int F(int a) { return a; } };",
     "$int@A::F(int)", 0, 32, "loadr on plain slot 1"},
    {"a plain store into a reference slot", "class A { void F(string s) { s = \"x\"; } };",
     "$void@A::F(string)", 3, 33, "a plain store into reference slot 1"},
    {"a call on a plain word",
     "class A { int G() { return 1; } int F(int a) { return G() + a; } };", "$int@A::F(int)", 0, 31,
     "call on a word that is no reference"},
    {"a plain word for a reference parameter",
     "class A { int G(string s) { return 1; } int F(string s) { return G(s); } };",
     "$int@A::F(string)", 3, 31, "argument 1 of call is no reference"},
    {"a reference and a plain word at one place",
     "class A { bool F(bool a, string s) { return a and s == \"x\"; } };",
     "$bool@A::F(bool,string)", 16, 74, "reached as a reference and as a plain word"},
    {"a plain word returned as a reference", "class A { string S(string s) { return s; } };",
     "$string@A::S(string)", 0, 31, "as a reference"},
};

TEST(Verifier, RefusesBrokenCode) {
    for (const Break& b : kBreaks) {
        test::Compiled c = test::CompileText(b.source);
        ASSERT_EQ(c.result, 0) << b.what << "\n" << c.Messages();
        const GSBytecode::GslFunction* f = c.Function(b.signature);
        ASSERT_NE(f, nullptr) << b.what;
        std::vector<uint8_t> bytes = c.bytes;
        if (b.codeOffset >= 0) {
            bytes[f->codeOffset + b.codeOffset] = b.value;
        } else {
            // The fourth frame word sits 7 words + the reference count + the slots + the code
            // size before the code.
            size_t frame = f->codeOffset - 4 - 4 * f->referenceSlots.size() - 4 - 7 * 4;
            bytes[frame + 3 * 4] -= 1;
        }
        GSBytecode::GslImage image;
        GSBytecode::GslReadError error;
        ASSERT_TRUE(GSBytecode::ReadLibraryImage(bytes, image, error)) << b.what;
        GSBytecode::VerifyError fault;
        EXPECT_FALSE(GSBytecode::VerifyImage(image, fault)) << b.what;
        EXPECT_NE(fault.text.find(b.reason), std::string::npos)
            << b.what << ": " << fault.text << "\n"
            << c.Code(b.signature);
    }
}

}  // namespace
}  // namespace GSCompiler

namespace GSCompiler {
namespace {

// A call through a slot of a class of another library may reach any of the methods the image
// names for that class at or below the slot; where those disagree on a parameter's kind, the
// call's own argument stands. An int argument to the second method is fine although the first
// takes a string there.
TEST(Verifier, TakesAPlainArgumentWhereTheCalleesOfAnExternalSlotDisagree) {
    test::Compiled c = test::CompileSources(
        {{"b.gs", "class B { public native int S(string s); public native int P(int i); };"},
         {"a.gs",
          "include \"b.gs\"\nclass A { int F(B b) { return b.S(\"x\") + b.P(1) + b.P(2); } };"}},
        "a.gs");
    // CompileSources verifies the image it made.
    EXPECT_EQ(c.result, 0) << c.Messages();
}

}  // namespace
}  // namespace GSCompiler
