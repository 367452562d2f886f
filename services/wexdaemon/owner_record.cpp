#include "services/wexdaemon/owner_record.h"

#include <mutex>

#include "assetdb/shared_state.h"
#include "platform/system/named_mutex.h"
#include "platform/system/process.h"
#include "platform/system/shared_memory.h"

namespace wexd {

namespace {

// The daemon joins the block as every client does (so it counts among its users, may become
// its holder and keeps it tidy), and holds a second handle of its own on the block's mutex and
// bytes for the two fields only the owner writes.
class SharedStateOwnerRecord final : public OwnerRecord {
public:
    ~SharedStateOwnerRecord() override { Withdraw(); }

    bool Publish(std::string_view databasePath, uint16_t port, std::string& error) override {
        SharedStateNames names = SharedStateNamesFor(databasePath);
        if (names.mutex.empty() || !AttachSharedState(databasePath)) {
            error = "cannot join the shared-state block of " + std::string(databasePath);
            return false;
        }
        if (mutex_.Create(names.mutex, false) == Sys::NamedMutex::OpenResult::kFailed ||
            !memory_.Open(names.mapping, kSharedStateSize)) {
            error = "cannot open the shared-state block of " + std::string(databasePath);
            Release();
            return false;
        }
        std::lock_guard<Sys::NamedMutex> hold(mutex_);
        WEXSharedState block(memory_.Data());
        block.SetWord(WEXSharedState::kPortOffset, port);
        block.SetWord(WEXSharedState::kOwnerOffset, Sys::GetCurrentProcessId());
        published_ = true;
        return true;
    }

    void Idle() override {
        if (published_) IPCIdle();
    }

    void Withdraw() override {
        if (!published_) return;
        {
            std::lock_guard<Sys::NamedMutex> hold(mutex_);
            WEXSharedState block(memory_.Data());
            if (block.Owner() == Sys::GetCurrentProcessId()) {
                block.SetWord(WEXSharedState::kPortOffset, 0);
                block.SetWord(WEXSharedState::kOwnerOffset, kNoProcess);
            }
        }
        published_ = false;
        Release();
    }

private:
    void Release() {
        memory_.Close();
        mutex_.Close();
        DetachSharedState();
    }

    Sys::NamedMutex mutex_;
    Sys::SharedMemory memory_;
    bool published_ = false;
};

}  // namespace

std::unique_ptr<OwnerRecord> MakeSharedStateOwnerRecord() {
    return std::make_unique<SharedStateOwnerRecord>();
}

}  // namespace wexd
