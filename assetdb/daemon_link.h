// The client's side of the link to the asset-database daemon: learning the daemon's port from
// the shared-state block, starting the daemon when it is not running, the TCP connection to
// 127.0.0.1 with its hello, the framing of requests and one-way posts with their retries, and
// the orderly close. One link per process.
//
// What comes back over the link (replies, notifications) is read by the reader thread, which
// the transactions layer plugs in through WEXLinkHooks together with the request's wait for its
// reply. The reader never takes the send lock; tearing the link down sets the reader's stop
// flag and the receive gate, shuts the socket down and joins the reader, so a requester that
// tears down under the send lock can never wait for a reader that waits for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/kiv/base/sync.h"

class TStream;
class ResultsLog;
class WEXClientEventHandler;

// The client's options, copied in when the database opens.
struct WEXClientOptions {
    using NotificationCallback = void (*)(uint32_t value);

    NotificationCallback notificationCallback = nullptr;
    // Whether a send may start the daemon and retry when there is no link.
    uint8_t mayStartDaemon = 1;
    // Set to 0 with the others at start-up; nothing in this program reads it.
    uint8_t secondFlag = 1;
    // Sent in the hello: 1 normally, 0 with "-nowexclient".
    uint8_t clientFlag = 1;
    uint8_t spareFlags[2] = {1, 1};

    // Callback none and every flag 1.
    void SetDefaults() { *this = WEXClientOptions(); }
    // Sets the may-start-daemon flag of the open link's options.
    static void SetStartDaemon(bool flag);
};

// The hello's words: the client's tag and the version and build numbers it reports.
constexpr uint32_t kHelloClientTag = 0x57455843;  // 'WEXC'
constexpr uint32_t kHelloDaemonTag = 0x57455844;  // 'WEXD'
constexpr uint32_t kClientVersion = 360;
constexpr uint32_t kClientBuild = 49922;
// The goodbye word of an orderly close.
constexpr uint32_t kGoodbyeWord = 1;
// Hellos of an open, and attempts of a send, before giving up.
constexpr int kLinkAttempts = 11;

// Message ids of the link's core.
constexpr uint32_t kMessageKeepAlive = 0;
constexpr uint32_t kMessageRegisterCommandHost = 140;
constexpr uint32_t kMessageCommandHostAnswer = 141;
constexpr uint32_t kMessageEventAnswer = 150;
constexpr uint32_t kMessageCloseDaemon = 270;

// The waits of the link. Tests shorten them; the sleep function is the one that waits.
struct WEXLinkTiming {
    uint32_t retryDelayMs = 1000;          // between hellos and between send attempts
    uint32_t closePollMs = 100;            // CloseDaemon's look at the link
    uint32_t closeLimitMs = 30000;         // after which CloseDaemon gives up
    void (*sleep)(uint32_t ms) = nullptr;  // null: the thread sleeps
};
void SetWEXLinkTiming(const WEXLinkTiming& timing);

// What the transactions layer plugs into the link. Each may be null.
struct WEXLinkHooks {
    // The reader thread's body, started after each successful hello. It returns when
    // WEXClientReaderShouldStop() is set or the link fails, and calls WEXClientLinkDropped()
    // on a failure.
    void (*readerBody)() = nullptr;
    // Sends a request (through WEXClientSendFrame) and waits for its reply. Null: requests
    // fail with a log line, as replies cannot be waited for.
    bool (*transact)(uint32_t messageId, TStream& payload, TStream* reply,
                     WEXClientEventHandler* eventHandler, ResultsLog* resultsLog,
                     bool keepLog) = nullptr;
    // Frees the notifications still queued when the database closes.
    void (*discardNotifications)() = nullptr;
};
void SetWEXLinkHooks(const WEXLinkHooks& hooks);

// Opens the database: copies the options, makes up to 11 hellos (the daemon is launched before
// the second unless a hello already did; the waits between them are retryDelayMs), then marks
// the database open, makes the asset spec registry and sets the open event. True at once when
// already open. On failure logs "WEXOpenDatabase> unable to connect to WEXDaemon" and resets
// the options.
bool WEXOpenDatabase(const WEXClientOptions& options);
// The orderly close: says goodbye, tears the link down, resets the options, discards queued
// notifications and destroys the asset spec registry. Nothing when not open.
void WEXCloseDatabase();

