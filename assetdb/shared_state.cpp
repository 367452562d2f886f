#include "assetdb/shared_state.h"

#include <atomic>
#include <bit>
#include <memory>
#include <mutex>

#include "foundation/logging.h"
#include "foundation/statics.h"
#include "platform/kiv/base/file.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/shared_memory.h"
#include "platform/kiv/base/sync.h"
#include "platform/kiv/base/text.h"
#include "platform/kiv/base/thread.h"
#include "platform/system/named_mutex.h"
#include "platform/system/process.h"
#include "platform/system/shared_memory.h"

namespace {

constexpr std::string_view kDatabaseFileName = "assets.wbi";
constexpr std::string_view kNamePrefix = "09731AC6-B611-4e2a-B181-578073F64F24";
constexpr std::string_view kMappingSuffix = "-ipc2";

uint32_t FromLittleEndian(uint32_t v) {
    if constexpr (std::endian::native == std::endian::big) return __builtin_bswap32(v);
    return v;
}

// This process's side of the block.
struct ClientState {
    Kiv::CriticalSection lock;
    Sys::NamedMutex mutex;
    std::unique_ptr<Kiv::SharedMemory> memory;
    std::string mappingName;
    uint8_t* bytes = nullptr;
    uint32_t ownId = 0;
    bool holder = false;
    std::string refusal;  // why the last attach was refused, guarded by lock
};

ClientState& State() {
    static ProcessStatic<ClientState> state("shared-state client");
    return state.Get();
}

[[maybe_unused]] const bool kBuilt = (State(), true);

bool IsAlive(uint32_t processId) {
    return Sys::IsProcessAlive(processId);
}

void DetachLocked(ClientState& s) {
    if (!s.mutex.IsOpen()) return;
    if (s.bytes != nullptr) {
        WEXSharedState block(s.bytes);
        if (block.Owner() == s.ownId) block.SetWord(WEXSharedState::kOwnerOffset, kNoProcess);
    }
    s.mutex.Lock();
    if (s.bytes != nullptr && s.holder) {
        WEXSharedState block(s.bytes);
        block.SetWord(WEXSharedState::kHolderOffset, kNoProcess);
        if (block.Version() >= 1 && block.Count() > 0) block.SetCount(block.Count() - 1);
    }
    // The last process to leave takes the block with it, as the system would have.
    bool last = s.mutex.IsOnlyUser();
    s.memory.reset();
    s.bytes = nullptr;
    if (last) Sys::SharedMemory::Remove(s.mappingName);
    s.mutex.Close();  // releases the mutex too
    s.holder = false;
}

void ClearIfDead(ClientState& s, size_t offset, const char* what) {
    WEXSharedState block(s.bytes);
    uint32_t id = block.Word(offset);
    if (id == kNoProcess || id == s.ownId || IsAlive(id)) return;
    std::lock_guard<Sys::NamedMutex> hold(s.mutex);
    if (block.Word(offset) != id) return;
    LogOutputf("IPCIdle> clearing dead database %s (%s processID was %d)", what, what,
               static_cast<int>(id));
    block.SetWord(offset, kNoProcess);
}

}  // namespace

uint32_t WEXSharedState::Word(size_t offset) const {
    auto* word = reinterpret_cast<uint32_t*>(bytes_ + offset);
    return FromLittleEndian(std::atomic_ref<uint32_t>(*word).load(std::memory_order_acquire));
}

void WEXSharedState::SetWord(size_t offset, uint32_t value) {
    auto* word = reinterpret_cast<uint32_t*>(bytes_ + offset);
    std::atomic_ref<uint32_t>(*word).store(FromLittleEndian(value), std::memory_order_release);
}

uint8_t WEXSharedState::Count() const {
    return std::atomic_ref<uint8_t>(bytes_[kCountOffset]).load(std::memory_order_acquire);
}

void WEXSharedState::SetCount(uint8_t value) {
    std::atomic_ref<uint8_t>(bytes_[kCountOffset]).store(value, std::memory_order_release);
}

void WEXSharedState::Initialise(uint32_t holder) {
    SetWord(kHolderOffset, holder);
    SetWord(kOwnerOffset, kNoProcess);
    SetWord(kRequesterOffset, kNoProcess);
    SetWord(kReservedOffset, 0);
    SetWord(kVersionOffset, kSharedStateVersion);
    SetCount(1);
    SetWord(kClosingOffset, 0);
    std::atomic_ref<uint8_t>(bytes_[kReserved2Offset]).store(0, std::memory_order_release);
    SetWord(kPortOffset, 0);
}

