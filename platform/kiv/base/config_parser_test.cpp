#include "platform/kiv/base/config_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Kiv::ConfigData;
using Kiv::ConfigParser;

TEST(ConfigParser, ReadsEntriesGroupsQuotesAndTheVersion) {
    ConfigParser p;
    ASSERT_EQ(
        p.ParseText("\xEF\xBB\xBF; a comment\nversion 1.00\nmesh {\n  0 { name \"a b.im\" }\n"
                    "  collision { name c.im # trailing\n animated TRUE }\n"
                    "  \"\" { name \"q\\\"uote\\\\\" }\n}\nMultiplier 2.5\nlist \"1 2 0x10\"\n"),
        ConfigParser::kOk);
    EXPECT_FLOAT_EQ(p.GetVersion(), 1.0f);
    const ConfigData& root = p.GetData();
    const ConfigData* mesh = root.Find("MESH");
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->GetNumChildren(), 3u);
    EXPECT_EQ(mesh->GetChildren()[0].GetKey(), "0");
    EXPECT_EQ(mesh->GetChildren()[0].GetString("name"), "a b.im");
    EXPECT_TRUE(mesh->GetChildren()[1].GetBool("animated", false));
    EXPECT_EQ(mesh->GetChildren()[2].GetKey(), "");
    EXPECT_EQ(mesh->GetChildren()[2].GetString("name"), "q\"uote\\");
    EXPECT_FLOAT_EQ(root.GetFloat("multiplier", 1), 2.5f);
    EXPECT_FLOAT_EQ(root.GetFloat("offset", 7), 7.0f);
    std::vector<uint32_t> list;
    EXPECT_TRUE(root.GetUInts("list", &list));
    EXPECT_EQ(list, (std::vector<uint32_t>{1, 2, 16}));
    EXPECT_EQ(root.GetInt("list", -3), -3);  // not one number
}

TEST(ConfigParser, BadTextEndsInItsResult) {
    struct Case {
        std::string text;
        ConfigParser::Result expected;
    };
    std::vector<Case> cases = {
        {"", ConfigParser::kOk},
        {"version 1.5\nkey v", ConfigParser::kOk},
        {"version one", ConfigParser::kVersionError},
        {"version 2.0", ConfigParser::kVersionError},
        {"key", ConfigParser::kFormatError},
        {"key {", ConfigParser::kFormatError},
        {"}", ConfigParser::kFormatError},
        {"key \"open", ConfigParser::kFormatError},
        {"{ }", ConfigParser::kFormatError},
        {"key }", ConfigParser::kFormatError},
        {std::string(300, 'k') + " v", ConfigParser::kFormatError},
        {"key \"" + std::string(ConfigParser::kMaxValue + 1, 'v') + "\"",
         ConfigParser::kFormatError},
    };
    std::string deep, shallow;
    for (int k = 0; k < ConfigParser::kMaxDepth + 1; ++k)
        deep += "g {";
    deep += std::string(ConfigParser::kMaxDepth + 1, '}');
    for (int k = 0; k < ConfigParser::kMaxDepth; ++k)
        shallow += "g {";
    shallow += std::string(ConfigParser::kMaxDepth, '}');
    cases.push_back({deep, ConfigParser::kFormatError});
    cases.push_back({shallow, ConfigParser::kOk});
    for (const Case& c : cases) {
        ConfigParser p;
        EXPECT_EQ(p.ParseText(c.text), c.expected) << c.text.substr(0, 40);
    }
    ConfigParser p;
    EXPECT_EQ(p.Parse("/nonexistent/file.txt"), ConfigParser::kOpenError);
}

}  // namespace
