// Runs of hand-assembled code: the interpreter's arithmetic, jumps, time-out and failure exits
// on functions built without a compiled library (what the verifier would refuse included).
#include <gtest/gtest.h>

#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

#include "script/vm/gs_context.h"
#include "script/vm/gs_dispatch.h"
#include "script/vm/gs_string_array.h"
#include "script/vm/gs_thread.h"
#include "script/vm/vm_test_support.h"

namespace GSRuntime {
namespace {

using testing::LogCapture;
using testing::MakeClass;
using testing::MakeFunction;

// Little-endian assembly helpers.
struct Code {
    std::vector<uint8_t> bytes;
    Code& Op(uint8_t op) {
        bytes.push_back(op);
        return *this;
    }
    Code& U16(uint16_t v) {
        bytes.push_back(static_cast<uint8_t>(v));
        bytes.push_back(static_cast<uint8_t>(v >> 8));
        return *this;
    }
    Code& U32(uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    Code& Push(uint32_t v) { return Op(30).U32(v); }
    Code& PushF(float f) { return Push(std::bit_cast<uint32_t>(f)); }
};

struct Outcome {
    int32_t result;
    uint32_t word;
};

// A class "T" whose one method runs `code` with one local and depth `depth`.
class Interpreter : public ::testing::Test {
protected:
    std::unique_ptr<GSClass> cls = MakeClass("T", 2);
    std::unique_ptr<GSFunction> fn;
    std::vector<uint8_t> codeBytes;

