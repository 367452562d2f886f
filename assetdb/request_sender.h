// The seam through which every request wrapper of this subsystem reaches the daemon: start-up
// installs the daemon link's transaction and post calls here (their signatures are the link's
// own, so they are installed as they are). Without them every request and post fails and logs
// that the link is not available in this build; nothing is ever answered on the daemon's
// behalf. Tests install a scripted transport.
#pragma once

#include <cstdint>

class TStream;
class ResultsLog;
class WEXClientEventHandler;

// Sends the bytes from the payload's position to its end as request messageId and writes the
// reply's bytes to `reply` at its position. The event handler answers the daemon's questions
// during the request, the daemon's report lines for it are collected in the results log, and
// keepLog keeps that association after the request. False when the daemon could not be reached
// or did not answer.
using WEXTransactCall = bool (*)(uint32_t messageId, TStream& payload, TStream* reply,
                                 WEXClientEventHandler* eventHandler, ResultsLog* resultsLog,
                                 bool keepLog);
// Sends the payload one-way; false when it could not be sent.
using WEXPostCall = bool (*)(uint32_t messageId, TStream& payload);

struct WEXTransport {
    WEXTransactCall transact = nullptr;
    WEXPostCall post = nullptr;
};

// Installs the transport (a default-constructed one removes it).
void WEXSetTransport(const WEXTransport& transport);
WEXTransport WEXGetTransport();
// Installs the daemon link's WEXClientTransact and WEXClientPost; start-up calls it once the
// database is open.
void WEXUseDaemonLink();

// What a request hands the link besides its payload.
struct WEXRequestExtras {
    WEXClientEventHandler* eventHandler = nullptr;
    ResultsLog* resultsLog = nullptr;
    bool keepLog = false;
};

// One request through the installed transport.
bool WEXSendRequest(uint32_t messageId, TStream& payload, TStream& reply,
                    const WEXRequestExtras& extras = {});
// One one-way post through the installed transport.
bool WEXSendPost(uint32_t messageId, TStream& payload);
