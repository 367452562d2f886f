// The content-service requests, served by the daemon's stand-in (vendrix_service.h):
//
//   230  start     bool (unused); name: the URL; u32 kind (2 search page, 0 archive); u32;
//                  soup (both unused) -> u64 record id, all ones when nothing was started
//                  (with a report line saying why)
//   231  end       post: u64 record id; its record and fetched file go
//   232  info      u64 record id -> the info record (vendrix_info.h); an id that names no
//                  request answers a finished record with no path and the reason
#include "assetdb/request_ids.h"
#include "assetdb/vendrix_info.h"
#include "services/wexdaemon/daemon_log.h"
#include "services/wexdaemon/handlers.h"
#include "services/wexdaemon/request_report.h"
#include "services/wexdaemon/vendrix_service.h"

namespace wexd {

void AddVendrixRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    table.Add(kWEXRequestResolveVendrixAsset, "content-service request", kRequestRunsLong,
              [services](RequestContext& context) {
                  bool unused = false;
                  std::string url;
                  uint32_t kind = 0;
                  context.Payload().ReadBool(unused, false);
                  context.Payload().ReadString(url);
                  context.Payload().ReadU32(kind);
                  uint64_t id = kWEXNoVendrixRecord;
                  if (PayloadWhole(context, "content-service request")) {
                      std::string refusal;
                      id = services->Vendrix().Start(url, kind, context.Link(), refusal);
                      DaemonLog("content service: request %llu for %s (kind %u)",
                                static_cast<unsigned long long>(id), url.c_str(), kind);
                      if (id == kWEXNoVendrixRecord) {
                          RequestReport report(context);
                          report.Error(KUID::kNull, refusal);
                      }
                  }
                  context.Reply().WriteU64(id);
              });

    table.Add(kWEXPostOnlineNotice, "content-service end", 0, [services](RequestContext& context) {
        uint64_t id = kWEXNoVendrixRecord;
        context.Payload().ReadU64(id);
        if (PayloadWhole(context, "content-service end")) services->Vendrix().End(id);
    });

    table.Add(kWEXRequestVendrixInfo, "content-service record", 0,
              [services](RequestContext& context) {
                  uint64_t id = kWEXNoVendrixRecord;
                  context.Payload().ReadU64(id);
                  WEXVendrixInfo info;
                  if (!PayloadWhole(context, "content-service record") ||
                      !services->Vendrix().Info(id, info)) {
                      info = WEXVendrixInfo();
                      info.finished = true;
                      info.text = Kiv::PString("no such content-service request");
                  }
                  WEXWriteVendrixInfo(context.Reply(), info);
              });
}

}  // namespace wexd
