#include "assetdb/daemon_link.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "assetdb/data_folders.h"
#include "assetdb/shared_state.h"
#include "assetdb/spec_registry.h"
#include "foundation/logging.h"
#include "foundation/process_launch.h"
#include "foundation/statics.h"
#include "foundation/tbuffer.h"
#include "foundation/tstream.h"
#include "online/tcp_transport.h"
#include "platform/kiv/base/thread.h"
#include "platform/system/peer_user.h"

namespace {

constexpr const char* kDaemonHost = "127.0.0.1";

struct Link {
    // A link still up at exit: its reader is stopped before anything it uses goes.
    ~Link() {
        if (reader == nullptr) return;
        stopReader.store(true, std::memory_order_release);
        receiveGate.Set();
        if (transport != nullptr) transport->Close();
        reader->Wait();
    }

    // Every write to the link, the hello and the link's teardown happen under it; it also
    // guards the options and the stream pointer's changes.
    Kiv::CriticalSection sendLock;
    WEXClientOptions options;
    std::unique_ptr<TCPTransport> transport;
    std::unique_ptr<Kiv::Thread> reader;
    Kiv::WEvent receiveGate{true, false};
    Kiv::WEvent openEvent{true, false};

    std::atomic<bool> opened{false};
    std::atomic<bool> linkUp{false};
    std::atomic<bool> daemonStarted{false};
    std::atomic<bool> stopReader{false};
    std::atomic<uint32_t> linkNumber{0};

    Kiv::CriticalSection helloLock;
    uint32_t helloWords[2] = {0, 0};

