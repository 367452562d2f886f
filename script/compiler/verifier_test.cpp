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
    {"a return that leaves a word", "class A { int F(int a, int b) { return a + b; } };",
     "$int@A::F(int,int)", 7, 109, "returns with 1 words on the stack"},
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
