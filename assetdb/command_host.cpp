// The command host's loop and its calls.
#include "assetdb/command_host.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "assetdb/daemon_link.h"
#include "assetdb/notifications.h"
#include "assetdb/reply_reading.h"
#include "assetdb/resource_cache_flush.h"
#include "assetdb/resource_db_registry.h"
#include "assetdb/spec_registry.h"
#include "foundation/crash.h"
#include "foundation/logging.h"
#include "foundation/main_thread.h"
#include "foundation/tbuffer.h"
#include "foundation/worker_queue.h"
#include "validation/results_log.h"

namespace {

struct HostState {
    std::mutex lock;
    WEXCommandHostCalls calls;
    WEXCommandHostTiming timing;
    std::atomic<uint32_t> passes{0};
    std::atomic<uint32_t> keepAlives{0};
};

HostState& State() {
    static HostState state;
    return state;
}

WEXCommandHostCalls Calls() {
    std::lock_guard<std::mutex> hold(State().lock);
    return State().calls;
}

WEXCommandHostTiming Timing() {
    std::lock_guard<std::mutex> hold(State().lock);
    return State().timing;
}

const char* CallLogLine(uint32_t id) {
    switch (id) {
        case kHostCallValidate:
            return "CommandHostCallback> WEX_CMDHOST_VALIDATE";
        case kHostCallTextureConvert:
            return "CommandHostCallback> WEX_CMDHOST_TEXTURECONVERT";
        case kHostCallSaveToDisk:
            return "CommandHostCallback> WEX_CMDHOST_ARCHIVE_SAVETODISK";
        case kHostCallInstall:
            return "CommandHostCallback> WEX_CMDHOST_ARCHIVE_INSTALL";
        default:
            return nullptr;
    }
}

void NotAvailable(ResultsLog& log, const char* text) {
    AddMessage(log, kResultsError, HalvexPropertyRef(), Kiv::String(text));
}

// An interned string (u32 length with its NUL, then the bytes) or a text (u32 length, the
// bytes): false when the payload holds fewer bytes than the length claims.
bool ReadChecked(TStream& payload, std::string& out, bool interned) {
    uint32_t length = 0;
    if (!payload.ReadU32(length)) return false;
    if (length > WEXReplyBytesLeft(payload)) return false;
    out.assign(length, '\0');
    if (length != 0 && payload.ReadBytes(out.data(), length) != length) return false;
    if (interned && length != 0) {
        // The NUL ends it; anything after a NUL inside is not part of the name.
        out.resize(std::min<size_t>(out.find('\0'), out.size()));
    }
    return true;
}

// The KUID list: a count no larger than the ids the payload still holds.
bool ReadAssetList(TStream& payload, std::vector<KUID>& out) {
    uint32_t count = 0;
    if (!payload.ReadU32(count)) return false;
    if (count > WEXReplyBytesLeft(payload) / 8) return false;
    out.resize(count);
    for (KUID& asset : out)
        payload.ReadKUID(asset);
    return !payload.HasError();
}

class ResourceDatabaseHold {
public:
    explicit ResourceDatabaseHold(const Kiv::PString& location)
        : database_(AcquireAssetResourceDatabase(location).database) {}
    ~ResourceDatabaseHold() {
        if (database_ != nullptr) ReleaseAssetResourceDatabase(database_);
    }
    ResourceDatabaseHold(const ResourceDatabaseHold&) = delete;
    ResourceDatabaseHold& operator=(const ResourceDatabaseHold&) = delete;

private:
    Kiv::ResourceDatabase* database_;
};

void Complete() {
    LogOutputf("CommandHostCallback> complete");
}

// What every call that read its payload leaves behind is let go.
void AfterCall() {
    if (SpecRegistry* specs = SpecRegistry::Instance()) specs->ReportLeaks();
    FlushResourceCacheOnMainThread();
}

}  // namespace

bool ReadCommandHostCall(TStream& payload, WEXCommandHostCall& out) {
    out = WEXCommandHostCall();
    payload.ReadU32(out.id);
    std::string location;
    switch (out.id) {
        case kHostCallValidate:
        case kHostCallTextureConvert:
            if (!ReadChecked(payload, location, true) ||
                !ReadChecked(payload, out.folder, out.id == kHostCallValidate))
                return false;
            out.location = Kiv::PString(location);
            break;
        case kHostCallSaveToDisk:
        case kHostCallInstall:
            payload.ReadU32(out.archiveWord);
            if (payload.HasError() || !ReadChecked(payload, out.archivePath, true) ||
                !ReadAssetList(payload, out.assets))
                return false;
            break;
        default:
            break;
    }
    return !payload.HasError();
}