SharedStateNames SharedStateNamesFor(std::string_view databasePath) {
    std::string lower = Kiv::ToLowerAscii(databasePath);
    if (lower.size() < kDatabaseFileName.size() + 1 ||
        lower.find(kDatabaseFileName) != lower.size() - kDatabaseFileName.size())
        return {};
    // The separator and the file name go; the folder, in the caller's letter case, must exist.
    size_t folderLength = databasePath.size() - kDatabaseFileName.size() - 1;
    if (!Kiv::File::IsPresent(databasePath.substr(0, folderLength))) return {};
    Kiv::File::Path name(kNamePrefix);
    name.AddPath(std::string_view(lower).substr(0, folderLength));
    name.ReplaceBackSlashes();
    SharedStateNames names;
    names.mutex = name.str();
    names.mapping = names.mutex + std::string(kMappingSuffix);
    return names;
}

bool AttachSharedState(std::string_view databasePath) {
    ClientState& s = State();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    if (s.mutex.IsOpen()) return true;
    SharedStateNames names = SharedStateNamesFor(databasePath);
    if (names.mutex.empty()) return false;
    s.ownId = Sys::GetCurrentProcessId();
    s.refusal.clear();
    Sys::NamedMutex::OpenResult opened = s.mutex.Create(names.mutex, true);
    if (opened == Sys::NamedMutex::OpenResult::kFailed) {
        s.refusal = s.mutex.GetError();
        LogOutputf("AttachSharedState> %s", s.refusal.c_str());
        return false;
    }
    bool created = opened == Sys::NamedMutex::OpenResult::kCreated;

    s.mappingName = names.mapping;
    s.memory = std::make_unique<Kiv::SharedMemory>(names.mapping, kSharedStateSize);
    if (!s.memory->Create() || s.memory->Attach() == nullptr) {
        s.refusal = s.memory->GetError();
        if (!s.refusal.empty()) LogOutputf("AttachSharedState> %s", s.refusal.c_str());
        s.memory.reset();
        s.mutex.Close();  // releases it too when this process owned it from creation
        return false;
    }
    s.bytes = static_cast<uint8_t*>(s.memory->Attach());
    WEXSharedState block(s.bytes);
    if (created) {
        block.Initialise(s.ownId);
        s.holder = true;
        s.mutex.Unlock();
    } else {
        if (block.Closing() != 0) {
            DetachLocked(s);
            return false;
        }
        if (block.Version() == 0 && block.Holder() == 0) block.Initialise(s.ownId);
        if (block.Version() >= 1) {
            if (block.Count() < 0xFF) block.SetCount(block.Count() + 1);
        } else {
            block.SetCount(0xFF);
        }
    }
    IPCIdle();
    IPCIdle();
    return true;
}

std::string GetSharedStateRefusal() {
    ClientState& s = State();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    return s.refusal;
}

void DetachSharedState() {
    ClientState& s = State();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    DetachLocked(s);
}

void IPCIdle() {
    ClientState& s = State();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    if (!s.mutex.IsOpen() || s.bytes == nullptr) return;
    WEXSharedState block(s.bytes);
    if (!s.holder) {
        auto vacant = [&] {
            uint32_t holder = block.Holder();
            return holder == kNoProcess || !IsAlive(holder);
        };
        if (!vacant()) return;
        std::lock_guard<Sys::NamedMutex> hold(s.mutex);
        if (vacant()) {
            block.SetWord(WEXSharedState::kHolderOffset, s.ownId);
            s.holder = true;
        }
        return;
    }
    ClearIfDead(s, WEXSharedState::kOwnerOffset, "owner");
    ClearIfDead(s, WEXSharedState::kRequesterOffset, "requester");
    auto ownsBoth = [&] { return block.Owner() == s.ownId && block.Requester() == s.ownId; };
    if (ownsBoth()) {
        std::lock_guard<Sys::NamedMutex> hold(s.mutex);
        if (ownsBoth()) block.SetWord(WEXSharedState::kRequesterOffset, kNoProcess);
    }
}

bool IsDatabaseOwner() {
    ClientState& s = State();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    return s.bytes != nullptr && WEXSharedState(s.bytes).Owner() == s.ownId;
}

void GiveUpDatabaseOwnership() {
    ClientState& s = State();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    if (s.bytes == nullptr) return;
    WEXSharedState block(s.bytes);
    if (block.Owner() == s.ownId) block.SetWord(WEXSharedState::kOwnerOffset, kNoProcess);
}

uint32_t GetDaemonPort() {
    ClientState& s = State();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    if (s.bytes == nullptr) return 0;
    WEXSharedState block(s.bytes);
    if (block.Owner() == s.ownId) return 0;
    // Any process of the user may have written the word: one no daemon could listen on is none.
    uint32_t port = block.Port();
    return port <= 0xFFFF ? port : 0;
}

bool IsSharedStateAttached() {
    ClientState& s = State();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    return s.bytes != nullptr;
}

bool IsSharedStateHolder() {
    ClientState& s = State();
    std::lock_guard<Kiv::CriticalSection> lock(s.lock);
    return s.holder;
}
