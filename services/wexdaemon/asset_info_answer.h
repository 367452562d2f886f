// The asset-information record the daemon answers for one asset: every field as
// assetdb/asset_info_format.h documents what the daemon writes, from the asset's record and
// the records it depends on. An asset the store does not hold gets the record's defaults:
// the null KUID and only the "unknown" bit.
#pragma once

#include <string>

#include "assetdb/asset_info.h"
#include "services/wexdaemon/record_queries.h"

namespace wexd {

// The name of an asset as the client shows it: its "username", else its "name".
const std::string& AssetShownName(const AssetRecord& record);

// `authorName` is the name the author request answers for the KUID's user id.
WEXAssetInfo MakeAssetInfo(const RecordMap& records, const AssetRecord& record,
                           const std::string& authorName);

}  // namespace wexd
