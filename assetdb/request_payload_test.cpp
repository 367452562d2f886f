// Payloads a request cannot carry are refused, not cut down: a text or name over the limit,
// or a tree the soup writer refuses, sends nothing, logs a warning naming the operation, and
// the operation yields its failure value. Without a transport, posts fail and say so.
#include "assetdb/request_payload.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "assetdb/request_ids.h"
#include "assetdb/request_test_support.h"
#include "assetdb/settings_requests.h"
#include "assetdb/wex_client_assets.h"
#include "assetdb/wex_client_edit.h"
#include "assetdb/wex_client_install.h"
#include "configdata/tdb_container_tag.h"

namespace {

using requesttest::LogLines;
using requesttest::ScriptedTransport;

TDBTagRef NestedDeeperThanAllowed() {
    TDBTagRef root = MakeCounted<TDBContainerTag>();
    TDBTagRef at = root;
    for (uint32_t i = 0; i <= kMaxTagTreeDepth; ++i) {
        TDBTagRef child = MakeCounted<TDBContainerTag>();
        at->AddChild(Kiv::PString("n"), child);
        at = child;
    }
    return root;
}

TEST(RequestPayload, OversizedFieldsAreRefusedWithAWarning) {
    const std::string text(65536, 'k');  // one byte over a text's limit
    const std::string name(65535, 'n');  // with its NUL, one byte over a name's limit
    struct Case {
        const char* operation;
        std::function<bool()> failed;  // runs it; true when it yielded its failure value
    };
    const Case cases[] = {
        {"WEXClient::ImportKeywords", [&] { return !WEXClient::ImportKeywords(KUID(1, 2), text); }},
        {"WEXClient::CreateAsset",
         [&] { return !WEXClient::CreateAsset(KUID(1, 2), false, text).IsValid(); }},
        {"WEXClient::RequestValidation",
         [&] { return !WEXClient::RequestValidation(name, "", nullptr); }},
        {"WEXClient::InstallArchive",
         [&] { return !WEXClient::InstallArchive(text, 2, false, nullptr, nullptr, nullptr); }},
        {"WEXClient::GetSetting",
         [&] { return WEXClient::GetSetting(name, "language").str().empty(); }},
        {"WEXClient::WriteSettings",
         [&] { return !WEXClient::WriteSettings("internet", NestedDeeperThanAllowed()); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.operation);
        ScriptedTransport daemon;
        LogLines log;
        EXPECT_TRUE(c.failed());
        EXPECT_TRUE(daemon.Sent().empty());
        ASSERT_EQ(log.Get().size(), 1u);
        EXPECT_EQ(log.Get()[0].rfind(std::string(c.operation) + "> warning: ", 0), 0u)
            << log.Get()[0];
    }
}

TEST(RequestPayload, TextsUpToTheLimitAreSent) {
    ScriptedTransport daemon;
    EXPECT_TRUE(WEXClient::ImportKeywords(KUID(1, 2), std::string(65535, 'k')));
    ASSERT_EQ(daemon.Sent().size(), 1u);
    EXPECT_EQ(daemon.Sent()[0].payload.size(), 8u + 4 + 65535);
}

TEST(RequestPayload, WithoutATransportPostsFailAndSaySo) {
    LogLines log;
    EXPECT_FALSE(WEXClient::ImportKeywords(KUID(1, 2), "steam"));
    ASSERT_EQ(log.Get().size(), 1u);
    EXPECT_NE(log.Get()[0].find("post 54 failed: the daemon link is not available in this build"),
              std::string::npos);
}

}  // namespace
