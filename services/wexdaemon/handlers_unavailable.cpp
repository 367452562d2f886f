// Requests this build does not serve, each answered with the value its client reads as "no"
// (and, for a request, a report line saying so), never with a success: content-service access
// and the online login (no such service is reached from here) and built-in content (there is
// none).
#include "assetdb/request_ids.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/handlers.h"
#include "services/wexdaemon/request_report.h"

namespace wexd {

namespace {

using Answer = void (*)(TStream& reply);

struct Unavailable {
    uint32_t id;
    const char* name;
    Answer answer;  // writes the failure value; null: an empty reply (or a post)
};

const Unavailable kUnavailable[] = {
    {kWEXRequestVendrixAccess, "content-service access",
     [](TStream& reply) {
         reply.WriteBool(false);
         reply.WriteU32(0u);
     }},
};

}  // namespace

void AddUnavailableRequests(RequestTable& table) {
    for (const Unavailable& u : kUnavailable) {
        table.Add(u.id, u.name, 0, [u](RequestContext& context) {
            if (context.IsPost()) {
                DaemonLog("%s: %s; ignored", u.name, kNotAvailable);
                return;
            }
            RequestReport report(context);
            report.Error(KUID::kNull, std::string(u.name) + ": " + kNotAvailable);
            report.Send();
            if (u.answer != nullptr) u.answer(context.Reply());
        });
    }
}

}  // namespace wexd
