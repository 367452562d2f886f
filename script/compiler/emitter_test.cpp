#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "script/compiler/code_unit.h"
#include "script/compiler/label_table.h"
#include "script/compiler/string_interning.h"

namespace GSCompiler {
namespace {

using namespace GSBytecode;

TEST(Emitter, AccountsDepthFromTheOpcodeTable) {
    CodeBody body;
    Emit(body, kPushZero);
    Emit(body, kPop);
    EXPECT_EQ(body.depth, 0);
    EXPECT_EQ(body.maxDepth, 1);

    CodeBody two;
    Emit(two, kPushZero);
    Emit(two, kPushOne);
    Emit(two, kDupTwo);
    EXPECT_EQ(two.maxDepth, 4);

    // Calls and 115 leave the accounting to the generator.
    CodeBody calls;
    for (Op op : {kCall, kCallNative, kCallThread}) {
        EmitU16U16(calls, op, 0, 3);
        EXPECT_EQ(calls.depth, 0) << int{op};
    }
    EmitU16U16(calls, kCallInherited, 0, 3);
    Emit(calls, kIsNotZero);
    EXPECT_EQ(calls.depth, 0);
    EXPECT_EQ(calls.maxDepth, 0);
}

TEST(Emitter, AppendsOperandsLittleEndian) {
    CodeBody body;
    EmitU32(body, kPushConstant, 0x04030201);
    EmitU16(body, kLoadLocal, 0x0605);
    EmitU16U16(body, kCall, 0xFFFE, 7);
    EmitFloat(body, 1.0f);
    const std::vector<uint8_t> expected = {30,   1,    2, 3, 4,  31, 5, 6,    94,
                                           0xFE, 0xFF, 7, 0, 30, 0,  0, 0x80, 0x3F};
    EXPECT_EQ(std::vector<uint8_t>(body.code.GetData(), body.code.GetData() + body.code.GetSize()),
              expected);
}

TEST(Emitter, RecordsALineOncePerChange) {
    CodeBody body;
    body.recordsLines = true;
    body.currentLine = 3;
    Emit(body, kPushZero);
    Emit(body, kPop);
    body.currentLine = 5;
    Emit(body, kReturn);
    ASSERT_EQ(body.lines.size(), 2u);
    EXPECT_EQ(body.lines[0].offset, 0u);
    EXPECT_EQ(body.lines[0].line, 3u);
    EXPECT_EQ(body.lines[1].offset, 2u);
    EXPECT_EQ(body.lines[1].line, 5u);
}

TEST(LabelTable, WritesEveryReferenceOnceTheTargetIsKnown) {
    CodeBody body;
    LabelTable labels;
    int32_t end = labels.NewLabel();
    EmitU32(body, kJump, 0);
    labels.AddReference(1, end, "unused", 1);
    EmitU32(body, kJumpIfZero, 0);
    labels.AddReference(6, end, "unused", 1);
    Emit(body, kReturn);
    EXPECT_TRUE(labels.DefineLabel(end, 10));
    EXPECT_FALSE(labels.DefineLabel(end, 4));  // the first offset stays
    EXPECT_FALSE(labels.DefineLabel(99, 4));
    std::vector<std::string> reported;
    EXPECT_EQ(
        labels.ResolveReferences(body.code, [&](const std::string& l) { reported.push_back(l); }),
        0u);
    EXPECT_TRUE(reported.empty());
    EXPECT_EQ(body.code.GetCursor(), 11u);
    EXPECT_EQ(ReadU32At(body.code.GetData() + 1), 10u);
    EXPECT_EQ(ReadU32At(body.code.GetData() + 6), 10u);
}

TEST(LabelTable, ALabelNeverDefinedIsReportedWithTheJumpsLine) {
    CodeBody body;
    LabelTable labels;
    int32_t named = labels.LabelFor("out");
    EXPECT_EQ(labels.LabelFor("out"), named);
    EmitU32(body, kJump, 0);
    labels.AddReference(1, named, "no matching label", 12);
    std::vector<std::string> reported;
    EXPECT_EQ(
        labels.ResolveReferences(body.code, [&](const std::string& l) { reported.push_back(l); }),
        1u);
    EXPECT_EQ(reported, (std::vector<std::string>{"no matching label, line 12"}));
}

TEST(StringInterning, OneIndexPerTextAndBucketChainsInByteOrder) {
    StringInterning strings;
    EXPECT_EQ(strings.Intern("b"), 0u);
    EXPECT_EQ(strings.Intern("a"), 1u);
    EXPECT_EQ(strings.Intern("b"), 0u);
    // "\x80" sorts after every ASCII text of its bucket: the order is unsigned.
    strings.Intern("\x80");
    strings.Intern("");
    EXPECT_EQ(strings.Count(), 4u);
    std::vector<std::string> order;
    strings.ForEachInBucketOrder([&](uint32_t, std::string_view t) { order.emplace_back(t); });
    // Buckets by h = h * 3 + signed byte, mod 61: "" 0, "a" 97 % 61 = 36, "b" 37,
    // "\x80" (-128 as unsigned 32-bit) % 61.
    const uint32_t high = static_cast<uint32_t>(-128) % 61;
    std::vector<std::pair<uint32_t, std::string>> expected = {
        {0, ""}, {36, "a"}, {37, "b"}, {high, "\x80"}};
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> texts;
    for (const auto& e : expected)
        texts.push_back(e.second);
    EXPECT_EQ(order, texts);
}

}  // namespace
}  // namespace GSCompiler
