// Repairing the database and bringing the daemon to rest. A repair carries interrupted changes
// through, reconciles the index with the folders and reads every config again (the mode word
// is not used: every repair does all of it); its findings come back to the requester as report
// lines before the reply, and anyone may ask for its progress meanwhile. One repair runs at a
// time.
#include "assetdb/request_ids.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/handlers.h"
#include "services/wexdaemon/request_report.h"

namespace wexd {

namespace {

// Runs a repair; its findings go into `report` when given. False when one runs already.
bool RunRepair(HandlerServices& services, RequestReport* report) {
    RepairState& state = services.Repair();
    if (!state.Begin()) {
        if (report != nullptr) report->Error(KUID::kNull, "a repair is running already");
        return false;
    }
    ReconcileReport found =
        services.Store().Repair([&state](float share) { state.SetProgress(share, {}); });
    std::string summary = std::to_string(services.Store().Count()) +
                          " assets: " + std::to_string(found.adopted) + " adopted, " +
                          std::to_string(found.dropped) + " dropped, " +
                          std::to_string(found.recovered) + " interrupted changes completed, " +
                          std::to_string(found.refreshed) + " refreshed";
    if (report != nullptr) {
        for (const StoreFinding& f : found.findings)
            report->Add(static_cast<uint32_t>(f.level), f.kuid, f.text);
        report->Info(KUID::kNull, "database repaired: " + summary);
    }
    state.End("repaired: " + summary);
    return true;
}

}  // namespace

void AddRepairRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    table.Add(kWEXRequestStartRepair, "repair", kRequestRunsLong,
              [services](RequestContext& context) {
                  RequestReport report(context);
                  RunRepair(*services, &report);
              });

    table.Add(kWEXRequestRepairProgress, "repair progress", 0, [services](RequestContext& context) {
        float progress = 0.0f;
        std::string status;
        bool running = services->Repair().Get(progress, status);
        context.Reply().WriteBool(running);
        context.Reply().WriteFloat(progress);
        context.Reply().WriteString(status);
    });

    table.Add(kWEXPostRepairDatabase, "repair (posted)", kRequestRunsLong,
              [services](RequestContext&) {
                  if (!RunRepair(*services, nullptr))
                      DaemonLog("repair (posted): a repair is running already");
              });

    // Coming to rest writes what waits to be written.
    table.Add(kWEXRequestQuiesce, "quiesce", 0, [services](RequestContext&) {
        services->Store().FlushBatched(true);
        services->Store().Flush();
    });

    table.Add(kWEXRequestIsQuiescent, "quiescent", 0, [services](RequestContext& context) {
        bool rest = !services->Repair().Running() && !services->Store().BatchDue();
        context.Reply().WriteBool(rest);
    });
}

}  // namespace wexd
