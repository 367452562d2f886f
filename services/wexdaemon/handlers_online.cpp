// The online-access requests. The daemon keeps the user's online state in its settings:
//
//   240  profile     reply: text (the "internet" group's "username", which registeraccount
//                    writes; empty when none); text; text; u16; text; u16 (the rest empty or 0)
//   242  ticket      reply: text (the "internet" group's "online-ticket"; empty while the user
//                    is not signed in, which sends the client down its login-request road)
//   241  refusal     post: the server refused the login; logged
//   230  "pologin://" (a login request through the content service): this daemon has no
//                    service to sign in with, so it answers that none was started (the record
//                    id of all ones) and the client shows state 2; any other URL goes on to the
//                    content-service handler
//   121  local data  request: KUID (8-byte form), text key; reply: the soup stored under them,
//                    the empty soup when none
//   122  store       post: KUID, text key, soup; replaces what was stored under them (an empty
//                    soup removes it)
//
// A script's local data lives in the settings group "online-local-data": one numbered child
// per entry, each holding "asset" (KUID), "key" (text) and "data" (the stored tree).
#include "assetdb/reply_reading.h"
#include "assetdb/request_ids.h"
#include "assetdb/settings_requests.h"
#include "assetdb/vendrix_info.h"
#include "configdata/soup_writer.h"
#include "configdata/tdb_container_tag.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/handlers.h"

#include <mutex>

namespace wexd {

namespace {

constexpr std::string_view kLocalDataGroup = "online-local-data";
constexpr const char* kOnlineLoginURL = "pologin://";

// Stores of local data read, change and write the whole group: one at a time.
std::mutex localDataLock;

Kiv::PString Tag(const char* name) {
    return Kiv::PString(name);
}

// The entry of the asset and key in the group, by its child index; -1 when none.
int FindEntry(const TDBTagRef& group, const KUID& asset, const std::string& key) {
    uint32_t n = TDBContainerTag::CountChildren(group);
    for (uint32_t i = 0; i < n; ++i) {
        TDBTagRef entry = TDBContainerTag::GetContainerAt(group, i);
        if (entry.IsEmpty()) continue;
        if (TDBContainerTag::GetKUID(entry, Tag("asset"), KUID::kNull) == asset &&
            key == TDBContainerTag::GetString(entry, Tag("key")).c_str())
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

void AddOnlineRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    table.Add(kWEXRequestOnline240, "online profile", 0, [services](RequestContext& context) {
        std::string profile = services->Settings().Get(kWEXSettingsInternet, kWEXSettingUsername);
        TStream& reply = context.Reply();
        reply.WriteString(profile);
        reply.WriteString("");
        reply.WriteString("");
        reply.WriteU16(0);
        reply.WriteString("");
        reply.WriteU16(0);
    });

    table.Add(kWEXRequestOnline242, "online ticket", 0, [services](RequestContext& context) {
        context.Reply().WriteString(
            services->Settings().Get(kWEXSettingsInternet, kWEXSettingOnlineTicket));
    });

    table.Add(kWEXPostOnline241, "online refusal", 0,
              [](RequestContext&) { DaemonLog("online access: the server refused the login"); });

    // In front of the content-service handler: only the login URL is answered here.
    const RequestEntry* previous = table.Find(kWEXRequestResolveVendrixAsset);
    RequestHandler contentService = previous ? previous->handler : RequestHandler();
    std::string name = previous ? previous->name : "content-service request";
    uint32_t flags = previous ? previous->flags : 0;
    table.Add(kWEXRequestResolveVendrixAsset, name, flags,
              [contentService](RequestContext& context) {
                  bool unused = false;
                  context.Payload().ReadBool(unused, false);
                  std::string url;
                  context.Payload().ReadString(url);
                  if (!context.Payload().HasError() && url == kOnlineLoginURL) {
                      DaemonLog("online login request: no login service here; none started");
                      context.Reply().WriteU64(kWEXNoVendrixRecord);
                      return;
                  }
                  context.Payload().Rewind();
                  if (contentService) {
                      contentService(context);
                  } else {
                      context.Reply().WriteU64(kWEXNoVendrixRecord);
                  }
              });

    table.Add(
        kWEXRequestOnlineLocalData, "online local data", 0, [services](RequestContext& context) {
            KUID asset;
            std::string key;
            context.Payload().ReadKUID(asset);
            context.Payload().ReadString(key);
            TDBTagRef data;
            if (PayloadWhole(context, "online local data")) {
                std::lock_guard<std::mutex> hold(localDataLock);
                TDBTagRef group;
                if (services->Settings().Read(kLocalDataGroup, group) == SettingsRead::kRead) {
                    int at = FindEntry(group, asset, key);
                    if (at >= 0)
                        data = TDBContainerTag::GetContainer(
                            TDBContainerTag::GetContainerAt(group, static_cast<uint32_t>(at)),
                            Tag("data"));
                }
            }
            if (!WriteTagTreeBinary(data, context.Reply())) {
                context.Reply().Reset();
                WriteTagTreeBinary(TDBTagRef(), context.Reply());
            }
        });

    table.Add(
        kWEXPostOnlineLocalData, "online local data store", 0, [services](RequestContext& context) {
            KUID asset;
            std::string key;
            context.Payload().ReadKUID(asset);
            context.Payload().ReadString(key);
            TDBTagRef data;
            if (!PayloadWhole(context, "online local data store")) return;
            if (!WEXReadSoupReply(context.Payload(), data)) {
                DaemonLog("online local data store: the data is no soup; nothing stored");
                return;
            }
            std::lock_guard<std::mutex> hold(localDataLock);
            TDBTagRef group;
            if (services->Settings().Read(kLocalDataGroup, group) != SettingsRead::kRead) {
                DaemonLog("online local data store: the group cannot be read; nothing stored");
                return;
            }
            group.EnsureContainer();
            int at = FindEntry(group, asset, key);
            if (at >= 0)
                TDBContainerTag::RemoveTag(
                    group, TDBContainerTag::GetChildName(group, static_cast<uint32_t>(at)));
            if (TDBContainerTag::CountChildren(data) > 0) {
                TDBTagRef entry;
                TDBContainerTag::SetKUID(entry, Tag("asset"), asset);
                TDBContainerTag::SetString(entry, Tag("key"), Kiv::PString(key));
                TDBContainerTag::SetContainer(entry, Tag("data"), data);
                TDBContainerTag::SetContainer(group, TDBContainerTag::GetFreeNumericName(group),
                                              entry);
            }
            std::string error;
            if (!services->Settings().Write(kLocalDataGroup, group, error))
                DaemonLog("online local data store: %s", error.c_str());
        });
}

}  // namespace wexd
