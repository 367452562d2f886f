// The settings requests: a whole group read (its tree as a soup; an empty tree for a group the
// daemon does not hold), a whole group stored, and one value read. A group whose file cannot
// be read answers a reply that is no soup, so the client's read fails and it never writes back
// a group it could not see.
#include "assetdb/reply_reading.h"
#include "assetdb/request_ids.h"
#include "configdata/soup_writer.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/handlers.h"

namespace wexd {

namespace {

// A reply the client's soup reader refuses: a header cut short.
constexpr uint32_t kNoSoup = 0;

}  // namespace

void AddSettingsRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    table.Add(kWEXRequestReadSettings, "read settings", 0, [services](RequestContext& context) {
        std::string group;
        context.Payload().ReadString(group);
        TDBTagRef tree;
        SettingsRead read = SettingsRead::kBadName;
        if (PayloadWhole(context, "read settings")) read = services->Settings().Read(group, tree);
        if (read == SettingsRead::kRead && WriteTagTreeBinary(tree, context.Reply())) return;
        DaemonLog(
            "read settings \"%s\": %s", group.c_str(),
            read == SettingsRead::kBadName ? "no such group name" : "the group cannot be read");
        context.Reply().Reset();
        context.Reply().WriteU32(kNoSoup);
    });

    table.Add(kWEXRequestWriteSettings, "write settings", 0, [services](RequestContext& context) {
        std::string group;
        context.Payload().ReadString(group);
        TDBTagRef tree;
        bool whole = PayloadWhole(context, "write settings");
        if (whole && !WEXReadSoupReply(context.Payload(), tree)) {
            DaemonLog("write settings \"%s\": the tree is no soup; the group is left as it was",
                      group.c_str());
            return;
        }
        std::string error;
        if (whole && !services->Settings().Write(group, tree, error))
            DaemonLog("write settings: %s", error.c_str());
    });

    table.Add(kWEXRequestGetSetting, "get setting", 0, [services](RequestContext& context) {
        std::string group;
        std::string key;
        context.Payload().ReadString(group);
        context.Payload().ReadString(key);
        std::string value;
        if (PayloadWhole(context, "get setting")) value = services->Settings().Get(group, key);
        context.Reply().WritePString(value.empty() ? Kiv::PString() : Kiv::PString(value));
    });
}

}  // namespace wexd
