#include "configdata/property_text.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

TEST(TextBinding, FourCharacterCode) {
    struct Case {
        const char* text;
        uint32_t code;
    };
    const Case cases[] = {
        {"abcd", 0x61626364},   {"ab", 0x61622020},       // padded with blanks
        {"abcdef", 0x61626364},                           // cut to four
        {"", 0x20202020},       {"\xE9xyz", 0xE978797A},  // bytes above 127 keep their value
    };
    for (const Case& c : cases) {
        uint32_t field = 0;
        FourCCTextBinding binding(&field);
        binding.SetFromText(c.text);
        EXPECT_EQ(field, c.code) << c.text;
    }

    uint32_t field = 0x4D455348;
    FourCCTextBinding binding(&field);
    EXPECT_EQ(binding.ToText(), "MESH");
    binding.SetFromText(nullptr);  // an absent text changes nothing
    EXPECT_EQ(field, 0x4D455348u);
    field = 0x41420000;  // a zero byte ends the text
    EXPECT_EQ(binding.ToText(), "AB");
}

TEST(TextBinding, Integer) {
    struct Case {
        const char* text;
        int32_t value;
    };
    const Case cases[] = {
        {"42", 42},
        {"-17", -17},
        {"  +8x", 8},
        {"abc", 0},
        {"99999999999", INT32_MAX},
        {"-99999999999", INT32_MIN},
        {nullptr, 0},
    };
    for (const Case& c : cases) {
        int32_t field = 5;
        IntTextBinding binding(&field);
        binding.SetFromText(c.text);
        EXPECT_EQ(field, c.value) << (c.text ? c.text : "(absent)");
    }
    int32_t field = -2147483647 - 1;
    EXPECT_EQ(IntTextBinding(&field).ToText(), "-2147483648");
}

TEST(TextBinding, Float) {
    float field = 9.0f;
    FloatTextBinding binding(&field);
    binding.SetFromText("2.5");
    EXPECT_EQ(field, 2.5f);
    EXPECT_EQ(binding.ToText(), "2.5");
    binding.SetFromText("1e-7");
    EXPECT_EQ(binding.ToText(), "1e-07");
    binding.SetFromText("junk");
    EXPECT_EQ(field, 0.0f);
    field = 3.0f;
    binding.SetFromText(nullptr);
    EXPECT_EQ(field, 0.0f);
    field = 0.1f;  // shown from the float widened to double, not from the decimal text
    EXPECT_EQ(binding.ToText(), "0.1");
}

TEST(TextBinding, BoolAndFlagShareTheTrueWords) {
    struct Case {
        const char* text;
        bool value;
    };
    const Case cases[] = {
        {"true", true}, {"TRUE", true},   {"T", true},      {"t", true},
        {"1", true},    {"yes", false},   {"false", false}, {"0", false},
        {"", false},    {"true ", false}, {"11", false},    {nullptr, false},
    };
    for (const Case& c : cases) {
        const char* shown = c.text ? c.text : "(absent)";
        uint8_t flag = 7;
        BoolTextBinding boolBinding(&flag);
        boolBinding.SetFromText(c.text);
        EXPECT_EQ(flag, c.value ? 1 : 0) << shown;
        EXPECT_EQ(boolBinding.ToText(), c.value ? "true" : "false") << shown;

        uint32_t word = 0x0F00;
        FlagTextBinding flagBinding(&word, 0x0081);
        flagBinding.SetFromText(c.text);
        EXPECT_EQ(word, c.value ? 0x0F81u : 0x0F00u) << shown;
        word = 0xFFFF;
        flagBinding.SetFromText(c.text);
        EXPECT_EQ(word, c.value ? 0xFFFFu : 0xFF7Eu) << shown;
        EXPECT_EQ(flagBinding.ToText(), "");
    }
}

// Keeps its values in a map and answers by name.
class MapTarget : public NamedTextTarget {
public:
    void ExchangeNamedEntry(NamedTextEntry& entry) override {
        if (entry.store) {
            values[entry.name.str()] = entry.value.str();
            return;
        }
        auto it = values.find(entry.name.str());
        if (it != values.end()) entry.value = Kiv::String(it->second);
    }
    std::map<std::string, std::string> values;
};

TEST(TextBinding, NamedEntryOfAnotherObject) {
    MapTarget target;
    NamedEntryTextBinding colour(Kiv::PString("colour"), &target);
    NamedEntryTextBinding other(Kiv::PString("other"), &target);

    EXPECT_EQ(colour.ToText(), "");  // nothing stored yet
    colour.SetFromText("red");
    EXPECT_EQ(target.values["colour"], "red");
    EXPECT_EQ(colour.ToText(), "red");
    EXPECT_EQ(other.ToText(), "");

    // Setting the empty text stores it: it is not mistaken for a question.
    colour.SetFromText("");
    EXPECT_EQ(target.values.at("colour"), "");
    colour.SetFromText("blue");
    colour.SetFromText(nullptr);
    EXPECT_EQ(target.values.at("colour"), "");
}

}  // namespace
