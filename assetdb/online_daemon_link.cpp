#include "assetdb/online_daemon_link.h"

#include "assetdb/data_folders.h"
#include "assetdb/online_requests.h"
#include "assetdb/vendrix_cache.h"
#include "online/url_record.h"

std::string WEXOnlineDaemon::ProfileName() {
    return WEXClient::OnlineRequest240().c_str();
}

std::string WEXOnlineDaemon::LoginTicket() {
    return WEXClient::OnlineRequest242().c_str();
}

uint64_t WEXOnlineDaemon::StartLogin(const URLRecord& url) {
    uint64_t id = WEXClient::ResolveVendrixAsset(url, 2);
    return id == kWEXNoVendrixRecord ? kNoRequest : id;
}

bool WEXOnlineDaemon::IsLoginFinished(uint64_t request) {
    return WEXClient::IsVendrixAvailable(request);
}

int WEXOnlineDaemon::LoginResult(uint64_t request) {
    WEXVendrixInfo info;
    if (!WEXClient::GetVendrixInfo(request, info)) return 1;
    std::string text = info.text.c_str();
    if (text.empty()) return 0;
    return text == "refused" ? 3 : 1;
}

void WEXOnlineDaemon::DropLogin(uint64_t request) {
    WEXClient::PostOnlineNotice(request);
}

void WEXOnlineDaemon::PostRefusal() {
    WEXClient::OnlinePost241();
}

OnlineAccessClientEndpoint& WEXOnlineAccessClient() {
    static WEXOnlineDaemon daemon;
    static OnlineAccessClientEndpoint client(daemon);
    static const bool prepared = [] {
        // The cache folder is known once start-up has found the user data.
        std::string cache = GetCacheFolder().str();
        if (!cache.empty() && cache.back() != '/') cache += '/';
        client.SetStoredMessagesPath(cache + kStoredMessagesFile);
        return true;
    }();
    (void)prepared;
    return client;
}
