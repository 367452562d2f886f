// The asset search: the filter tree read with the client's own reader, evaluated against every
// record and every asset the content service lists (filter_match.h gives each keyword its
// meaning here), answered as a KUID list in KUID order. A tree that cannot be read answers no
// assets and says why.
#include "assetdb/filter_reader.h"
#include "assetdb/request_ids.h"
#include "services/wexdaemon/asset_store.h"
#include "services/wexdaemon/filter_match.h"
#include "services/wexdaemon/handlers.h"
#include "services/wexdaemon/request_report.h"
#include "services/wexdaemon/vendrix_service.h"

namespace wexd {

void AddSearchRequests(RequestTable& table, const std::shared_ptr<HandlerServices>& services) {
    table.Add(kWEXRequestSearchAssets, "search", 0, [services](RequestContext& context) {
        Kiv::String error;
        std::unique_ptr<WEXFilterElement> root = WEXFilterReadElement(context.Payload(), &error);
        std::vector<KUID> found;
        if (!root) {
            RequestReport report(context);
            report.Error(KUID::kNull, "unable to search: the filter cannot be read (" +
                                          std::string(error.view()) + ")");
        } else {
            std::shared_ptr<const VendrixListing> listing = services->Vendrix().Listing();
            RecordMap offered;
            for (const auto& [kuid, asset] : listing->assets)
                offered.emplace(kuid, ListedRecord(asset));
            services->Store().Visit(
                [&](const RecordMap& records) { found = SearchRecords(records, *root, &offered); });
        }
        context.Reply().WriteU32(static_cast<uint32_t>(found.size()));
        for (const KUID& kuid : found)
            kuid.Write(context.Reply());
    });
}

}  // namespace wexd