    Kiv::CriticalSection configLock;
    WEXLinkTiming timing;
    WEXLinkHooks hooks;
};

Link& TheLink() {
    static ProcessStatic<Link> link("daemon link");
    return link.Get();
}

[[maybe_unused]] const bool kBuilt = (TheLink(), true);

thread_local bool tIsReaderThread = false;

// Why the last handshake would not trust what it found; empty when none was refused.
std::mutex gRefusalLock;
std::string gRefusal;

void NoteRefusal(const std::string& why) {
    if (why.empty()) return;
    LogOutputf("WEXClientHandshake> %s", why.c_str());
    std::lock_guard<std::mutex> hold(gRefusalLock);
    gRefusal = why;
}

WEXLinkTiming Timing() {
    Link& l = TheLink();
    std::lock_guard<Kiv::CriticalSection> lock(l.configLock);
    return l.timing;
}

WEXLinkHooks Hooks() {
    Link& l = TheLink();
    std::lock_guard<Kiv::CriticalSection> lock(l.configLock);
    return l.hooks;
}

void Sleep(uint32_t ms) {
    WEXLinkTiming t = Timing();
    if (t.sleep != nullptr)
        t.sleep(ms);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

bool SendWord(TCPTransport& t, uint32_t word) {
    return DaemonSocketSendExact(t, &word, 4);
}

// The hello on a fresh stream, under the send lock.
bool SayHello(Link& l, TCPTransport& t) {
    std::string path = GetDatabaseFilePath().str();
    if (!SendWord(t, kHelloClientTag) || !SendWord(t, kClientVersion) ||
        !SendWord(t, kClientBuild) || !SendWord(t, l.options.clientFlag) ||
        !SendWord(t, static_cast<uint32_t>(path.size())) ||
        !DaemonSocketSendExact(t, path.data(), path.size()))
        return false;
    uint32_t tag = 0;
    uint32_t words[2];
    if (!DaemonSocketReceiveExact(t, &tag, 4) || tag != kHelloDaemonTag ||
        !DaemonSocketReceiveExact(t, words, sizeof words))
        return false;
    std::lock_guard<Kiv::CriticalSection> lock(l.helloLock);
    l.helloWords[0] = words[0];
    l.helloWords[1] = words[1];
    return true;
}

void StartReader(Link& l) {
    void (*body)() = Hooks().readerBody;
    if (body == nullptr) return;
    l.stopReader.store(false, std::memory_order_release);
    l.reader = std::make_unique<Kiv::Thread>();
    l.reader->Start([body] {
        tIsReaderThread = true;
        body();
        return 0u;
    });
}

constexpr size_t kFrameHeader = 12;

// The frame's bytes: room for its three words, then the payload from its position to its end,
// read whole before anything of the frame goes out.
bool TakePayload(TStream& payload, std::vector<uint8_t>& frame) {
    uint32_t size = payload.GetSize();
    uint32_t position = payload.Tell();
    if (position > size) return false;
    frame.resize(kFrameHeader + (size - position));
    return size == position ||
           payload.ReadBytes(frame.data() + kFrameHeader, size - position) == size - position;
}

}  // namespace

void WEXClientOptions::SetStartDaemon(bool flag) {
    Link& l = TheLink();
    Kiv::SingleLock lock(&l.sendLock, true);
    l.options.mayStartDaemon = flag ? 1 : 0;
}

void SetWEXLinkTiming(const WEXLinkTiming& timing) {
    Link& l = TheLink();
    std::lock_guard<Kiv::CriticalSection> lock(l.configLock);
    l.timing = timing;
}

void SetWEXLinkHooks(const WEXLinkHooks& hooks) {
    Link& l = TheLink();
    std::lock_guard<Kiv::CriticalSection> lock(l.configLock);
    l.hooks = hooks;
}

namespace {
std::atomic<bool> daemonLaunchBarred{false};
}  // namespace

void WEXClientSetDaemonLaunchBarred(bool barred) {
    daemonLaunchBarred.store(barred, std::memory_order_release);
}

void StartDaemon() {
    if (daemonLaunchBarred.load(std::memory_order_acquire)) return;
    Kiv::File::Path daemon = GetDaemonExecutablePath();
    LaunchProcess(daemon.view(), "", daemon.GetFolder(), kLaunchHidden);
    TheLink().daemonStarted.store(true, std::memory_order_release);
}

bool WEXClientHandshake() {
    Link& l = TheLink();
    Kiv::SingleLock lock(&l.sendLock, true);
    if (l.transport != nullptr) {
        if (l.linkUp.load(std::memory_order_acquire)) return true;
        // The reader found the link dead; what is left of it goes, so that this send can
        // reach a daemon that is back instead of failing on the dead stream first.
        WEXClientDisconnect(true);
    }

    if (!AttachSharedState(GetDatabaseFilePath().view())) {
        NoteRefusal(GetSharedStateRefusal());
        return false;
    }
    uint32_t port = GetDaemonPort();
    DetachSharedState();
    if (port == 0) {
        StartDaemon();
        return false;
    }
    if (port > 0xFFFF) return false;  // no daemon could listen there

    l.transport = std::make_unique<TCPTransport>(kDaemonHost, static_cast<uint16_t>(port));
    // The port came from a block any process of this user wrote: before the database's path
    // and the requests go out, the listener must be a process of this user too.
    uint32_t peerUser = 0;
    if (l.transport->GetSocket() >= 0 &&
        (!Sys::FindPeerUser(l.transport->GetSocket(), peerUser) || peerUser != ::geteuid())) {
        NoteRefusal("the listener on " + std::string(kDaemonHost) + ":" + std::to_string(port) +
                    " is not a process of this user (it belongs to user " +
                    std::to_string(peerUser) + "); nothing was sent to it");
        WEXClientDisconnect(true);
        return false;
    }
    if (!SayHello(l, *l.transport)) {
        WEXClientDisconnect(true);
        return false;
    }
    {
        std::lock_guard<std::mutex> hold(gRefusalLock);
        gRefusal.clear();
    }
    l.linkNumber.fetch_add(1, std::memory_order_acq_rel);
    l.linkUp.store(true, std::memory_order_release);
    l.receiveGate.Set();
    StartReader(l);
    return true;
}

std::string WEXClientLinkRefusal() {
    std::lock_guard<std::mutex> hold(gRefusalLock);
    return gRefusal;
}

bool WEXOpenDatabase(const WEXClientOptions& options) {
    Link& l = TheLink();
    if (l.opened.load(std::memory_order_acquire)) return true;
    {
        Kiv::SingleLock lock(&l.sendLock, true);
        l.options = options;
    }
    l.daemonStarted.store(false, std::memory_order_release);

    bool up = false;
    for (int attempt = 1; attempt <= kLinkAttempts && !up; ++attempt) {
        if (attempt == 2 && !l.daemonStarted.load(std::memory_order_acquire)) StartDaemon();
        if (attempt >= 2) Sleep(Timing().retryDelayMs);
        up = WEXClientHandshake();
    }
    if (!up) {
        LogOutputf("WEXOpenDatabase> unable to connect to WEXDaemon");
        Kiv::SingleLock lock(&l.sendLock, true);
        l.options.SetDefaults();
        return false;
    }
    l.opened.store(true, std::memory_order_release);
    CreateSpecRegistry();
    l.openEvent.Set();
    return true;
}

void WEXCloseDatabase() {
    Link& l = TheLink();
    if (!l.opened.exchange(false, std::memory_order_acq_rel)) return;
    WEXClientDisconnect(false);
    {
        Kiv::SingleLock lock(&l.sendLock, true);
        l.options.SetDefaults();
    }
    if (void (*discard)() = Hooks().discardNotifications) discard();
    DestroySpecRegistry();
    l.openEvent.Reset();
}

bool WEXClientSendFrame(uint32_t messageId, uint32_t secondWord, TStream& payload,
                        uint32_t* sentOnLink) {
    Link& l = TheLink();
    Kiv::SingleLock lock(&l.sendLock, true);
    if (!l.opened.load(std::memory_order_acquire)) return false;
    // Read before the frame's words go out: a payload that cannot be read whole would leave a
    // frame on the link whose length announces bytes that never come.
    std::vector<uint8_t> frame;
    if (!TakePayload(payload, frame)) return false;
    const uint32_t words[3] = {messageId, secondWord,
                               static_cast<uint32_t>(frame.size() - kFrameHeader)};
    std::memcpy(frame.data(), words, kFrameHeader);

    for (int attempt = 1; attempt <= kLinkAttempts; ++attempt) {
        if (attempt == 2) {
            if (l.options.mayStartDaemon == 0) return false;
            StartDaemon();
        }
        if (attempt >= 2) Sleep(Timing().retryDelayMs);
        if (!WEXClientHandshake() || l.transport == nullptr) continue;
        // A send that failed tore the link down before the whole frame was out, so the daemon
        // never saw it complete (it drops a frame its link cut short): it goes again whole.
        if (!WEXClientSendExact(frame.data(), frame.size())) continue;
        if (sentOnLink != nullptr) *sentOnLink = l.linkNumber.load(std::memory_order_acquire);
        return true;
    }
    return false;
}

bool WEXClientTransact(uint32_t messageId, TStream& payload, TStream* reply,
                       WEXClientEventHandler* eventHandler, ResultsLog* resultsLog, bool keepLog) {
    auto transact = Hooks().transact;
    if (transact == nullptr) {
        LogOutputf("WEXClientTransact> replies cannot be waited for in this build (message %u)",
                   messageId);
        return false;
    }
    return transact(messageId, payload, reply, eventHandler, resultsLog, keepLog);
}

bool WEXClientPost(uint32_t messageId, TStream& payload) {
    return WEXClientSendFrame(messageId, 0, payload);
}

void WEXClientDisconnect(bool quiet) {
    if (tIsReaderThread) return;
    Link& l = TheLink();
    Kiv::SingleLock lock(&l.sendLock, true);
    if (l.transport != nullptr) {
        if (!quiet) SendWord(*l.transport, kGoodbyeWord);
        l.transport->Close();
    }
    if (l.reader != nullptr) {
        l.stopReader.store(true, std::memory_order_release);
        l.receiveGate.Set();
        l.reader->Wait();
        l.reader.reset();
        l.stopReader.store(false, std::memory_order_release);
    }
    l.transport.reset();
    l.linkUp.store(false, std::memory_order_release);
}

bool WEXClientSendExact(const void* bytes, size_t n) {
    Link& l = TheLink();
    Kiv::SingleLock lock(&l.sendLock, true);
    if (l.transport == nullptr) return false;
    if (DaemonSocketSendExact(*l.transport, bytes, n)) return true;
    WEXClientDisconnect(true);
    return false;
}

bool WEXClientReceiveExact(void* bytes, size_t n, bool dropOnFailure) {
    // No send lock: the reader thread receives without it. The stream lives until the reader
    // has been joined, and a requester receives only while it holds the send lock.
    TCPTransport* t = TheLink().transport.get();
    if (t == nullptr) return false;
    if (DaemonSocketReceiveExact(*t, bytes, n)) return true;
    if (dropOnFailure) WEXClientDisconnect(true);
    return false;
}

size_t WEXClientReceiveSome(void* bytes, size_t n) {
    TCPTransport* t = TheLink().transport.get();
    if (t == nullptr || n == 0 || t->GetErrorCode() != NetTransport::kErrorNone ||
        t->GetSocket() < 0)
        return 0;
    int got = t->Read(bytes, std::min(n, kNetChunkMax));
    if (got <= 0) {
        t->RaiseError(NetTransport::kErrorIO);
        return 0;
    }
    return static_cast<size_t>(got);
}

Kiv::CriticalSection& WEXClientSendLock() {
    return TheLink().sendLock;
}

uint32_t WEXClientLinkNumber() {
    return TheLink().linkNumber.load(std::memory_order_acquire);
}

bool WEXClientReaderShouldStop() {
    return TheLink().stopReader.load(std::memory_order_acquire);
}

Kiv::WEvent& WEXClientReceiveGate() {
    return TheLink().receiveGate;
}

int WEXClientLinkSocket() {
    TCPTransport* t = TheLink().transport.get();
    return t == nullptr ? -1 : t->GetSocket();
}

bool WEXClientLinkReadable() {
    // A stream already shut down counts: a receive on it fails at once, which is how its
    // reader learns that the link has ended.
    TCPTransport* t = TheLink().transport.get();
    return t == nullptr || t->GetSocket() < 0 || t->GetErrorCode() != NetTransport::kErrorNone ||
           t->HasData();
}

void WEXClientLinkDropped() {
    Link& l = TheLink();
    if (TCPTransport* t = l.transport.get()) t->Close();
    l.linkUp.store(false, std::memory_order_release);
    l.receiveGate.Set();
}

bool WEXClientIsOpen() {
    return TheLink().opened.load(std::memory_order_acquire);
}
bool WEXClientIsLinkUp() {
    return TheLink().linkUp.load(std::memory_order_acquire);
}
bool WEXClientDaemonStarted() {
    return TheLink().daemonStarted.load(std::memory_order_acquire);
}

WEXClientOptions WEXClientGetOptions() {
    Link& l = TheLink();
    Kiv::SingleLock lock(&l.sendLock, true);
    return l.options;
}

void WEXClientHelloWords(uint32_t& first, uint32_t& second) {
    Link& l = TheLink();
    std::lock_guard<Kiv::CriticalSection> lock(l.helloLock);
    first = l.helloWords[0];
    second = l.helloWords[1];
}

Kiv::WEvent& WEXDatabaseOpenEvent() {
    return TheLink().openEvent;
}

namespace WEXClient {

bool CloseDaemon() {
    WEXClientOptions::SetStartDaemon(false);
    TBuffer request;
    TBuffer reply;
    WEXClientTransact(kMessageCloseDaemon, request, &reply, nullptr, nullptr, false);
    WEXLinkTiming t = Timing();
    uint32_t waited = 0;
    while (WEXClientIsLinkUp()) {
        if (waited >= t.closeLimitMs) {
            LogOutputf("WEXClient::CloseDaemon> the daemon still holds the link after %u ms",
                       waited);
            return false;
        }
        uint32_t step = t.closePollMs > 0 ? t.closePollMs : 1;
        Sleep(step);
        waited += step;
    }
    return true;
}

}  // namespace WEXClient
