// The script host's view of an asset's configuration: the tree and its four script texts.
#include "assetdb/wex_client_assets.h"

#include <gtest/gtest.h>

#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/tag_text.h"
#include "configdata/soup_test_support.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;

TEST(LoadAssetConfigSoup, ReadsTheScriptTexts) {
    TDBTagRef config = souptest::NewContainer();
    WEXSetTextTag(config, "script", "loco.gs");
    WEXSetTextTag(config, "class", "Loco");
    souptest::AddValue(config, "scriptlibrary", kTagInt, std::string(4, '\0'));
    std::string soup = souptest::Write(config);

    ScriptedTransport daemon;
    daemon.Answer(kWEXRequestAssetConfig, Bytes(soup.begin(), soup.end()));
    WEXClient::AssetScriptConfig out;
    ASSERT_TRUE(WEXClient::LoadAssetConfigSoup(KUID(1, 2), out));
    EXPECT_EQ(out.script, "loco.gs");
    EXPECT_EQ(out.className, "Loco");
    EXPECT_EQ(out.scriptLibrary, "");  // not a text
    EXPECT_EQ(out.scriptClass, "");
    EXPECT_EQ(souptest::Dump(out.config), souptest::Dump(config));

    daemon.Unreachable(kWEXRequestAssetConfig);
    EXPECT_FALSE(WEXClient::LoadAssetConfigSoup(KUID(1, 2), out));
    EXPECT_FALSE(out.config);
    EXPECT_EQ(out.script, "");
}

}  // namespace
