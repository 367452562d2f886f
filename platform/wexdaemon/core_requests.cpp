#include "platform/wexdaemon/core_requests.h"

#include "foundation/logging.h"

namespace wexd {

void AddCoreRequests(RequestTable& table) {
    table.Add(kRequestKeepAlive, "keep-alive", 0, [](RequestContext&) {});
    table.Add(kRequestCloseDaemon, "close daemon", 0, [](RequestContext& context) {
        LogOutputf("WEXDaemon> asked to close");
        context.StopAfterReply();
    });
}

}  // namespace wexd
