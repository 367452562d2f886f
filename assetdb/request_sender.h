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

// Why a request (or post) of this thread got no reply. A daemon that answers "no" is not among
// them: a caller that sees a wrapper's failure value tells the two apart by the count below, so
// that a lost daemon is never reported as a refusal, nor an unanswered request as success.
enum class WEXNoReplyCause : uint8_t {
    kNone,
    kUnknown,      // the transport failed without saying why
    kNotReached,   // the frame never went out: no daemon could be reached
    kLinkDropped,  // the frame went out and the link dropped before the reply came
};
// The requests and posts of the calling thread so far that got no reply, and the cause of the
// latest of them.
uint64_t WEXCountUnansweredRequests();
WEXNoReplyCause WEXLastNoReplyCause();
// The transport says why its request is failing, before it returns false.
void WEXNoteNoReplyCause(WEXNoReplyCause cause);
// The cause as the end of a sentence: "the asset-database daemon could not be reached".
const char* WEXNoReplyCauseText(WEXNoReplyCause cause);
