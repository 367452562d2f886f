// The asset search: a filter tree goes to the daemon as request 2 and a list of KUIDs comes
// back. The payload and the reply are built and read here; the link carries them.
#pragma once

#include <cstdint>

#include "assetdb/filter_element.h"
#include "assetdb/request_ids.h"
#include "configdata/kuid_list.h"

class TBuffer;

// The request payload: the root's envelope. False when the tree could not be written whole.
bool WEXWriteSearchRequest(TBuffer& request, const WEXFilterElement& root);

// The reply from its position: a count, then that many KUIDs, appended to `out` in reply
// order. A count that runs past the reply's bytes appends nothing and fails.
bool WEXReadSearchReply(TStream& reply, KUIDBlockList& out);

namespace WEXClient {

// Appends every asset the tree selects to `out` (which is not emptied first). An empty root
// group selects every asset. False when the request could not be sent, the daemon did not
// answer or its answer was malformed; nothing is appended then.
bool SearchAssets(const WEXFilterElement& root, KUIDBlockList& out);

}  // namespace WEXClient
