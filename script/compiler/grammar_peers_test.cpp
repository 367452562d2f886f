// The compiler's benchmark peers stay honest: the bare grammar accepts exactly what the
// compiler's parser accepts, and the generated programs compile without a message.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "script/compiler/compiler_test_support.h"
#include "script/compiler/testing/bare_grammar.h"
#include "script/compiler/testing/program_generator.h"

namespace {

using namespace GSCompiler;

int RealParse(const std::string& text) {
    test::Unit u;
    return u.Parse(text);
}

TEST(GrammarPeers, TheBareGrammarAcceptsWhatTheParserAccepts) {
    // The front end's fuzz corpus: valid programs, faulty ones and broken ones.
    const std::filesystem::path corpus = std::string(HALVEX_SOURCE_DIR) + "/fuzz/corpus/gs_front";
    size_t files = 0;
    size_t accepted = 0;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        std::ifstream in(entry.path(), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Each part of a split seed is a module of its own.
        size_t split = text.find(std::string("\0\n", 2));
        for (const std::string& part :
             {split == std::string::npos ? text : text.substr(0, split),
              split == std::string::npos ? std::string() : text.substr(split + 2)}) {
            int real = RealParse(part);
            EXPECT_EQ(BareParse(part.data(), part.size()), real) << entry.path();
            accepted += real == ParseResult::kOk ? 1 : 0;
        }
        ++files;
    }
    EXPECT_GT(files, 50u);
    EXPECT_GT(accepted, 40u);
    // The stack limit is the same.
    std::string deep = "class A { int f() { return " + std::string(10000, '(') + "1" +
                       std::string(10000, ')') + "; } };";
    EXPECT_EQ(BareParse(deep.data(), deep.size()), ParseResult::kStackOverflow);
    EXPECT_EQ(RealParse(deep), ParseResult::kStackOverflow);
}

TEST(GrammarPeers, GeneratedProgramsCompileWithoutAMessage) {
    GeneratedProgram p = GenerateProgram(3000, 4);
    EXPECT_GE(p.lines, 2700u);
    EXPECT_LE(p.lines, 3300u);
    test::Unit u("gen.gs");
    EXPECT_TRUE(u.Check(p.gs)) << u.Messages();
    EXPECT_EQ(u.Messages(), "");
    EXPECT_EQ(BareParse(p.gs.data(), p.gs.size()), ParseResult::kOk);
    EXPECT_NE(p.lua.find("function Gen0.Step3(self, a, b)"), std::string::npos);
}

}  // namespace
