#include "platform/wexdaemon/core_requests.h"

#include "assetdb/daemon_link.h"
#include "foundation/logging.h"

namespace wexd {

void AddCoreRequests(RequestTable& table) {
    table.Add(kMessageKeepAlive, "keep-alive", 0, [](RequestContext&) {});
    table.Add(kMessageCloseDaemon, "close daemon", 0, [](RequestContext& context) {
        LogOutputf("WEXDaemon> asked to close");
        context.StopAfterReply();
    });
}

}  // namespace wexd
