#include "script/compiler/gs_scanner.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "script/compiler/gs_tokens.h"
#include "script/compiler/literals.h"

namespace {

using namespace GSCompiler::Token;

struct Tok {
    int code;
    std::string text;
    int line;
    bool operator==(const Tok&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Tok& t) {
    return os << "{" << t.code << ", \"" << t.text << "\", " << t.line << "}";
}

std::vector<Tok> Scan(const std::string& text) {
    GSCompiler::GSScanner scanner(text.data(), text.size());
    std::vector<Tok> out;
    for (int code; (code = scanner.yylex()) != 0;)
        out.push_back({code, std::string(scanner.Text(), scanner.TextLength()), scanner.Line()});
    return out;
}

TEST(Scanner, EveryKeywordIsItsTokenAndOnlyInLowerCase) {
    const char* const keywords[] = {
        "break",  "case",    "continue", "default", "else",   "for",    "goto",  "if",
        "null",   "return",  "switch",   "while",   "and",    "or",     "true",  "false",
        "void",   "bool",    "int",      "float",   "string", "object", "class", "include",
        "define", "static",  "public",   "native",  "final",  "thread", "game",  "secured",
        "size",   "isclass", "copy",     "me",      "new",    "cast",   "wait",  "on"};
    int code = kBreak;
    for (const char* k : keywords) {
        EXPECT_EQ(Scan(k), (std::vector<Tok>{{code, k, 1}})) << k;
        std::string capital = k;
        capital[0] = static_cast<char>(capital[0] - 'a' + 'A');
        EXPECT_EQ(Scan(capital), (std::vector<Tok>{{kIdentifier, capital, 1}})) << capital;
        EXPECT_EQ(Scan(std::string(k) + "_x"),
                  (std::vector<Tok>{{kIdentifier, std::string(k) + "_x", 1}}));
        ++code;
    }
    EXPECT_EQ(code, kOn + 1);
}

TEST(Scanner, RulesAndTheirEdges) {
    struct Case {
        std::string text;
        std::vector<Tok> tokens;
    };
    const Case cases[] = {
        {"_a1 Z9", {{kIdentifier, "_a1", 1}, {kIdentifier, "Z9", 1}}},
        {"0x1F 0XaB", {{kHexConstant, "0x1F", 1}, {kHexConstant, "0XaB", 1}}},
        // A zero, an x and no hexadecimal digit: the decimal 0, then the identifier.
        {"0xg", {{kDecimalConstant, "0", 1}, {kIdentifier, "xg", 1}}},
        {"007 42", {{kDecimalConstant, "007", 1}, {kDecimalConstant, "42", 1}}},
        {"1.5 .5 2. 3.f 4.25f",
         {{kFloatConstant, "1.5", 1},
          {kFloatConstant, ".5", 1},
          {kFloatConstant, "2.", 1},
          {kFloatConstant, "3.f", 1},
          {kFloatConstant, "4.25f", 1}}},
        {"1..2", {{kFloatConstant, "1.", 1}, {kFloatConstant, ".2", 1}}},
        // No exponent, and an upper-case F is no suffix.
        {"1.5F 1e5",
         {{kFloatConstant, "1.5", 1},
          {kIdentifier, "F", 1},
          {kDecimalConstant, "1", 1},
          {kIdentifier, "e5", 1}}},
        {"'a' 'ab' '\\'' L'x'",
         {{kCharConstant, "'a'", 1},
          {kCharConstant, "'ab'", 1},
          {kCharConstant, "'\\''", 1},
          {kCharConstant, "L'x'", 1}}},
        // '' is no character constant: two bad characters.
        {"''", {{kBadCharacter, "'", 1}, {kBadCharacter, "'", 1}}},
        {"\"\" \"a\\\"b\" L\"w\"",
         {{kStringConstant, "\"\"", 1},
          {kStringConstant, "\"a\\\"b\"", 1},
          {kStringConstant, "L\"w\"", 1}}},
        // A string may span lines; the line counts every newline in it.
        {"\"a\nb\nc\" x", {{kStringConstant, "\"a\nb\nc\"", 3}, {kIdentifier, "x", 3}}},
        // A backslash right before a newline stops a string from matching.
        {"\"a\\\nb\"",
         {{kBadCharacter, "\"", 1},
          {kIdentifier, "a", 1},
          {kBadCharacter, "\\", 1},
          {kIdentifier, "b", 2},
          {kBadCharacter, "\"", 2}}},
        {"[] [ \t\n ] [x]",
         {{kArrayBrackets, "[]", 1},
          {kArrayBrackets, "[ \t\n ]", 2},
          {'[', "[", 2},
          {kIdentifier, "x", 2},
          {']', "]", 2}}},
        {">> << ++ -- <= >= == !=",
         {{kShiftRight, ">>", 1},
          {kShiftLeft, "<<", 1},
          {kIncrement, "++", 1},
          {kDecrement, "--", 1},
          {kLessEqual, "<=", 1},
          {kGreaterEqual, ">=", 1},
          {kEqual, "==", 1},
          {kNotEqual, "!=", 1}}},
        // No doubled & or |: two tokens each; no compound assignment, arrow or conditional.
        {"&&||", {{'&', "&", 1}, {'&', "&", 1}, {'|', "|", 1}, {'|', "|", 1}}},
        {"+= -> ?",
         {{'+', "+", 1}, {'=', "=", 1}, {'-', "-", 1}, {'>', ">", 1}, {kBadCharacter, "?", 1}}},
        {";:{},=()[.]&!~-+*/%<>^|",
         {{';', ";", 1}, {':', ":", 1}, {'{', "{", 1}, {'}', "}", 1}, {',', ",", 1}, {'=', "=", 1},
          {'(', "(", 1}, {')', ")", 1}, {'[', "[", 1}, {'.', ".", 1}, {']', "]", 1}, {'&', "&", 1},
          {'!', "!", 1}, {'~', "~", 1}, {'-', "-", 1}, {'+', "+", 1}, {'*', "*", 1}, {'/', "/", 1},
          {'%', "%", 1}, {'<', "<", 1}, {'>', ">", 1}, {'^', "^", 1}, {'|', "|", 1}}},
        {"# $ ` @",
         {{kBadCharacter, "#", 1},
          {kBadCharacter, "$", 1},
          {kBadCharacter, "`", 1},
          {kBadCharacter, "@", 1}}},
        {std::string("a\0b", 3),
         {{kIdentifier, "a", 1}, {kBadCharacter, std::string(1, '\0'), 1}, {kIdentifier, "b", 1}}},
        {"\x80\xff", {{kBadCharacter, "\x80", 1}, {kBadCharacter, "\xff", 1}}},
        // Comments: skipped, lines counted, no nesting; an open one ends the source.
        {"a /* x\n y\n */ b", {{kIdentifier, "a", 1}, {kIdentifier, "b", 3}}},
        {"/* /* */ c */", {{kIdentifier, "c", 1}, {'*', "*", 1}, {'/', "/", 1}}},
        {"a // rest */ \n b", {{kIdentifier, "a", 1}, {kIdentifier, "b", 2}}},
        {"x // no final newline", {{kIdentifier, "x", 1}}},
        {"y /* never closed\n\n", {{kIdentifier, "y", 1}}},
        {"\r\n\v\f\tz", {{kIdentifier, "z", 2}}},
        {"", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Scan(c.text), c.tokens) << c.text;
}

TEST(Scanner, LongTokensAndInputsScanWhole) {
    // A string literal longer than the scanner's 16 KiB buffer, then a token after it.
    std::string big = "\"" + std::string(100000, 'q') + "\" after";
    std::vector<Tok> tokens = Scan(big);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].text.size(), 100002u);
    EXPECT_EQ(tokens[1], (Tok{kIdentifier, "after", 1}));

