#include "foundation/codepage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// A buffer of the given size holding the text and its NUL (the rest filled with 'x').
std::vector<char> Buffer(const std::string& text, size_t size) {
    std::vector<char> b(size, 'x');
    std::memcpy(b.data(), text.c_str(), text.size() + 1);
    return b;
}

struct ConvertCase {
    const char* what;
    std::string in;
    uint32_t from;
    uint32_t to;
    int result;
    std::string out;
};

class ConvertTable : public ::testing::TestWithParam<ConvertCase> {};

TEST_P(ConvertTable, ConvertsInPlace) {
    const ConvertCase& c = GetParam();
    auto b = Buffer(c.in, 32);
    EXPECT_EQ(ConvertTextCodePage(b.data(), 32, c.from, c.to), c.result);
    EXPECT_EQ(std::string(b.data()), c.out);
}

INSTANTIATE_TEST_SUITE_P(
    CodePage, ConvertTable,
    ::testing::Values(
        ConvertCase{"accented letter to UTF-8", "caf\xE9", 0, 65001, 0, "caf\xC3\xA9"},
        ConvertCase{"euro sign to UTF-8", "\x80", 0, 65001, 0, "\xE2\x82\xAC"},
        ConvertCase{"undefined byte as its C1 control", "a\x81z", 0, 65001, 0, "a\xC2\x81z"},
        ConvertCase{"plain ASCII unchanged", "kind", 0, 65001, 0, "kind"},
        ConvertCase{"empty text", "", 0, 65001, 0, ""},
        ConvertCase{"UTF-8 back to the local page", "caf\xC3\xA9 \xE2\x82\xAC", 65001, 0, 0,
                    "caf\xE9 \x80"},
        ConvertCase{"character the target lacks", "\xC5\x81x\xC3\xA9", 65001, 1252, 0, "?x\xE9"},
        ConvertCase{"UTF-8 cut short", "ab\xC3", 65001, 0, -1, "ab?"},
        ConvertCase{"byte never valid in UTF-8", "\xFF\xC3\xA9", 65001, 0, -1, "???"},
        ConvertCase{"unknown code page", "a\xE9", 99999, 65001, -1, "a?"},
        ConvertCase{"another Windows page", "\xB3", 1250, 65001, 0, "\xC5\x82"}),
    [](const auto& info) {
        std::string n = info.param.what;
        for (char& ch : n)
            if (!isalnum(static_cast<unsigned char>(ch))) ch = '_';
        return n;
    });

TEST(CodePage, TooSmallBufferGivesTheSizeNeededAndLeavesTheText) {
    // "\xE9\xE9" needs four bytes of UTF-8 and a NUL.
    auto b = Buffer("\xE9\xE9", 4);
    EXPECT_EQ(ConvertToUtf8(b.data(), 4), 5);
    EXPECT_EQ(std::string(b.data(), 3), std::string("\xE9\xE9\0", 3));
    EXPECT_EQ(b[3], 'x');

    auto fits = Buffer("\xE9\xE9", 5);
    EXPECT_EQ(ConvertToUtf8(fits.data(), 5), 0);
    EXPECT_EQ(std::string(fits.data()), "\xC3\xA9\xC3\xA9");
}

TEST(CodePage, TextWithoutNulInsideTheBufferIsEmptied) {
    char b[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(ConvertToUtf8(b, 4), -1);
    EXPECT_EQ(b[0], '\0');
    EXPECT_EQ(ConvertToUtf8(nullptr, 4), -1);
}

TEST(CodePage, EveryLocalByteSurvivesARoundTrip) {
    for (int byte = 1; byte < 256; ++byte) {
        char b[8] = {static_cast<char>(byte), '\0'};
        ASSERT_EQ(ConvertToUtf8(b, sizeof b), 0) << byte;
        ASSERT_EQ(ConvertFromUtf8(b, sizeof b, kCodePageLocal), 0) << byte;
        EXPECT_EQ(static_cast<uint8_t>(b[0]), byte);
        EXPECT_EQ(b[1], '\0');
    }
}

struct DecodeCase {
    std::string text;
    uint32_t value;
    uint32_t length;
};

TEST(CodePage, DecodeUtf8Char) {
    const DecodeCase cases[] = {
        {"A", 0x41, 1},
        {"\xC3\xA9", 0xE9, 2},
        {"\xE2\x82\xAC", 0x20AC, 3},
        {"\xF0\x9F\x98\x80", 0x1F600, 4},
        {"\x80", 0x80, 1},      // stray continuation byte
        {"\xFF", 0xFF, 1},      // no sequence starts with it
        {"\xE2\x82", 0xE2, 1},  // cut short by the NUL
        {"\xC3"
         "A",
         0xC3, 1},   // the next byte is no continuation
        {"", 0, 1},  // the NUL itself
    };
    for (const DecodeCase& c : cases) {
        uint32_t length = 99;
        EXPECT_EQ(DecodeUtf8Char(c.text.c_str(), &length), c.value) << c.text;
        EXPECT_EQ(length, c.length) << c.text;
    }
    EXPECT_EQ(DecodeUtf8Char("\xC3\xA9"), 0xE9u);  // the length is optional
}

TEST(CodePage, DecodeUtf8CharStopsAtTheEndOfAView) {
    // Exactly the lead byte of a two-byte sequence, in a block of its own size.
    auto block = std::make_unique<char[]>(1);
    block[0] = '\xC3';
    uint32_t length = 0;
    EXPECT_EQ(DecodeUtf8Char(std::string_view(block.get(), 1), &length), 0xC3u);
    EXPECT_EQ(length, 1u);
    EXPECT_EQ(DecodeUtf8Char(std::string_view(), &length), 0u);
    EXPECT_EQ(length, 0u);
}

}  // namespace
