#include "services/wexdaemon/core_requests.h"

#include "assetdb/daemon_link.h"
#include "services/wexdaemon/daemon_log.h"

namespace wexd {

void AddCoreRequests(RequestTable& table) {
    table.Add(kMessageKeepAlive, "keep-alive", 0, [](RequestContext&) {});
    table.Add(kMessageCloseDaemon, "close daemon", 0, [](RequestContext& context) {
        DaemonLog("asked to close");
        context.StopAfterReply();
    });
}

}  // namespace wexd
