#include "services/wexdaemon/handlers.h"

#include "services/wexdaemon/daemon.h"
#include "services/wexdaemon/daemon_log.h"

namespace wexd {

void AddAssetRequests(Daemon& daemon) {
    // The daemon makes its store before it lets any request through.
    auto services = std::make_shared<HandlerServices>([&daemon] { return daemon.Store(); });
    services->SetHost([&daemon] { return daemon.Host(); });
    services->SetVendrixDelay(daemon.Options().vendrixDelay);
    AddAssetRequests(daemon.Requests(), services);
}

void AddAssetRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    AddReadRequests(table, services);
    AddEditRequests(table, services);
    AddStoreRequests(table, services);
    AddSearchRequests(table, services);
    AddSettingsRequests(table, services);
    AddRepairRequests(table, services);
    AddExportRequests(table, services);
    AddHostRequests(table, services);
    AddUnavailableRequests(table);
    AddVendrixRequests(table, services);
    AddOnlineRequests(table, services);
}

bool PayloadWhole(RequestContext& context, const char* request) {
    if (!context.Payload().HasError()) return true;
    DaemonLog("%s: the request's payload is cut short; answered with its failure value", request);
    return false;
}

}  // namespace wexd
