// The online-access requests against the real wexdaemon through the program's client library:
// the profile and ticket from the settings, the login request that cannot start, the refusal
// notice, and a script's local data stored and read back.
#include "assetdb/online_daemon_link.h"
#include "assetdb/online_requests.h"
#include "assetdb/request_payload.h"
#include "assetdb/settings_requests.h"
#include "assetdb/vendrix_cache.h"
#include "configdata/tdb_binary_file.h"
#include "configdata/tdb_container_tag.h"
#include "online/url_record.h"
#include "services/wexdaemon/client_test_support.h"

namespace {

class OnlineHandlersTest : public clienttest::DaemonClientTest {};

TDBTagRef LocalData(const KUID& asset, const std::string& key) {
    WEXPayload payload("test 121");
    payload.WriteKUID(asset);
    payload.WriteText(key);
    TBuffer reply;
    EXPECT_TRUE(WEXTransact(121, payload, reply));
    TDBTagRef tree;
    EXPECT_TRUE(ReadTagTreeBinary(reply, tree));
    return tree;
}

void StoreLocalData(const KUID& asset, const std::string& key, const TDBTagRef& tree) {
    WEXPayload payload("test 122");
    payload.WriteKUID(asset);
    payload.WriteText(key);
    payload.WriteSoup(tree);
    EXPECT_TRUE(WEXPost(122, payload));
}

TEST_F(OnlineHandlersTest, ProfileAndTicketComeFromTheInternetSettings) {
    EXPECT_EQ(std::string(WEXClient::OnlineRequest240().c_str()), "");
    EXPECT_EQ(std::string(WEXClient::OnlineRequest242().c_str()), "");
    ASSERT_TRUE(WEXStoreOnlineLogin("driver", "pw"));
    EXPECT_EQ(std::string(WEXClient::OnlineRequest240().c_str()), "driver");

    TDBTagRef internet;
    ASSERT_TRUE(WEXClient::ReadSettings(kWEXSettingsInternet, internet));
    TDBContainerTag::SetString(internet, Kiv::PString(kWEXSettingOnlineTicket),
                               Kiv::PString("t-123"));
    ASSERT_TRUE(WEXClient::WriteSettings(kWEXSettingsInternet, internet));
    EXPECT_EQ(std::string(WEXClient::OnlineRequest242().c_str()), "t-123");
    WEXClient::OnlinePost241();  // accepted; nothing to answer
    EXPECT_EQ(std::string(WEXClient::OnlineRequest240().c_str()), "driver");
}

TEST_F(OnlineHandlersTest, NoLoginRequestCanStartSoTheClientEndsInState2) {
    URLRecord login;
    login.Parse("pologin://");
    EXPECT_EQ(WEXClient::ResolveVendrixAsset(login, 2), kWEXNoVendrixRecord);

    ASSERT_TRUE(WEXStoreOnlineLogin("driver", "pw"));
    WEXOnlineDaemon daemon;
    OnlineAccessClientEndpoint client(daemon);
    EXPECT_FALSE(client.Connect(false));
    EXPECT_EQ(client.GetState(), OnlineAccessClientEndpoint::kLoginNotPossible);
    EXPECT_FALSE(client.HasLoginRequest());
}

TEST_F(OnlineHandlersTest, LocalDataIsKeptPerAssetAndKeyAcrossARestart) {
    const KUID a(4242, 1), b(4242, 2, 3);
    EXPECT_EQ(TDBContainerTag::CountChildren(LocalData(a, "score")), 0u);
    TDBTagRef first, second;
    TDBContainerTag::SetInt(first, Kiv::PString("points"), 10);
    TDBContainerTag::SetString(second, Kiv::PString("name"), Kiv::PString("other"));
    StoreLocalData(a, "score", first);
    StoreLocalData(b, "score", second);
    StoreLocalData(a, "name with spaces", second);
    EXPECT_EQ(TDBContainerTag::GetInt(LocalData(a, "score"), Kiv::PString("points"), 0), 10);
    EXPECT_EQ(std::string(
                  TDBContainerTag::GetString(LocalData(b, "score"), Kiv::PString("name")).c_str()),
              "other");
    EXPECT_EQ(TDBContainerTag::CountChildren(LocalData(b, "other key")), 0u);

    TDBContainerTag::SetInt(first, Kiv::PString("points"), 11);
    StoreLocalData(a, "score", first);
    Restart();
    EXPECT_EQ(TDBContainerTag::GetInt(LocalData(a, "score"), Kiv::PString("points"), 0), 11);
    EXPECT_EQ(std::string(
                  TDBContainerTag::GetString(LocalData(a, "name with spaces"), Kiv::PString("name"))
                      .c_str()),
              "other");
    // An empty tree removes the entry.
    StoreLocalData(a, "score", TDBTagRef());
    EXPECT_EQ(TDBContainerTag::CountChildren(LocalData(a, "score")), 0u);
    EXPECT_EQ(TDBContainerTag::CountChildren(LocalData(b, "score")), 1u);
}

}  // namespace