    std::string lines;
    for (int i = 0; i < 5000; ++i)
        lines += "id" + std::to_string(i) + "\n";
    tokens = Scan(lines);
    ASSERT_EQ(tokens.size(), 5000u);
    EXPECT_EQ(tokens.back(), (Tok{kIdentifier, "id4999", 5000}));
}

TEST(Literals, StringAndCharacterTextsDecode) {
    using GSCompiler::DecodeStringLiteral;
    struct Case {
        std::string token;
        std::string decoded;
    };
    const Case cases[] = {
        {"\"plain\"", "plain"},
        {"L\"wide\"", "wide"},
        {"\"\\\\ \\n \\t \\v \\r \\f \\b \\a \\' \\\" \\q\"", "\\ \n \t \v \r \f \b \a ' \" q"},
        {"\"cut\\0here\"", "cut"},
        {"'x'", "x"},
        {"noquote", ""},
        {"\"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeStringLiteral(c.token, true), c.decoded) << c.token;
    EXPECT_EQ(DecodeStringLiteral("\"a\\nb\"", false), "a\\nb");
    // Kept whole, however long.
    std::string long_ = std::string(5000, 'z');
    EXPECT_EQ(DecodeStringLiteral("\"" + long_ + "\"", true), long_);
}

TEST(Literals, NumbersFollowTheThirtyTwoBitLibraryConversions) {
    using namespace GSCompiler;
    EXPECT_EQ(HexConstantValue("0x1F"), 31);
    EXPECT_EQ(HexConstantValue("0x7FFFFFFF"), 0x7FFFFFFF);
    EXPECT_EQ(HexConstantValue("0x80000000"), 0x7FFFFFFF);  // strtol saturates
    EXPECT_EQ(HexConstantValue("0xFFFFFFFFFFFF"), 0x7FFFFFFF);
    EXPECT_EQ(DecimalConstantValue("007"), 7);
    EXPECT_EQ(DecimalConstantValue("2147483647"), 2147483647);
    EXPECT_EQ(DecimalConstantValue("2147483648"), 2147483647);
    EXPECT_EQ(DecimalConstantValue("99999999999999999999"), 2147483647);
    EXPECT_EQ(FloatConstantValue("1.5f"), 1.5f);
    EXPECT_EQ(FloatConstantValue(".25"), 0.25f);
    EXPECT_EQ(FloatConstantValue("2."), 2.0f);
    EXPECT_EQ(FloatConstantValue("0.1"), 0.1f);
    EXPECT_TRUE(std::isinf(FloatConstantValue(std::string(60, '9') + ".0")));
    EXPECT_EQ(FloatConstantValue("0." + std::string(400, '0') + "1"), 0.0f);
    EXPECT_EQ(CharConstantValue("'a'"), 'a');
    EXPECT_EQ(CharConstantValue("'ab'"), 'a');
    EXPECT_EQ(CharConstantValue("'\\n'"), '\n');
    EXPECT_EQ(CharConstantValue("'\\0'"), 0);
    EXPECT_EQ(CharConstantValue("'\xe9'"), -23);  // a signed 8-bit value
}

}  // namespace
