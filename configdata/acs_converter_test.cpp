#include "configdata/acs_converter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "configdata/acs_chunk.h"
#include "configdata/kuid.h"

namespace {

ACSRawDataRef Text(const std::string& text) {
    return MakeRawData(text.c_str(), static_cast<uint32_t>(text.size() + 1));
}

template <typename T>
ACSRawDataRef Values(const std::vector<T>& values) {
    return MakeRawData(values.data(), static_cast<uint32_t>(values.size() * sizeof(T)));
}

std::optional<int32_t> AsInt(const ACSRawDataRef& data) {
    if (data.GetSize() != 4) return std::nullopt;
    int32_t v;
    std::memcpy(&v, data.GetData(), 4);
    return v;
}

std::optional<float> AsFloat(const ACSRawDataRef& data) {
    if (data.GetSize() != 4) return std::nullopt;
    float v;
    std::memcpy(&v, data.GetData(), 4);
    return v;
}

std::optional<std::string> AsText(const ACSRawDataRef& data) {
    if (!data) return std::nullopt;
    return std::string(TextOfData(data.GetData(), data.GetSize()));
}

TEST(ValueConverters, NumericTestsKeepExponentsWithoutADotToTheFloatSide) {
    struct Case {
        const char* text;
        bool intSide;
        bool floatSide;
    };
    const Case cases[] = {
        {"12", true, true},          {"-12", true, true},        {"1.5", true, true},
        {"12  \t", true, true},      {"  ", true, true},         {"- ", true, true},
        {"", false, false},          {"-", false, false},        {" 12", false, false},
        {"+1", false, false},        {"1.5.2", false, false},    {"12abc", false, false},
        {"1.5e+3", true, true},      {"1.5e3", false, false},    {"1.5E+3", false, false},
        {"1.5e+", false, false},     {"1.5e+3.2", false, false}, {"1e+08", false, true},
        {"1e-05", false, true},      {"e+5", false, false},      {"-e+5", false, false},
        {"1.5e+3e+3", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IsIntNumericText(c.text), c.intSide) << '"' << c.text << '"';
        EXPECT_EQ(IsFloatNumericText(c.text), c.floatSide) << '"' << c.text << '"';
    }
}

TEST(ValueConverters, TextReadsAsOneNumberOnlyWhenItPassesTheTestAndFits) {
    struct Case {
        const char* text;
        std::optional<int32_t> asInt;
        std::optional<float> asFloat;
    };
    const Case cases[] = {
        {"12", 12, 12.0f},
        {"12abc", std::nullopt, std::nullopt},
        {"1.9", 1, 1.9f},
        {"-7  ", -7, -7.0f},
        {"1.5e+3", 1, 1500.0f},
        {"1e+08", std::nullopt, 1e8f},  // an int never reads the mantissa of an exponent
        {"1e-05", std::nullopt, 1e-5f},
        {"-", std::nullopt, std::nullopt},
        {"- ", 0, 0.0f},  // passes the test, holds no number
        {".", 0, 0.0f},
        {"2147483647", 2147483647, 2147483648.0f},
        {"2147483648", std::nullopt, 2147483648.0f},
        {"99999999999999999999", std::nullopt, 1e20f},
        {"1.0e+39", 1, std::nullopt},  // too large for a float
        {"1.0e-50", 1, 0.0f},          // too small: zero, as the C library rounds it
    };
    for (const Case& c : cases) {
        EXPECT_EQ(AsInt(ConvertRawData(kTagText, Text(c.text), kTagInt)), c.asInt) << c.text;
        EXPECT_EQ(AsFloat(ConvertRawData(kTagText, Text(c.text), kTagFloat)), c.asFloat) << c.text;
    }
}

TEST(ValueConverters, TextToKUIDParsesLooselyAndGivesTheNullKUIDForAnythingElse) {
    struct Case {
        const char* text;
        KUID kuid;
    };
    const Case cases[] = {
        {"<kuid2:1:2:3>", KUID(1, 2, 3)}, {"<KUID:12:34>", KUID(12, 34, 0)},
        {"1234", KUID(-1, 1234, 127)},    {"12:34", KUID(12, 34, 0)},
        {"scenery", KUID::kNull},
    };
    for (const Case& c : cases) {
        ACSRawDataRef out = ConvertRawData(kTagText, Text(c.text), kTagKUID);
        ASSERT_EQ(out.GetSize(), 8u) << c.text;
        EXPECT_EQ(KUID::UnpackWords(out.GetData()), c.kuid) << c.text;
    }
}

TEST(ValueConverters, NumbersAndKUIDsReadAsTheTextTheWriterWrites) {
    uint8_t kuid[8];
    KUID::PackWords(KUID(12, 34, 0), kuid);
    uint8_t longKuid[8];
    KUID::PackWords(KUID(-3, 7, 0), longKuid);
    struct Case {
        uint32_t type;
        ACSRawDataRef data;
        std::optional<std::string> text;
    };
    const Case cases[] = {
        {kTagInt, Values<int32_t>({1, -2}), "1,-2"},
        {kTagInt, ACSRawDataRef(), ""},
        {kTagFloat, Values<float>({0.5f}), "0.5"},
        {kTagFloat, Values<float>({2.0f, 1e-5f, 123456789.0f}), "2,1e-05,1.23457e+08"},
        {kTagFloat, ACSRawDataRef(), std::nullopt},
        {kTagKUID, MakeRawData(kuid, 8), "<kuid:12:34>"},
        {kTagKUID, MakeRawData(longKuid, 8), "<kuid2:-3:7:0>"},
        {kTagKUID, MakeRawData(kuid, 7), std::nullopt},
        {kTagRaw, Text("bytes"), std::nullopt},
        {kTagTextLike, Text("like"), std::nullopt},
        {kTagEmpty, Text("x"), std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AsText(ConvertRawData(c.type, c.data, kTagText)), c.text) << c.type;
}

TEST(ValueConverters, IntsReadAsFloatsButNeverTheReverse) {
    ACSRawDataRef floats = ConvertRawData(kTagInt, Values<int32_t>({3, -40000000}), kTagFloat);
    ASSERT_EQ(floats.GetSize(), 8u);
    float v[2];
    std::memcpy(v, floats.GetData(), 8);
    EXPECT_EQ(v[0], 3.0f);
    EXPECT_EQ(v[1], -40000000.0f);

    EXPECT_FALSE(ConvertRawData(kTagFloat, Values<float>({3.0f}), kTagInt));
    EXPECT_FALSE(ConvertRawData(kTagInt, Values<int32_t>({3}), kTagKUID));
    EXPECT_FALSE(ConvertRawData(kTagText, Text("3"), kTagRaw));
}

TEST(ValueConverters, TheSameTypeSharesTheBytes) {
    ACSRawDataRef data = Values<int32_t>({1, 2});
    EXPECT_EQ(ConvertRawData(kTagInt, data, kTagInt).Get(), data.Get());
    EXPECT_EQ(ConvertRawData(kTagEmpty, ACSRawDataRef(), kTagEmpty).Get(), nullptr);
}

}  // namespace
