#include "assetdb/settings_requests.h"

#include "assetdb/reply_reading.h"
#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"
#include "assetdb/tag_text.h"
#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/log.h"
#include "platform/kiv/base/text.h"

namespace WEXClient {

Kiv::PString GetSetting(std::string_view group, std::string_view key) {
    WEXPayload payload("WEXClient::GetSetting");
    payload.WriteName(group);
    payload.WriteName(key);
    TBuffer reply;
    Kiv::PString value;
    if (WEXTransact(kWEXRequestGetSetting, payload, reply)) reply.ReadPString(value);
    if (value.IsNull()) value = Kiv::PString("");
    return value;
}

bool ReadSettings(std::string_view group, TDBTagRef& tree) {
    tree.Reset();
    WEXPayload payload("WEXClient::ReadSettings");
    payload.WriteName(group);
    TBuffer reply;
    if (!WEXTransact(kWEXRequestReadSettings, payload, reply)) return false;
    if (!WEXReadSoupReply(reply, tree)) {
        Kiv::Log::Write(Kiv::String::Printf(
            "%s> the reply for group '%.*s' is not a soup; the group is not read",
            payload.GetOperation(), static_cast<int>(group.size()), group.data()));
        return false;
    }
    if (!tree) tree = MakeCounted<TDBContainerTag>();
    return true;
}

bool WriteSettings(std::string_view group, const TDBTagRef& tree) {
    WEXPayload payload("WEXClient::WriteSettings");
    payload.WriteName(group);
    payload.WriteSoup(tree && tree->GetChildCount() != 0 ? tree : TDBTagRef());
    TBuffer reply;
    return WEXTransact(kWEXRequestWriteSettings, payload, reply);
}

}  // namespace WEXClient

Kiv::PString WEXGetInterfaceLanguage() {
    return WEXClient::GetSetting(kWEXSettingsInternet, kWEXSettingLanguage);
}

bool WEXStoreOnlineLogin(std::string_view username, std::string_view password) {
    TDBTagRef group;
    if (!WEXClient::ReadSettings(kWEXSettingsInternet, group)) return false;
    WEXSetTextTag(group, kWEXSettingUsername, username);
    WEXSetTextTag(group, kWEXSettingPassword, password);
    return WEXClient::WriteSettings(kWEXSettingsInternet, group);
}
