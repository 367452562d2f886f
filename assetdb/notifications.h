// The daemon's notifications: what the reader thread does with each one it reads. Types 3
// (report lines for a request's results log) and 4 (a content-service record changed) are
// carried out at once on the reader thread; types 0 (a value for the client's notification
// callback), 1 (a command-host call) and 2 (a question for a request's event handler) are
// queued and reach the main thread as queued main-thread calls, one per notification, in
// arrival order; a question is then answered on a short-lived thread of its own so that the
// main thread never waits for a handler.
#pragma once

#include <cstdint>
#include <memory>

#include "assetdb/link_records.h"
#include "configdata/kuid.h"
#include "platform/kiv/base/pstring.h"

class TStream;

// Notification types.
constexpr uint32_t kNotifyCallbackValue = 0;
constexpr uint32_t kNotifyCommandHostCall = 1;
constexpr uint32_t kNotifyEventQuestion = 2;
constexpr uint32_t kNotifyReportLines = 3;
constexpr uint32_t kNotifyCacheUpdate = 4;

// The command host's call handler: reads the call from the payload and writes its answer,
// which the dispatcher posts back (message 141). None while no command host runs: calls are
// then dropped without an answer.
using WEXCommandHostCallback = void (*)(TStream& payload, TStream& answer);
void SetWEXCommandHostCallback(WEXCommandHostCallback callback);
WEXCommandHostCallback GetWEXCommandHostCallback();

// The content-service cache's update handler: takes the payload (a u64 record id, then the
// record). None: updates are read and dropped.
using WEXCacheUpdateHandler = void (*)(TStream& payload);
void SetWEXCacheUpdateHandler(WEXCacheUpdateHandler handler);
WEXCacheUpdateHandler GetWEXCacheUpdateHandler();

// Reader thread: after a notification's tag, reads the notification and queues it. False (the
// reader stops) when it could not be read whole.
bool WEXClientReadNotification(WEXRecordSource& source);
// Carries out types 3 and 4 at once; queues types 0 to 2 for the main thread; drops others.
void QueueNotification(std::unique_ptr<WEXNotification> notification);
// The queued main-thread call: takes the oldest queued notification and carries it out.
int RunNextNotification(void* unused);
// Carries out one notification on the calling thread. Types above 4 are ignored.
void DispatchNotification(uint32_t type, TBuffer& payload);
// At close: frees the queued notifications and waits for the question threads to end.
void DiscardNotifications();
uint32_t CountQueuedNotifications();

// A daemon's question (type 2): the request it is about, its text and the asset.
struct WEXEventQuestion {
    uint32_t transactionId = 0;
    Kiv::PString text;
    KUID asset;
};
// False when not even the request's id is there; a missing text or asset stays empty or null.
bool ReadEventQuestion(TStream& payload, WEXEventQuestion& out);
