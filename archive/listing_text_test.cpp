#include "archive/listing_text.h"

#include <gtest/gtest.h>

namespace {

TEST(EscapeListingText, LineBreaksBecomeOneEscapeAndBackslashesDouble) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"plain text", "plain text"},
        {"a\nb", "a\\nb"},
        {"a\rb", "a\\nb"},
        {"a\r\nb", "a\\nb"},  // one line break, not two
        {"a\n\rb", "a\\nb"},
        {"a\n\nb", "a\\n\\nb"},  // two of the same are two breaks
        {"a\r\rb", "a\\n\\nb"},
        {"a\r\n\rb", "a\\n\\nb"},
        {"\n", "\\n"},
        {"c:\\path", "c:\\\\path"},
        {"\\n", "\\\\n"},  // a typed backslash-n stays told apart from a break
        {"it's \"quoted\"", "it's \"quoted\""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EscapeListingText(c.in).str(), c.out) << c.in;
    EXPECT_EQ(EscapeListingText(static_cast<const char*>(nullptr)).str(), "");
    // Bytes after a NUL of a counted text are kept.
    EXPECT_EQ(EscapeListingText(std::string_view("a\0b", 3)).str(), std::string("a\0b", 3));
}

TEST(EscapeSQLText, BackslashQuoteAndDoubleQuoteGetOneBackslash) {
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {"", ""},
        {"Station", "Station"},
        {"Fred's shed", "Fred\\'s shed"},
        {"say \"hi\"", "say \\\"hi\\\""},
        {"a\\b", "a\\\\b"},
        {"\\'", "\\\\\\'"},
        {"'); DROP TABLE Asset; --", "\\'); DROP TABLE Asset; --"},
        {"line\nbreak", "line\nbreak"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EscapeSQLText(c.in).str(), c.out) << c.in;
    std::string out = "x=";
    AppendEscapedSQLText(out, "it's");
    EXPECT_EQ(out, "x=it\\'s");
}

TEST(JoinKUIDTexts, EachKUIDInItsTextFormJoinedByCommaBlank) {
    KUIDBlockList list;
    EXPECT_EQ(JoinKUIDTexts(list).str(), "");
    list.Append(KUID(424242, 100));
    EXPECT_EQ(JoinKUIDTexts(list).str(), "<kuid:424242:100>");
    list.Append(KUID(424242, 101, 3));
    list.Append(KUID(-3, 7, 0));
    list.Append(KUID::kNull);
    EXPECT_EQ(JoinKUIDTexts(list).str(),
              "<kuid:424242:100>, <kuid2:424242:101:3>, <kuid2:-3:7:0>, <NULL>");
}

}  // namespace