// Ensures the link is up: true at once when a stream exists and the link is up (a stream
// left by a link that dropped is torn down first); otherwise learns the port from
// the shared-state block (starting the daemon and failing when it is 0), connects and says
// hello. A failure tears down what was made.
bool WEXClientHandshake();
// Why a handshake would not trust what it found, for the user: a shared-state block or lock
// file of another user (or open to others), or a listener at the published port that is not a
// process of this user (its socket's owner in /proc/net/tcp). Nothing is sent to such a
// listener. Empty when no handshake was refused.
std::string WEXClientLinkRefusal();
// Launches the daemon executable (the install's "bin/wexdaemon") hidden, in its own folder,
// and notes that this process started it. Its result is not checked. Nothing while launching
// is barred.
void StartDaemon();
// Bars (or allows again) every launch of the daemon by this process, the hellos' included: a
// command host serves the daemon that started it and ends with it, and must never bring up a
// daemon of its own (a keep-alive sent while its daemon closes would).
void WEXClientSetDaemonLaunchBarred(bool barred);

// Sends one frame: the message id, the second word (the client transaction id of a request,
// 0 for a post), the length of the payload from its position to its end, and those bytes, all
// in one send (one segment for a small frame), under the send lock, reconnecting by the retry
// policy (only once when the may-start flag is 0). False when the database is not open, no attempt
// got the frame out, or the payload cannot be read whole (then nothing of the frame is sent). On
// success *sentOnLink, when given, is the number of the link the frame went out on (see
// WEXClientLinkNumber).
bool WEXClientSendFrame(uint32_t messageId, uint32_t secondWord, TStream& payload,
                        uint32_t* sentOnLink = nullptr);
// One request with its reply (see WEXLinkHooks::transact).
bool WEXClientTransact(uint32_t messageId, TStream& payload, TStream* reply,
                       WEXClientEventHandler* eventHandler, ResultsLog* resultsLog, bool keepLog);
// One one-way message.
bool WEXClientPost(uint32_t messageId, TStream& payload);

// Tears the link down: unless quiet, says goodbye first; stops and joins the reader; frees the
// stream; the link is down afterwards. Nothing when called on the reader thread itself.
void WEXClientDisconnect(bool quiet);

// Exact-length transfers on the link's stream. A failed send tears the link down quietly; a
// failed receive does so when dropOnFailure is set. False without a stream.
bool WEXClientSendExact(const void* bytes, size_t n);
bool WEXClientReceiveExact(void* bytes, size_t n, bool dropOnFailure);
// What has arrived on the link, at least one byte and at most n (waiting for the first); 0
// when the link failed or there is no stream (nothing is torn down).
size_t WEXClientReceiveSome(void* bytes, size_t n);

// The send lock: every write to the link, the hello and the teardown happen under it.
Kiv::CriticalSection& WEXClientSendLock();
// The number of the current link: counts successful hellos (0 before the first). A link's
// number stays current until the next hello, which can only follow that link's teardown and
// the join of its reader; so a reader reads its own link's number as it starts, and the
// requests it fails when its link drops are those sent on that number.
uint32_t WEXClientLinkNumber();

// For the reader thread: its stop flag, the receive gate it waits on before each record, and
// its exit on a failure (the stream is shut down, the link marked down and the gate set).
bool WEXClientReaderShouldStop();
Kiv::WEvent& WEXClientReceiveGate();
void WEXClientLinkDropped();
// The link's socket (-1 without a stream), for waiting on it beside other descriptors; it stays
// open until the reader has been joined. Readable: bytes, the peer's end of the link, or the
// stream's shutdown are there to be met by a receive without waiting.
int WEXClientLinkSocket();
bool WEXClientLinkReadable();

// The state of the link.
bool WEXClientIsOpen();
bool WEXClientIsLinkUp();
bool WEXClientDaemonStarted();
WEXClientOptions WEXClientGetOptions();
// The two words that followed the daemon's hello answer.
void WEXClientHelloWords(uint32_t& first, uint32_t& second);
// Set once the database has opened.
Kiv::WEvent& WEXDatabaseOpenEvent();

namespace WEXClient {

// Asks the daemon to shut down (message 270) and waits, looking every closePollMs, until the
// link drops. Never starts a daemon again (the may-start flag is cleared). False, with a log
// line, when the link is still up after closeLimitMs.
bool CloseDaemon();

}  // namespace WEXClient