    Outcome Run(const Code& code, uint32_t depth = 4, uint32_t locals = 1) {
        codeBytes = code.bytes;
        fn = MakeFunction("$int@T::Run()", 1, locals, 0, depth);
        fn->owner = cls.get();
        fn->returnType = 1;
        fn->code = codeBytes.data();
        fn->codeSize = static_cast<uint32_t>(codeBytes.size());
        cls->methods = {{fn.get(), 0, 0}};
        cls->wordKinds = {2, 2};
        GSContext context;
        auto* object = new GSObject();
        EXPECT_TRUE(object->Instantiate(cls.get(), &context));
        uint32_t word = 0;
        int32_t rc = RunOnStaticThread(&context.StaticThread(), fn.get(), object->instance, nullptr,
                                       0, &word);
        ReleaseReference(object->instance);
        return {rc, word};
    }
};

TEST_F(Interpreter, IntegerAndFloatWordsFollowTheSoundRules) {
    struct Case {
        const char* what;
        Code code;
        Outcome expect;
    } cases[] = {
        {"add", Code().Push(2).Push(3).Op(0).Op(110), {ER_Done, 5}},
        {"INT_MIN / -1",
         Code().Push(0x80000000u).Push(UINT32_MAX).Op(3).Op(110),
         {ER_Done, 0x80000000u}},
        {"INT_MIN % -1", Code().Push(0x80000000u).Push(UINT32_MAX).Op(4).Op(110), {ER_Done, 0}},
        {"divide by 0", Code().Push(1).Push(0).Op(3).Op(110), {ER_DivideByZero, 0}},
        {"compare overflows no more",
         Code().Push(0x80000000u).Push(1).Op(9).Op(110),
         {ER_Done, UINT32_MAX}},
        {"shift by 33", Code().Push(1).Push(33).Op(17).Op(110), {ER_Done, 2}},
        {"-0.0 divides",
         Code().PushF(1.0f).Push(0x80000000u).Op(22).Op(110),
         {ER_Done, std::bit_cast<uint32_t>(-std::numeric_limits<float>::infinity())}},
        {"+0.0 does not", Code().PushF(1.0f).PushF(0.0f).Op(22).Op(110), {ER_DivideByZero, 0}},
        {"float remainder by +0.0",
         Code().PushF(1.0f).PushF(0.0f).Op(23).Op(110),
         {ER_DivideByZero, 0}},
        {"locals",
         Code().Push(7).Op(33).U16(1).Op(31).U16(1).Op(31).U16(1).Op(0).Op(110),
         {ER_Done, 14}},
        {"not equal", Code().Push(4).Op(115).Op(110), {ER_Done, 1}},
        {"opcode 116", Code().Op(116), {ER_IllegalInstruction, 0}},
        {"opcode 255", Code().Push(1).Op(255), {ER_IllegalInstruction, 0}},
    };
    for (Case& c : cases) {
        Outcome o = Run(c.code);
        EXPECT_EQ(o.result, c.expect.result) << c.what;
        if (o.result == ER_Done) {
            EXPECT_EQ(o.word, c.expect.word) << c.what;
        }
    }
}

TEST_F(Interpreter, SwitchJumpsToTheCaseOrTheDefault) {
    // switch (x) { case -3: return 30; case 5: return 50; default: return 99; }
    auto program = [](uint32_t x) {
        Code c;
        c.Push(x).Op(113).U16(2).U32(static_cast<uint32_t>(-3)).U32(5);
        size_t targets = c.bytes.size();
        c.U32(0).U32(0).U32(0);
        auto put = [&](size_t at, uint32_t v) { std::memcpy(&c.bytes[at], &v, 4); };
        put(targets, static_cast<uint32_t>(c.bytes.size()));
        c.Push(30).Op(110);
        put(targets + 4, static_cast<uint32_t>(c.bytes.size()));
        c.Push(50).Op(110);
        put(targets + 8, static_cast<uint32_t>(c.bytes.size()));
        c.Push(99).Op(110);
        return c;
    };
    EXPECT_EQ(Run(program(static_cast<uint32_t>(-3))).word, 30u);
    EXPECT_EQ(Run(program(5)).word, 50u);
    EXPECT_EQ(Run(program(4)).word, 99u);
}

// The sign jumps and the swap, which only hand-made code holds: each program pushes `a`, jumps
// to "return 1" when the test passes and falls through to "return 0" otherwise.
TEST_F(Interpreter, SignJumpsAndSwap) {
    auto program = [](uint8_t op, int32_t a) {
        return Code().Push(static_cast<uint32_t>(a)).Op(op).U32(16).Push(0).Op(110).Push(1).Op(110);
    };
    const struct {
        uint8_t op;
        int32_t a;
        uint32_t taken;
    } cases[] = {
        {45, 1, 1}, {45, 0, 0}, {48, -1, 1}, {48, 0, 0}, {49, 0, 1},
        {49, 1, 0}, {50, 1, 1}, {50, 0, 0},  {51, 0, 1}, {51, -1, 0},
    };
    for (const auto& c : cases) {
        Outcome o = Run(program(c.op, c.a));
        EXPECT_EQ(o.result, ER_Done) << int{c.op} << " " << c.a;
        EXPECT_EQ(o.word, c.taken) << int{c.op} << " " << c.a;
    }
    EXPECT_EQ(Run(Code().Push(1).Push(3).Op(42).Op(1).Op(110)).word, 2u);  // 3 - 1
}

// A loop that jumps backwards for ever ends after 16,777,216 code bytes of the run, with the
// failure line, the stack dump and the error hook.
TEST_F(Interpreter, AnEndlessLoopTimesOut) {
    LogCapture log;
    static int hookCalls = 0;
    SetScriptErrorHook([](const char*, GSStack&, GSObjectReference*) { ++hookCalls; });
    Outcome o = Run(Code().Op(43).U32(0));
    SetScriptErrorHook(nullptr);
    EXPECT_EQ(o.result, ER_Timeout);
    EXPECT_EQ(hookCalls, 1);
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{"Thread Exception: ER_Timeout, line -1, file ",
                                        "Stack Dump...", "function $int@T::Run(), line -1"}));
    EXPECT_GE(ThisRunState().totalBytes, uint64_t{0x1000000});
}

// The budget is 16,777,216 code bytes, counted at taken jumps up to the jump's opcode: a loop
// whose last jump brings the count to exactly the budget finishes, one more turn exceeds it.
// The loop below counts 16 bytes at its first taken jump (from the start) and 8 at each later
// one (load, decrement, store, the jump's opcode).
TEST_F(Interpreter, TheTimeOutFallsOnTheByteOfItsBudget) {
    auto loop = [](uint32_t turns) {
        return Code()
            .Push(turns)
            .Op(33)
            .U16(1)  // local 1 := turns
            .Op(31)
            .U16(1)  // 8: the loop
            .Op(7)
            .Op(34)
            .U16(1)
            .Op(45)
            .U32(8)  // back while the decremented count is not 0
            .Op(31)
            .U16(1)
            .Op(110);
    };
    // Turns - 1 jumps are taken; the last brings the count to 16 + 8 * (turns - 2).
    const uint32_t lastWithin = 2 + (uint32_t{0x1000000} - 16) / 8;
    ASSERT_EQ(16 + 8 * uint64_t{lastWithin - 2}, uint64_t{0x1000000});
    LogCapture log;
    Outcome within = Run(loop(lastWithin));
    EXPECT_EQ(within.result, ER_Done);
    EXPECT_EQ(within.word, 0u);
    EXPECT_EQ(Run(loop(lastWithin + 1)).result, ER_Timeout);
}

TEST_F(Interpreter, EndlessRecursionOverflowsTheStackAndUnwinds) {
    LogCapture log;
    // this.Run() for ever: push `this`, call slot 0.
    Outcome o = Run(Code().Op(32).U16(0).Op(94).U16(0).U16(0).Op(110), 2, 0);
    EXPECT_EQ(o.result, ER_StackOverflow);
    ASSERT_FALSE(log.lines().empty());
    EXPECT_EQ(log.lines()[0], "GSStack overflow...");
}

// `this` is checked once per frame and then trusted while the frame holds it; code that stores
// to local 0 makes the next read check the new word. Each program reads a member of `this`,
// stores null to local 0 and reads it again or calls on it.
TEST_F(Interpreter, StoringToThisIsSeenByTheNextRead) {
    // Read member 0 of `this`, drop it, push null.
    const Code readThenNull = Code().Op(103).U16(0).Op(37).Op(10);
    EXPECT_EQ(Run(Code(readThenNull).Op(35).U16(0).Op(103).U16(0).Op(110)).result,
              ER_IllegalInstruction);
    // The same through the keeping store.
    EXPECT_EQ(Run(Code(readThenNull).Op(36).U16(0).Op(38).Op(103).U16(0).Op(110)).result,
              ER_IllegalInstruction);
    // A call on the stored word.
    EXPECT_EQ(
        Run(Code(readThenNull).Op(35).U16(0).Op(32).U16(0).Op(94).U16(0).U16(0).Op(110)).result,
        ER_NullReference);
    // A call on another word than `this` checks that word.
    EXPECT_EQ(Run(Code(readThenNull).Op(94).U16(0).U16(0).Op(110)).result, ER_NullReference);
}

TEST_F(Interpreter, ArraysCheckTheirBoundsAndKinds) {
    EXPECT_EQ(Run(Code().Push(3).Op(56).Op(58).Op(110)).word, 3u);
    EXPECT_EQ(Run(Code().Push(3).Op(56).Push(5).Op(60).Op(110)).result, ER_ArrayOutOfBounds);
    EXPECT_EQ(Run(Code().Push(3).Op(56).Push(0).Op(63).Op(110)).result, ER_ArrayOutOfBounds);
    EXPECT_EQ(Run(Code().Push(0x7FFFFFFF).Op(57).Op(58).Op(110)).result, ER_ArrayOutOfBounds);
    EXPECT_EQ(Run(Code().Op(10).Op(58).Op(110)).result, ER_NullArrayReference);
    EXPECT_EQ(Run(Code().Push(42).Op(74).Op(78).Op(110)).word, 2u);  // "42"
    EXPECT_EQ(Run(Code().Op(10).Op(78).Op(110)).result, ER_NullStringReference);
}

// A run needs a frame and a `this`: without either it ends through the failure exit.
TEST(ThreadRuns, AThreadWithoutAFrameOrThisFails) {
    auto fn = MakeFunction("$void@T::Run()", 1, 0, 0, 2);
    const uint8_t code[] = {109};
    fn->code = code;
    fn->codeSize = 1;
    for (bool withFrame : {false, true}) {
        SCOPED_TRACE(withFrame);
        LogCapture log;
        GSThread thread(nullptr, 0);
        if (withFrame) {
            thread.stack.Push(0);  // a null `this`
            ASSERT_TRUE(thread.stack.PushFrame(fn.get(), 0));
        }
        EXPECT_EQ(GSThread::Execute(&thread, 0.0f), withFrame ? ER_NullReference : ER_NoStackFrame);
        EXPECT_EQ(thread.state, GSThread::kFinished);
        ASSERT_FALSE(log.lines().empty());
        EXPECT_EQ(log.lines()[0], std::string("Thread Exception: ") +
                                      (withFrame ? "ER_NullReference" : "ER_NoStackFrame") +
                                      ", line -1, file ");
        EXPECT_TRUE(thread.stack.Empty());
    }
}

// Native code may push a frame and, above it, another before running: the upper frame's return
// lands in one that never ran, whose dispatch bytes are made then.
TEST(ThreadRuns, AReturnIntoAFrameThatNeverRanRunsIt) {
    std::unique_ptr<GSClass> cls = MakeClass("T", 2);
    const uint8_t pushSevenAndReturnIt[] = {30, 7, 0, 0, 0, 110};  // push 7; return it
    const uint8_t justReturn[] = {109};
    auto outer = MakeFunction("$int@T::Outer()", 1, 0, 0, 4);
    outer->returnType = 1;
    outer->code = pushSevenAndReturnIt;
    outer->codeSize = sizeof pushSevenAndReturnIt;
    auto inner = MakeFunction("$void@T::Inner()", 1, 0, 0, 2);
    inner->code = justReturn;
    inner->codeSize = sizeof justReturn;
    for (GSFunction* f : {outer.get(), inner.get()})
        f->owner = cls.get();
    cls->methods = {{outer.get(), 0, 0}, {inner.get(), 0, 0}};
    cls->wordKinds = {2, 2};
    GSContext context;
    auto* object = new GSObject();
    ASSERT_TRUE(object->Instantiate(cls.get(), &context));
    const Ref self = object->instance;
    GSThread& thread = context.StaticThread();
    const GSStack::State saved = thread.stack.Save();
    thread.stack.Push(0);  // the outer result word
    uint32_t* resultWord = nullptr;
    for (GSFunction* f : {outer.get(), inner.get()}) {
        AddReference(self);
        thread.stack.Push(self);
        if (resultWord == nullptr) resultWord = thread.stack.top - 1;
        ASSERT_TRUE(thread.stack.PushFrame(f, 0));
    }
    ASSERT_TRUE(outer->dispatch.empty());
    thread.state = GSThread::kRunning;
    thread.resumeOffset = 0;
    EXPECT_EQ(GSThread::Execute(&thread, 0.0f), ER_Done);
    EXPECT_EQ(resultWord[1], 7u);
    thread.stack.Restore(saved);
    ReleaseReference(self);
}

}  // namespace
}  // namespace GSRuntime
