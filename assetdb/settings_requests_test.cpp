// Settings groups read and written through the daemon, and the online login stored into the
// "internet" group without losing the group's other settings.
#include "assetdb/settings_requests.h"

#include <gtest/gtest.h>

#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/tag_text.h"
#include "configdata/soup_test_support.h"

namespace {

using requesttest::Bytes;
using requesttest::ScriptedTransport;
using requesttest::Wire;

Bytes Soup(const TDBTagRef& tree) {
    std::string s = souptest::Write(tree);
    return Bytes(s.begin(), s.end());
}

TDBTagRef Group(std::initializer_list<std::pair<const char*, const char*>> values) {
    TDBTagRef tree = souptest::NewContainer();
    for (const auto& [key, value] : values)
        WEXSetTextTag(tree, key, value);
    return tree;
}

// The group the daemon was last asked to store, read back from the request.
TDBTagRef StoredGroup(const ScriptedTransport& daemon) {
    std::vector<requesttest::SentMessage> writes = daemon.SentWithId(kWEXRequestWriteSettings);
    if (writes.empty()) return {};
    Bytes expectedName = Wire().Name("internet");
    const Bytes& payload = writes.back().payload;
    EXPECT_TRUE(std::equal(expectedName.begin(), expectedName.end(), payload.begin()));
    std::string soup(payload.begin() + expectedName.size(), payload.end());
    bool accepted = false;
    TDBTagRef tree = souptest::Read(soup, &accepted);
    EXPECT_TRUE(accepted);
    return tree ? tree : souptest::NewContainer();
}

TEST(SettingsRequests, GroupsAreReadAndWrittenWhole) {
    ScriptedTransport daemon;
    TDBTagRef group = Group({{"language", "de"}, {"username", "ann"}});
    daemon.Answer(kWEXRequestReadSettings, Soup(group));
    TDBTagRef read;
    ASSERT_TRUE(WEXClient::ReadSettings("internet", read));
    EXPECT_EQ(souptest::Dump(read), souptest::Dump(group));

    ASSERT_TRUE(WEXClient::WriteSettings("internet", read));
    EXPECT_EQ(souptest::Dump(StoredGroup(daemon)), souptest::Dump(group));

    // A group without children, or none at all, is stored empty.
    for (const TDBTagRef& nothing : {TDBTagRef(), souptest::NewContainer()}) {
        ASSERT_TRUE(WEXClient::WriteSettings("internet", nothing));
        EXPECT_EQ(daemon.SentWithId(kWEXRequestWriteSettings).back().payload,
                  Bytes(Wire().Name("internet").U32(0x24534341).U32(1).U32(0).U32(0)));
    }
}

TEST(SettingsRequests, ReadingAGroupTheDaemonLacksGivesAnEmptyTree) {
    for (const Bytes& reply : {Bytes(), Bytes(Wire().U32(0x24534341).U32(1).U32(0).U32(0))}) {
        ScriptedTransport daemon;
        daemon.Answer(kWEXRequestReadSettings, reply);
        TDBTagRef read;
        ASSERT_TRUE(WEXClient::ReadSettings("internet", read));
        ASSERT_TRUE(read);
        EXPECT_EQ(read->GetChildCount(), 0u);
    }
}

TEST(SettingsRequests, LanguageIsOneValue) {
    ScriptedTransport daemon;
    daemon.Answer(kWEXRequestGetSetting, Wire().Name("fr"));
    EXPECT_EQ(WEXGetInterfaceLanguage().str(), "fr");
    EXPECT_EQ(daemon.Sent().at(0).payload, Bytes(Wire().Name("internet").Name("language")));

    daemon.Answer(kWEXRequestGetSetting, Wire().U32(0));
    Kiv::PString none = WEXGetInterfaceLanguage();
    EXPECT_FALSE(none.IsNull());
    EXPECT_EQ(none.str(), "");
}

TEST(SettingsRequests, LoginIsStoredIntoTheGroup) {
    struct Case {
        const char* name;
        Bytes group;
        const char* stored;
    };
    const Case cases[] = {
        {"group the daemon lacks", {}, "username=bob password=secret language="},
        {"login replaced, language kept",
         Soup(Group({{"username", "old"}, {"language", "de"}, {"password", "old"}})),
         "username=bob password=secret language=de"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransport daemon;
        daemon.Answer(kWEXRequestReadSettings, c.group);
        ASSERT_TRUE(WEXStoreOnlineLogin("bob", "secret"));
        TDBTagRef stored = StoredGroup(daemon);
        std::string text;
        for (const char* key : {"username", "password", "language"})
            text += std::string(text.empty() ? "" : " ") + key + "=" +
                    WEXReadTextTag(stored, key).str();
        EXPECT_EQ(text, c.stored);
        EXPECT_EQ(stored->GetChildCount(), c.group.empty() ? 2u : 3u);
    }
}

TEST(SettingsRequests, LoginIsNotStoredWhenTheGroupCannotBeRead) {
    struct Case {
        const char* name;
        bool reached;
        Bytes reply;
    };
    const Case cases[] = {
        {"daemon unreachable", false, {}},
        {"reply not a soup", true, Wire().U32(0x12345678).U32(1)},
        {"soup body refused", true, Wire().U32(0x24534341).U32(1).U32(0).U32(6).U32(99).U16(0)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransport daemon;
        if (c.reached)
            daemon.Answer(kWEXRequestReadSettings, c.reply);
        else
            daemon.Unreachable(kWEXRequestReadSettings);
        EXPECT_FALSE(WEXStoreOnlineLogin("bob", "secret"));
        EXPECT_TRUE(daemon.SentWithId(kWEXRequestWriteSettings).empty());
    }
}

}  // namespace
