#include "configdata/config_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "configdata/soup_test_support.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/tbuffer.h"
#include "foundation/tfile.h"
#include "platform/kiv/base/log.h"

namespace {

using namespace souptest;  // NOLINT: the fixture helpers of every soup test

const std::string kBom = "\xEF\xBB\xBF";

Kiv::PString N(const char* name) {
    return Kiv::PString(name);
}

std::string Spaces(size_t n) {
    return std::string(n, ' ');
}

std::string Text(const TDBTagRef& tree) {
    TBuffer stream;
    EXPECT_TRUE(WriteTagTreeText(stream, tree));
    return std::string(reinterpret_cast<const char*>(stream.GetData()), stream.GetDataLength());
}

TDBTagRef Parse(const std::string& text, bool* ok = nullptr, bool utf8 = false) {
    TBuffer stream(text.data(), static_cast<uint32_t>(text.size()));
    TDBTagRef tree;
    bool result = ParseTagTreeText(tree, stream, utf8);
    if (ok != nullptr) *ok = result;
    return tree;
}

// --- writer ------------------------------------------------------------------------------------

TEST(ConfigTextWriter, WritesTheExactBytesOfEachKindOfChild) {
    TDBTagRef root;
    TDBContainerTag::SetString(root, N("kind"), N("scenery"));
    TDBContainerTag::SetString(root, N("Name"), N("say \"hi\""));
    TDBContainerTag::SetInt(root, N("count"), -5);
    AddValue(root, "list", kTagInt, U32(1) + U32(2));
    TDBContainerTag::SetFloatArray(root, N("scale"), {0.5f, 2.0f, 1e-5f});
    TDBContainerTag::SetKUID(root, N("asset"), KUID(12, 34, 0));
    TDBContainerTag::SetEmpty(root, N("flag"));
    TDBContainerTag::SetString(root, N("blank"), N(""));
    AddValue(root, "raw", kTagRaw, "bytes");
    AddValue(root, "like", kTagTextLike, std::string("a\tb\0", 4));
    TDBTagRef mesh;
    TDBTagRef lod;
    TDBContainerTag::SetString(lod, N("mesh"), N("a.im"));
    TDBContainerTag::SetContainer(mesh, N("default"), lod);
    TDBContainerTag::SetContainer(root, N("mesh-table"), mesh);
    TDBTagRef empty;
    TDBContainerTag::SetContainer(root, N("other"), empty);

    std::string expected = kBom + "\r\n" +                              //
                           "kind" + Spaces(36) + "\"scenery\"\r\n" +    //
                           "name" + Spaces(36) + "\"say 'hi'\"\r\n" +   //
                           "count" + Spaces(35) + "-5\r\n" +            //
                           "list" + Spaces(36) + "1,2\r\n" +            //
                           "scale" + Spaces(35) + "0.5,2,1e-05\r\n" +   //
                           "asset" + Spaces(35) + "<kuid:12:34>\r\n" +  //
                           "flag" + Spaces(36) + "\r\n" +               //
                           "blank" + Spaces(35) + "\r\n" +              //
                           "raw" + Spaces(37) + "\r\n" +                //
                           "like" + Spaces(36) + "\"a\tb\"\r\n" +       //
                           "\r\n" +                                     //
                           "mesh-table\r\n{\r\n" +                      //
                           "  default\r\n  {\r\n" +                     //
                           "    mesh" + Spaces(32) + "\"a.im\"\r\n" +   //
                           "  }\r\n" +                                  //
                           "}\r\n" +                                    //
                           "\r\n" +                                     //
                           "other\r\n{\r\n}\r\n";
    EXPECT_EQ(Text(root), expected);
}

TEST(ConfigTextWriter, NamesAreCleanedAndPaddingFollowsTheStoredLength) {
    struct Case {
        std::string name;
        std::string line;  // without the line end
    };
    const Case cases[] = {
        {"A b\xC3\xA9", "a_b__" + Spaces(35) + "1"},
        {std::string(40, 'x'), std::string(40, 'x') + " 1"},
        {std::string(45, 'x'), std::string(45, 'x') + " 1"},
        {std::string(1100, 'Y'), std::string(1024, 'y') + " 1"},
    };
    for (const Case& c : cases) {
        TDBTagRef root;
        TDBContainerTag::SetInt(root, Kiv::PString(c.name), 1);
        EXPECT_EQ(Text(root), kBom + "\r\n" + c.line + "\r\n");
    }

    // Deep enough that the indentation passes the value column: one space still.
    TDBTagRef root = NewContainer();
    TDBTagRef at = root;
    for (int level = 0; level < 22; ++level)
        at = AddContainer(at, "n");
    AddValue(at, "v", kTagInt, U32(3));
    std::string text = Text(root);
    EXPECT_NE(text.find("\r\n" + Spaces(44) + "v 3\r\n"), std::string::npos);
}

TEST(ConfigTextWriter, NothingForAnEmptyTreeAndARefusalForOneTooDeep) {
    EXPECT_EQ(Text(TDBTagRef()), "");
    EXPECT_EQ(Text(ACSChunk::GetNullChunk()), "");
    EXPECT_EQ(Text(NewContainer()), kBom + "\r\n");

    TDBTagRef root = NewContainer();
    TDBTagRef at = root;
    for (uint32_t depth = 1; depth < kMaxTagTreeDepth; ++depth)
        at = AddContainer(at, "n");
    AddValue(at, "leaf", kTagInt, U32(1));
    bool ok = false;
    TDBTagRef back = Parse(Text(root), &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Dump(back), Dump(root));

    AddValue(AddContainer(at, "one-more"), "leaf", kTagInt, U32(1));
    TBuffer stream;
    EXPECT_FALSE(WriteTagTreeText(stream, root));
    EXPECT_EQ(stream.GetDataLength(), 0u);
}

TEST(ConfigTextWriter, DumpsGoToTheLogAndToStandardOutputAsText) {
    TDBTagRef root;
    TDBContainerTag::SetInt(root, N("a"), 1);
    std::string expected = kBom + "\r\na" + Spaces(39) + "1\r\n";

    std::vector<std::string> lines;
    int id = Kiv::Log::AddListener([&](std::string_view line) { lines.emplace_back(line); });
    TDBContainerTag::LogAsText(root);
    Kiv::Log::RemoveListener(id);
    EXPECT_EQ(lines, std::vector<std::string>{expected});

    testing::internal::CaptureStdout();
    TDBContainerTag::PrintAsText(root);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
}

// --- parser: values ----------------------------------------------------------------------------

TEST(ConfigTextParser, ClassifiesEachKindOfValue) {
    struct Case {
        std::string line;
        std::string tree;
    };
    const Case cases[] = {
        {"v 1", "v=int:1"},
        {"v -12  ", "v=int:-12"},
        {"v 1.0", "v=float:1"},
        {"v .5", "v=float:0.5"},
        {"v 1,2", "v=float:1,2"},
        {"v 1 2", "v=float:1,2"},
        {"v 1, 2,,3", "v=float:1,2,3"},
        {"v 1-2 .", "v=float:1,0"},  // pieces read as far as they are numbers
        {"v 1e-05", "v=float:9.99999975e-06"},
        {"v 1e+10", "v=float:1e+10"},
        {"v 1e-05,0,0", "v=float:9.99999975e-06,0,0"},
        {"v -", "v=int:0"},
        {"v -.", "v=float:0"},
        {"v 12abc", "v=text:12abc"},
        {"v 1e5", "v=text:1e5"},
        {"v e-5,1", "v=text:e-5,1"},
        {"v 99999999999", "v=text:99999999999"},
        {"v 1.0e+39", "v=text:1.0e+39"},
        {"v 1,1e+39", "v=text:1,1e+39"},
        {"v hello world  ", "v=text:hello world  "},
        {"v \"a b\"", "v=text:a b"},
        {"v \"\"", "v=text:"},
        {"v say \"hi\"", "v=text:say \"hi\""},
        {"v <kuid:1:2>", "v=kuid:1:2:0"},
        {"v \"<KUID2:1:2:3>\"", "v=kuid:1:2:3"},
        {"v <NuLL>", "v=kuid:-1:-1:127"},
        {"v <kuid:1:2>,<kuid:3:4>", "v=text:<kuid:1:2>,<kuid:3:4>"},
        {"v kuid:1:2", "v=text:kuid:1:2"},
        {"v", "v=empty"},
        {"v   \t", "v=empty"},
        {"V Value", "v=text:Value"},
        {"v 1}", "v=text:1"},
        {"v a\\nb", "v=text:a\r\nb"},
        {"v \"a\\nb\"", "v=text:a\\nb"},
        {"v a\\", "v=text:a\\"},
        {"v x\ny 2", "v=text:x y=int:2"},
        {"v 1\nv 2", "v=int:2"},
        {"a 1\nb 2\na 3", "b=int:2 a=int:3"},
        {std::string("v a\0b", 5), "v=text:a"},
        {std::string("a\0b 1", 5), "a=int:1"},
        {std::string("\0b 1\n\0c {\nx 1\n}\nd 2", 19), "d=int:2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Describe(Parse(c.line)), c.tree) << c.line;
}

TEST(ConfigTextParser, QuotedTextRunsAcrossLinesWithEachLineEndAsCRLF) {
    EXPECT_EQ(Describe(Parse("v \"a\nb\r\nc\n\rd\re\"\nw 1")),
              "v=text:a\r\nb\r\nc\r\nd\r\ne w=int:1");
    // Unterminated: to the end of the text.
    EXPECT_EQ(Describe(Parse("v \"open\nw 1\n")), "v=text:open\r\nw 1\r\n");
    // What follows the closing quote on its line is read as the next name.
    EXPECT_EQ(Describe(Parse("v \"a\" tail")), "v=text:a tail=empty");
}

TEST(ConfigTextParser, TextWithoutAByteOrderMarkIsTakenFromTheLocalCodePage) {
    EXPECT_EQ(Describe(Parse("name caf\xE9")), "name=text:caf\xC3\xA9");
    EXPECT_EQ(Describe(Parse(kBom + "name caf\xE9")), "name=text:caf\xE9");
    EXPECT_EQ(Describe(Parse("name caf\xE9", nullptr, true)), "name=text:caf\xE9");
    // Names keep their bytes.
    EXPECT_EQ(Describe(Parse("n\xE9 1")), "n\xE9=int:1");
    // A mark at the start of a block makes that block UTF-8, and the blocks inside it.
    EXPECT_EQ(Describe(Parse("a {" + kBom + "x \xE9\nb {\ny \xE9\n}\n}\nz \xE9")),
              "a{x=text:\xE9 b{y=text:\xE9}} z=text:\xC3\xA9");
}

// --- parser: structure -------------------------------------------------------------------------

TEST(ConfigTextParser, ContainersOpenOnTheirOwnLineOrTheNext) {
    EXPECT_EQ(Describe(Parse("a {\n x 1\n}\nb\r\n\r\n  {\n}")), "a{x=int:1} b{}");
    // A brace against the name belongs to the name.
    EXPECT_EQ(Describe(Parse("c{\nx 1\n")), "c{=empty x=int:1");
    EXPECT_EQ(Describe(Parse("mesh-table\n{\n  default\n  {\n    mesh \"a.im\"\n  }\n}\n")),
              "mesh-table{default{mesh=text:a.im}}");
    // A container given twice keeps the second, at the end.
    EXPECT_EQ(Describe(Parse("a {\nx 1\n}\nb 2\na {\ny 2\n}")), "b=int:2 a{y=int:2}");
}

TEST(ConfigTextParser, UnbalancedBracesEndBlocks) {
    bool ok = false;
    // Missing braces at the end close every open block.
    EXPECT_EQ(Describe(Parse("a {\nb {\nx 1", &ok)), "a{b{x=int:1}}");
    EXPECT_TRUE(ok);
    // A stray brace ends the outermost block: the rest is not read.
    EXPECT_EQ(Describe(Parse("x 1\n}\ny 2", &ok)), "x=int:1");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Describe(Parse("", &ok)), "<empty>");
    EXPECT_EQ(Describe(Parse(" \r\n\t}", &ok)), "<empty>");
}

// A text that ends inside containers reads as if they were closed there, and the parse says how
// many were left open and on which line the outermost one's "{" is.
TEST(ConfigTextParser, ContainersLeftOpenAtTheEndAreCountedWithTheLineOfTheirBrace) {
    struct Case {
        std::string text;
        std::string tree;
        size_t unclosed;
        size_t line;
    };
    const Case cases[] = {
        {"a {\n x 1\n}\n", "a{x=int:1}", 0, 0},
        {"a 1\r\nb\r\n{\r\n  x 1\r\n", "a=int:1 b{x=int:1}", 1, 3},
        {"a 1\nb {\nc {\nx 1", "a=int:1 b{c{x=int:1}}", 2, 2},
        {"a 1\rb\r{\r", "a=int:1 b{}", 1, 3},  // lone CRs end lines too
        {"a {\n}\nb {\n}\nc {\n d {\n }\n", "a{} b{} c{d{}}", 1, 5},
        {"x 1\n}\ny {\n", "x=int:1", 0, 0},  // a stray "}" ends the text first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        TBuffer stream(c.text.data(), static_cast<uint32_t>(c.text.size()));
        TDBTagRef tree;
        TagTextNotes notes;
        ASSERT_TRUE(ParseTagTreeText(tree, stream, false, &notes));
        EXPECT_EQ(Describe(tree), c.tree);
        EXPECT_EQ(notes.unclosed, c.unclosed);
        EXPECT_EQ(notes.unclosedLine, c.line);
    }
}

TEST(ConfigTextParser, TheStreamIsLeftWhereReadingStopped) {
    std::string text = "a 1\n}\nb 2";
    TBuffer stream(text.data(), static_cast<uint32_t>(text.size()));
    TDBTagRef tree = NewContainer();
    ASSERT_TRUE(ParseTagTreeText(tree, stream, false));
    EXPECT_EQ(stream.Tell(), 4u);

    TFile closed;
    EXPECT_FALSE(ParseTagTreeText(tree, closed, false));
    EXPECT_FALSE(tree);
}

TEST(ConfigTextParser, NamesAreCutTo511Bytes) {
    std::string name(600, 'n');
    EXPECT_EQ(Describe(Parse(name + " 1")), std::string(511, 'n') + "=int:1");
}

TEST(ConfigTextParser, HostileTextEndsWithATreeAndNoCrash) {
    bool ok = true;
    // Nesting beyond the limit stops the parse with a failure; what was read is kept.
    std::string nested;
    for (int i = 0; i < 100000; ++i)
        nested += "a {\n";
    TagTextNotes notes;
    TDBTagRef tree;
    ok = ParseTagTreeText(tree, nested, false, nullptr, &notes);
    EXPECT_FALSE(ok);
    // The line of the "{" one level too deep, for the message that says why.
    EXPECT_EQ(notes.tooDeepLine, kMaxTagTreeDepth);
    uint32_t depth = 0;
    for (TDBTagRef at = tree; at && at->GetChildCount() != 0;
         at = TDBContainerTag::GetContainer(at, N("a")))
        ++depth;
    EXPECT_EQ(depth, kMaxTagTreeDepth - 1);

    // Braces without names are one long name, not nesting.
    EXPECT_EQ(Parse(std::string(100000, '{'), &ok)->GetChildCount(), 1u);
    EXPECT_TRUE(ok);

    // A 1 MB line of text, of numbers, and of "}" runs.
    std::string line(1 << 20, 'x');
    EXPECT_EQ(TDBContainerTag::GetString(Parse("v " + line), N("v")).Length(), line.size());
    std::string numbers;
    while (numbers.size() < (1u << 20))
        numbers += "1.5,";
    std::vector<float> values;
    ASSERT_TRUE(TDBContainerTag::GetFloatArray(Parse("v " + numbers), N("v"), values));
    EXPECT_EQ(values.size(), numbers.size() / 4);
    std::string braces = "a {\n";
    for (int i = 0; i < 100000; ++i)
        braces += "x y}";
    EXPECT_EQ(Describe(Parse(braces)), "a{x=text:y} x=text:y");
}

// --- both ways ---------------------------------------------------------------------------------

TEST(ConfigTextRoundTrip, WhatIsWrittenReadsBackAndWritesTheSameBytes) {
    TDBTagRef root;
    TDBContainerTag::SetString(root, N("kind"), N("scenery"));
    TDBContainerTag::SetString(root, N("multi"), N("line one\r\nline two"));
    TDBContainerTag::SetFloat(root, N("whole"), 2.0f);
    TDBContainerTag::SetFloat(root, N("tiny"), 1e-5f);
    TDBContainerTag::SetFloat(root, N("huge"), 3e20f);
    TDBContainerTag::SetFloatArray(root, N("position"), {1e-5f, 0.0f, -2.5f});
    TDBContainerTag::SetInt(root, N("count"), 2147483647);
    TDBContainerTag::SetKUID(root, N("asset"), KUID(-3, 7, 127));
    TDBContainerTag::SetEmpty(root, N("flag"));
    TDBTagRef inner;
    TDBContainerTag::SetString(inner, N("name"), N("caf\xC3\xA9"));
    TDBContainerTag::SetContainer(root, N("inner"), inner);

    std::string first = Text(root);
    TDBTagRef back = Parse(first);
    EXPECT_EQ(Text(back), first);
    EXPECT_EQ(TDBContainerTag::GetFloat(back, N("whole"), 0.0f), 2.0f);  // read as an int
    EXPECT_EQ(TDBContainerTag::GetFloat(back, N("tiny"), 0.0f), 1e-5f);
    EXPECT_EQ(TDBContainerTag::GetFloat(back, N("huge"), 0.0f), 3e20f);
    std::vector<float> position;
    ASSERT_TRUE(TDBContainerTag::GetFloatArray(back, N("position"), position));
    EXPECT_EQ(position, (std::vector<float>{1e-5f, 0.0f, -2.5f}));
    EXPECT_EQ(TDBContainerTag::GetString(back, N("multi")).str(), "line one\r\nline two");
    EXPECT_EQ(TDBContainerTag::GetKUID(back, N("asset"), KUID()), KUID(-3, 7, 127));
    EXPECT_EQ(TDBContainerTag::GetTagType(back, N("flag")), kTagEmpty);
    EXPECT_FALSE(back->FindChild(N("flag")).IsNullChunk());
}

}  // namespace
