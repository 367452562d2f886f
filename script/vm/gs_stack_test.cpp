#include "script/vm/gs_stack.h"

#include <gtest/gtest.h>

#include "script/vm/gs_context.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/vm_test_support.h"

namespace GSRuntime {
namespace {

using testing::LogCapture;
using testing::MakeFunction;

// The fit rule counts the top word: on an empty stack of 1024 words a call needing 1025 fits,
// one needing 1026 does not. The fitting frame ends one word past the buffer, on a guard word.
TEST(GSStackFrames, OnAnEmptyStack1025WordsFitAnd1026Overflow) {
    LogCapture log;
    // No `this` below: a bare frame whose one local is its locals base.
    auto fits = MakeFunction("fits", 0, 1, 0, 1020);  // needs 1025
    auto too = MakeFunction("too", 0, 1, 0, 1021);    // needs 1026
    GSStack stack;
    EXPECT_TRUE(stack.PushFrame(fits.get(), 0));
    EXPECT_EQ(stack.TopIndex(), 4);
    for (int i = 0; i < 1020; ++i)  // the function's whole depth: the last word is a guard word
        stack.Push(7);
    EXPECT_EQ(stack.TopIndex(), 1024);
    stack.top -= 1020;
    stack.Reset();
    EXPECT_FALSE(stack.PushFrame(too.get(), 0));
    EXPECT_TRUE(stack.Empty());
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"GSStack overflow..."}));
}

// A frame's locals and temporaries start at 0 whatever the words held before: a reference
// local is released when the frame goes, so an old word left there would be released unheld.
TEST(GSStackFrames, AFrameStartsItsLocalsAndTemporariesAtZero) {
    auto f = MakeFunction("$void@A::F(int)", 2, 3, 2, 1);
    GSStack stack;
    for (uint32_t i = 0; i < 16; ++i)
        stack.buffer[i] = 0xDEAD0000u + i;
    stack.Push(0);  // `this`
    stack.Push(5);  // the parameter
    ASSERT_TRUE(stack.PushFrame(f.get(), 9));
    uint32_t* locals = stack.Locals();
    EXPECT_EQ(locals[1], 5u);
    for (uint32_t k = 2; k < 2 + 3 + 2; ++k)
        EXPECT_EQ(locals[k], 0u) << "word " << k;
    EXPECT_EQ(stack.frame[0], f->handle);
    EXPECT_EQ(stack.frame[1], 9u);
    EXPECT_EQ(stack.frame[2], 0u);
    EXPECT_EQ(stack.top, stack.frame + 3);
    EXPECT_TRUE(stack.PopFrame());
}

TEST(GSStackFrames, OverflowListsTheFramesOutwards) {
    LogCapture log;
    auto outer = MakeFunction("$void@A::Outer()", 1, 0, 0, 2);
    auto inner = MakeFunction("$void@A::Inner()", 1, 0, 0, 30);
    GSStack stack(16);
    stack.Push(0);
    ASSERT_TRUE(stack.PushFrame(outer.get(), 0));
    stack.Push(0);
    EXPECT_FALSE(stack.PushFrame(inner.get(), 7));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"GSStack overflow...", "function $void@A::Outer()"}));
}

// After a native that pushed nothing the result is 0; a script return with nothing above its
// frame where a value is wanted fails with diff=3.
TEST(GSStackFrames, ReturnValueTakesOneWordOrZeroAfterANative) {
    LogCapture log;
    auto f = MakeFunction("$int@A::F(int)", 2, 1, 0, 2);
    GSStack stack;
    stack.Push(0);   // this
    stack.Push(41);  // parameter 1
    ASSERT_TRUE(stack.PushFrame(f.get(), 12));
    EXPECT_EQ(stack.Locals()[1], 41u);
    EXPECT_FALSE(stack.ReturnValue(false));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"GSStack::ReturnValue> diff=3"}));
    EXPECT_NE(stack.frame, nullptr);  // the frame stays
    EXPECT_TRUE(stack.ReturnValue(true));
    EXPECT_EQ(stack.TopIndex(), 0);
    EXPECT_EQ(stack.top[0], 0u);
    EXPECT_EQ(stack.returnOffset, 12u);

    stack.Reset();
    stack.Push(0);
    stack.Push(1);
    ASSERT_TRUE(stack.PushFrame(f.get(), 0));
    stack.Push(99);
    EXPECT_TRUE(stack.ReturnValue(false));
    EXPECT_EQ(stack.top[0], 99u);
}