void WEXSetCommandHostCalls(const WEXCommandHostCalls& calls) {
    std::lock_guard<std::mutex> hold(State().lock);
    State().calls = calls;
}

WEXCommandHostCalls WEXGetCommandHostCalls() {
    return Calls();
}

bool ValidateAssetFolder(const Kiv::PString& location, std::string_view folder, ResultsLog& log) {
    WEXCommandHostCalls calls = Calls();
    if (calls.validate == nullptr) {
        NotAvailable(log, kValidationNotAvailable);
        return false;
    }
    return calls.validate(location, folder, log);
}

void CommandHostCallback(TStream& payload, TStream& answer) {
    WEXCommandHostCall call;
    const bool whole = ReadCommandHostCall(payload, call);
    if (const char* line = CallLogLine(call.id)) LogOutputf("%s", line);
    if (!whole) {
        LogOutputf("CommandHostCallback> the call's payload is cut short; no answer");
        return;
    }
    WEXCommandHostCalls calls = Calls();
    switch (call.id) {
        case kHostCallValidate: {
            ResourceDatabaseHold database(call.location);
            ResultsLog log;
            bool ok = ValidateAssetFolder(call.location, call.folder, log);
            log.WriteToStream(answer, 0);
            answer.WriteU8(ok ? 1 : 0);
            Complete();
            break;
        }
        case kHostCallTextureConvert: {
            ResourceDatabaseHold database(call.location);
            ResultsLog log;
            uint32_t result = 0;
            if (calls.convertTextures == nullptr)
                NotAvailable(log, kTexturesNotAvailable);
            else
                result = calls.convertTextures(call.location, call.folder, log);
            log.WriteToStream(answer, 0);
            answer.WriteU32(result);
            Complete();
            break;
        }
        case kHostCallSaveToDisk: {
            ResultsLog log;
            bool saved = false;
            if (calls.saveToDisk == nullptr)
                NotAvailable(log, kArchivesNotAvailable);
            else
                saved = calls.saveToDisk(call.archiveWord, call.archivePath, call.assets, log);
            log.WriteToStream(answer, 0);
            answer.WriteU32(saved ? 1u : 0u);
            Complete();
            break;
        }
        case kHostCallInstall: {
            ResultsLog log;
            if (calls.install == nullptr)
                NotAvailable(log, kArchivesNotAvailable);
            else
                calls.install(call.archiveWord, call.assets, call.archivePath, log);
            log.WriteToStream(answer, 0);
            answer.WriteU32(static_cast<uint32_t>(call.assets.size()));
            for (const KUID& asset : call.assets)
                answer.WriteKUID(asset);
            Complete();
            break;
        }
        default:
            LogOutputf("CommandHostCallback> unsupported commandID=%u", call.id);
            break;
    }
    AfterCall();
}

int WEXCommandHost() {
    HostState& state = State();
    const WEXCommandHostTiming timing = Timing();
    state.passes = 0;
    state.keepAlives = 0;
    SetWEXCommandHostCallback(&CommandHostCallback);
    {
        TBuffer empty;
        WEXClientPost(kMessageRegisterCommandHost, empty);
    }
    OS::InstallCrashHandlers(false);
    OS::RemoveConsoleCloseButton();
    LogOutputf("WEXCommandHost");

    while (WEXClientIsLinkUp()) {
        if (OS::IsCloseRequested()) break;
        WaitForMainThreadCalls(timing.passWaitMs);
        uint32_t pass = ++state.passes;
        if (timing.keepAlivePasses != 0 && pass % timing.keepAlivePasses == 0) {
            TBuffer empty;
            TBuffer reply;
            ++state.keepAlives;
            WEXClientTransact(kMessageKeepAlive, empty, &reply, nullptr, nullptr, false);
        }
        RunIdleTasks();
    }

    SetWEXCommandHostCallback(nullptr);
    OS::DisarmCrashHandlers();
    LogOutputf("WEXCommandHost shutting down...");

    WorkerCallQueue& queue = WorkerCallQueue::Instance();
    for (;;) {
        bool ran = false;
        queue.RunPending(0, &ran);
        if (!queue.HasWork() && !ran) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(timing.drainWaitMs));
    }
    return 0;
}

void SetWEXCommandHostTiming(const WEXCommandHostTiming& timing) {
    std::lock_guard<std::mutex> hold(State().lock);
    State().timing = timing;
}

uint32_t WEXCommandHostPasses() {
    return State().passes.load();
}

uint32_t WEXCommandHostKeepAlives() {
    return State().keepAlives.load();
}
