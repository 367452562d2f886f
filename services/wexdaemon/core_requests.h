// The requests every daemon answers whatever else it serves: the keep-alive of a command host
// (request 0, an empty reply) and the request to close the daemon (270: an empty reply, then
// the daemon stops).
#pragma once

#include <cstdint>

#include "services/wexdaemon/request_table.h"

namespace wexd {

void AddCoreRequests(RequestTable& table);

}  // namespace wexd
