#include "cli/batch_line.h"

#include <gtest/gtest.h>

namespace {

using Args = std::vector<std::string>;

TEST(BatchLine, SplitsAtBlanksAndTakesQuotedTextWhole) {
    struct Case {
        std::string line;
        Args args;
    };
    const Case cases[] = {
        // The unquoted command word counts, and a quoted path keeps its blanks.
        {R"(installcdp "C:\My Files\a b.cdp")", {"installcdp", R"(C:\My Files\a b.cdp)"}},
        {R"(echo "a")", {"echo", "a"}},
        {R"("echo" "a" "b")", {"echo", "a", "b"}},
        {"status <kuid:1:2>", {"status", "<kuid:1:2>"}},
        // Two blanks pass an empty argument between them; a trailing blank passes one too.
        {"echo  a", {"echo", "", "a"}},
        {"echo a ", {"echo", "a", ""}},
        {"  echo", {"", "echo"}},
        {R"(echo "")", {"echo", ""}},
        // A quote that is never closed yields nothing for its text.
        {R"(echo "never closed)", {"echo"}},
        {R"("never closed)", {}},
        // A quote inside an unquoted word drops what came before it.
        {R"(ab"cd ef" gh)", {"cd ef", "gh"}},
        // A quote right after a blank starts the argument; quoted blanks at either end stay;
        // a word glued to a closing quote is lost.
        {R"(echo " padded ")", {"echo", " padded "}},
        {R"(echo "a"b)", {"echo", "a"}},
        // The line ends at its first carriage return or line feed after the first character.
        {"echo a\r", {"echo", "a"}},
        {"echo a\rrest", {"echo", "a"}},
        {"echo a\nrest", {"echo", "a"}},
        {std::string("echo a\0rest", 11), {"echo", "a"}},
        {"\recho", {"\recho"}},
        {"", {""}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TokenizeBatchLine(c.line), c.args) << c.line;
}

TEST(BatchLine, BlankLinesAreThoseWithoutAnyOtherCharacter) {
    for (const char* line : {"", " ", "    ", "\r", " \r", "\n"})
        EXPECT_TRUE(IsBlankBatchLine(line)) << '[' << line << ']';
    for (const char* line : {"a", " a ", "\"\"", "\t", "\ra"})
        EXPECT_FALSE(IsBlankBatchLine(line)) << '[' << line << ']';
}

TEST(BatchLine, AFullLineOfBlanksStaysWithinTheArgumentTable) {
    // The worst case for the argument count: every blank passes an empty argument.
    std::string line(kBatchLineMaxLength, ' ');
    Args args = TokenizeBatchLine(line);
    EXPECT_EQ(args.size(), kBatchLineMaxLength);
    // Together with the program's own name the table of 512 entries is just full.
    EXPECT_LE(args.size() + 1, kBatchLineBufferSize);
}

}  // namespace
