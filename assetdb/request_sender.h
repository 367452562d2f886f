// The seam through which the request wrappers of this subsystem reach the daemon: start-up
// installs the daemon link's request call here. Without one, every request fails and logs
// that the link is not available in this build; nothing is ever answered on the daemon's
// behalf.
#pragma once

#include <cstdint>

class TStream;

// Sends the bytes from the payload's position to its end as request messageId and writes the
// reply's bytes to `reply`; false when the daemon could not be reached or did not answer.
using WEXRequestSender = bool (*)(uint32_t messageId, TStream& payload, TStream& reply);

// Installs the sender (nullptr removes it).
void WEXSetRequestSender(WEXRequestSender sender);

// One request through the installed sender.
bool WEXSendRequest(uint32_t messageId, TStream& payload, TStream& reply);