TEST(GSStackFrames, PopReleasesReferenceLocalsAndThis) {
    GSContext context;
    SetCurrentContext(&context);
    auto f = MakeFunction("$void@A::G(string)", 2, 1, 0, 1);
    GSStack stack;
    f->referenceSlots = {1, 2};
    Ref self = GSString::Make("self");
    Ref param = GSString::Make("param");
    Ref local = GSString::Make("local");
    AddReference(self);
    AddReference(param);
    stack.Push(self);
    stack.Push(param);
    ASSERT_TRUE(stack.PushFrame(f.get(), 0));
    stack.Locals()[2] = local;  // the local takes the reference
    AddReference(local);
    stack.Push(5);
    EXPECT_FALSE(stack.PopFrame());  // a word is left above the frame
    EXPECT_EQ(GetHeader(self)->refCount, 2);
    --stack.top;
    EXPECT_TRUE(stack.PopFrame());
    EXPECT_TRUE(stack.Empty());
    for (Ref r : {self, param, local}) {
        EXPECT_EQ(GetHeader(r)->refCount, 1);
        ReleaseReference(r);
    }
    SetCurrentContext(nullptr);
}

// Code whose kinds the image does not settle can store any word over `this`: the frames'
// context is taken only from a word that names a live instance.
TEST(GSStackFrames, TheContextComesFromTheFirstFrameWhoseThisIsALiveInstance) {
    GSContext context;
    SetCurrentContext(&context);
    auto f = MakeFunction("$void@A::F()", 1, 0, 0, 1);
    Ref self = GSString::Make("self");  // made in the current context
    GSStack stack;
    stack.Push(self);
    ASSERT_TRUE(stack.PushFrame(f.get(), 0));
    stack.Push(0x7FFFFF00);  // a number far past anything committed
    ASSERT_TRUE(stack.PushFrame(f.get(), 0));
    EXPECT_EQ(stack.CurrentContext(), &context);
    stack.Locals()[0] = 0;  // not released: it holds no count
    ASSERT_TRUE(stack.PopFrame());
    EXPECT_TRUE(stack.PopFrame());  // releases `self`
    EXPECT_EQ(stack.CurrentContext(), nullptr);
    SetCurrentContext(nullptr);
}

TEST(GSStackFrames, DumpGivesTheInnerLineMinusOneAndTheOuterTheLineOfTheCall) {
    LogCapture log;
    auto outer = MakeFunction("$void@A::Outer()", 1, 0, 0, 4);
    outer->hasLineTable = true;
    outer->lines = {{0, 10}, {8, 11}, {20, 14}};
    auto inner = MakeFunction("$void@A::Inner()", 1, 0, 0, 1);
    GSStack stack;
    stack.Push(0);
    ASSERT_TRUE(stack.PushFrame(outer.get(), 0));
    stack.Push(0);
    ASSERT_TRUE(stack.PushFrame(inner.get(), 12));
    stack.Dump();
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"function $void@A::Inner(), line -1",
                                                     "function $void@A::Outer(), line 11"}));
}

TEST(GSFunctionLines, LineOfAnOffset) {
    GSFunction f;
    EXPECT_EQ(f.LineOf(3), -1);
    f.hasLineTable = true;
    f.lines = {{4, 7}, {9, 8}};
    EXPECT_EQ(f.LineOf(0), 7);  // none below: the first
    EXPECT_EQ(f.LineOf(9), 8);
    EXPECT_EQ(f.LineOf(500), 8);
}

}  // namespace
}  // namespace GSRuntime
