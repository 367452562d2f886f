#include "script/bytecode/opcodes.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace GSBytecode {
namespace {

// The emitter's stack effects as the instruction set lists them; every opcode not named changes
// nothing.
TEST(OpcodeTable, StackEffectsAreTheEmittersLists) {
    const std::vector<std::pair<int, std::vector<int>>> lists = {
        {-4, {67, 70, 83}},
        {-3, {61, 64, 68, 71, 80, 84}},
        {-2, {62, 65, 66, 69, 81, 82, 99, 101}},
        {-1,
         {0,  1,  2,  3,  4,  9,  13, 14, 15, 17, 18, 19, 20, 21,  22,  23,  28,  33,  35,  37,
          38, 44, 45, 48, 49, 50, 51, 60, 63, 79, 85, 86, 91, 100, 102, 105, 106, 110, 111, 113}},
        {+1, {10, 11, 30, 31, 32, 39, 40, 72, 73, 88, 89, 103, 104}},
        {+2, {41}},
    };
    std::vector<int> expected(kOpcodeCount, 0);
    for (const auto& [effect, ops] : lists)
        for (int op : ops)
            expected[op] = effect;
    for (unsigned op = 0; op < kOpcodeCount; ++op)
        EXPECT_EQ(StackEffect(static_cast<uint8_t>(op)), expected[op]) << "opcode " << op;
    for (int op : {94, 95, 96, 114, 115})
        EXPECT_EQ(StackEffect(static_cast<uint8_t>(op)), 0) << "opcode " << op;
}

TEST(OpcodeTable, EveryByteBeyondTheLastOpcodeIsNone) {
    for (unsigned op = kOpcodeCount; op < 256; ++op) {
        EXPECT_EQ(FindOpcode(static_cast<uint8_t>(op)), nullptr);
        EXPECT_EQ(StackEffect(static_cast<uint8_t>(op)), 0);
    }
}

TEST(OpcodeTable, MnemonicsAreUnique) {
    std::set<std::string> seen;
    for (unsigned op = 0; op < kOpcodeCount; ++op)
        EXPECT_TRUE(seen.insert(FindOpcode(static_cast<uint8_t>(op))->mnemonic).second) << op;
}

Layout ExpectedLayout(unsigned op) {
    if (op == 30) return Layout::kConstant;
    if (op >= 31 && op <= 36) return Layout::kFrameSlot;
    if (op >= 43 && op <= 51) return Layout::kCodeOffset;
    if (op == 73) return Layout::kString;
    if (op >= 87 && op <= 90) return Layout::kClass;
    if (op >= 94 && op <= 96) return Layout::kCall;
    if (op == 114) return Layout::kCallFunction;
    if (op >= 97 && op <= 108) return Layout::kMember;
    if (op == 112) return Layout::kWaitTable;
    if (op == 113) return Layout::kSwitchTable;
    return Layout::kNone;
}

TEST(OpcodeTable, OperandLayoutsAndMarks) {
    for (unsigned op = 0; op < kOpcodeCount; ++op) {
        const OpcodeInfo* info = FindOpcode(static_cast<uint8_t>(op));
        EXPECT_EQ(info->layout, ExpectedLayout(op)) << op;
        bool jump = op >= 43 && op <= 51;
        bool call = (op >= 94 && op <= 96) || op == 114;
        bool ret = op >= 109 && op <= 111;
        bool noFall = op == 43 || ret || op == 112 || op == 113;
        EXPECT_EQ((info->marks & kMarkJump) != 0, jump) << op;
        EXPECT_EQ((info->marks & kMarkCall) != 0, call) << op;
        EXPECT_EQ((info->marks & kMarkReturn) != 0, ret) << op;
        EXPECT_EQ((info->marks & kMarkNoFallThrough) != 0, noFall) << op;
        EXPECT_EQ((info->marks & kMarkPushesAtTarget) != 0, op == 112) << op;
    }
    // The call's object position is signed (1 - n); every other u16 is unsigned.
    auto call = OperandFields(Layout::kCall);
    ASSERT_EQ(call.size(), 2u);
    EXPECT_TRUE(call[0].isSigned);
    EXPECT_FALSE(call[1].isSigned);
    EXPECT_EQ(FixedOperandBytes(Layout::kCall), 4);
    EXPECT_EQ(FixedOperandBytes(Layout::kConstant), 4);
    EXPECT_EQ(FixedOperandBytes(Layout::kFrameSlot), 2);
    EXPECT_EQ(FixedOperandBytes(Layout::kNone), 0);
    EXPECT_EQ(FixedOperandBytes(Layout::kSwitchTable), -1);
}

TEST(DecodeInstruction, FixedOperandsAreReadWithTheirSign) {
    const std::vector<uint8_t> code = {30, 0xFF, 0xFF, 0xFF, 0xFF,  // push -1
                                       94, 0xFD, 0xFF, 0x02, 0x80,  // call position -3, slot 0x8002
                                       31, 0x34, 0x12,              // load slot 0x1234
                                       109};
    Instruction in;
    ASSERT_EQ(DecodeInstruction(code, 0, in), DecodeResult::kOk);
    EXPECT_EQ(in.length, 5u);
    EXPECT_EQ(in.operand[0], 0xFFFFFFFF);  // a constant is a raw word
    ASSERT_EQ(DecodeInstruction(code, 5, in), DecodeResult::kOk);
    EXPECT_EQ(in.operand[0], -3);
    EXPECT_EQ(in.operand[1], 0x8002);
    ASSERT_EQ(DecodeInstruction(code, 10, in), DecodeResult::kOk);
    EXPECT_EQ(in.operand[0], 0x1234);
    EXPECT_EQ(in.length, 3u);
    ASSERT_EQ(DecodeInstruction(code, 13, in), DecodeResult::kOk);
    EXPECT_EQ(in.length, 1u);
    EXPECT_EQ(DecodeInstruction(code, 14, in), DecodeResult::kTruncated);
}

TEST(DecodeInstruction, TablesAreReadInPlace) {
    // switch: 2 cases (-5, 7) to 20 and 30, default 40.
    const std::vector<uint8_t> sw = {113, 2, 0, 0xFB, 0xFF, 0xFF, 0xFF, 7,  0, 0, 0, 20,
                                     0,   0, 0, 30,   0,    0,    0,    40, 0, 0, 0};
    Instruction in;
    ASSERT_EQ(DecodeInstruction(sw, 0, in), DecodeResult::kOk);
    EXPECT_EQ(in.length, sw.size());
    EXPECT_EQ(in.tableCount, 2u);
    EXPECT_EQ(in.CaseValue(0), -5);
    EXPECT_EQ(in.CaseValue(1), 7);
    EXPECT_EQ(in.CaseOffset(1), 30u);
    EXPECT_EQ(in.DefaultOffset(), 40u);
    // wait: 1 handler ("a", "b" as strings 3 and 4) at 9.
    const std::vector<uint8_t> wait = {112, 1, 0, 3, 0, 4, 0, 9, 0, 0, 0};
    ASSERT_EQ(DecodeInstruction(wait, 0, in), DecodeResult::kOk);
    EXPECT_EQ(in.length, wait.size());
    EXPECT_EQ(in.Major(0), 3);
    EXPECT_EQ(in.Minor(0), 4);
    EXPECT_EQ(in.HandlerOffset(0), 9u);
}

TEST(DecodeInstruction, RefusesWhatRunsPastTheCode) {
    struct Case {
        std::vector<uint8_t> code;
        DecodeResult result;
    };
    const std::vector<Case> cases = {
        {{30, 1, 2, 3}, DecodeResult::kTruncated},
        {{94, 1, 0, 2}, DecodeResult::kTruncated},
        {{73, 1}, DecodeResult::kTruncated},
        {{113, 1}, DecodeResult::kTruncated},
        {{113, 1, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0}, DecodeResult::kTruncated},
        {{112, 0xFF, 0xFF, 0, 0}, DecodeResult::kTruncated},
        {{116}, DecodeResult::kUnknownOpcode},
        {{255, 0, 0}, DecodeResult::kUnknownOpcode},
        {{112, 0, 0}, DecodeResult::kOk},
        {{113, 0, 0, 1, 0, 0, 0}, DecodeResult::kOk},
    };
    for (const Case& c : cases) {
        Instruction in;
        EXPECT_EQ(DecodeInstruction(c.code, 0, in), c.result) << int{c.code[0]};
    }
}

}  // namespace
}  // namespace GSBytecode
