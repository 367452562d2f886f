#include "validation/finding_text.h"

#include <gtest/gtest.h>

namespace {

TEST(FindingText, ConversionsTakeOnlyArgumentsOfTheirKind) {
    struct Case {
        const char* format;
        std::initializer_list<FindingArg> args;
        const char* want;
    };
    const Case cases[] = {
        {"'%s' in '%s'", {"tag", "box"}, "'tag' in 'box'"},
        {"%s needs %d values but has %d", {"t", 3, 2}, "t needs 3 values but has 2"},
        {"no conversions", {"unused"}, "no conversions"},
        {"100%% sure %s", {"x"}, "100% sure x"},
        // Missing arguments, or arguments of another kind, leave the conversion as written.
        {"'%s' and '%s'", {"one"}, "'one' and '%s'"},
        {"%d of %s", {"text"}, "%d of text"},
        {"%f and %p and %n", {"a", 1}, "%f and %p and %n"},
        {"%*s", {5, "x"}, "%*s"},
        {"%ls wide", {"x"}, "x wide"},
        {"[%5s|%-3d]", {"ab", 7}, "[   ab|7  ]"},
        // A width of more digits than any text needs would pad for megabytes.
        {"%99999999s", {"x"}, "%99999999s"},
        {"cut %", {"x"}, "cut %"},
        {"cut %-", {"x"}, "cut %-"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatFinding(c.format, c.args).str(), c.want) << c.format;
}

}  // namespace
