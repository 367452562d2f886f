#include "assetdb/asset_handle.h"

#include <atomic>
#include <utility>

#include "assetdb/request_ids.h"
#include "assetdb/request_payload.h"

struct WEXAssetHandle::Block {
    std::atomic<uint32_t> count{1};
    uint64_t daemonHandle = kNoDaemonHandle;
    KUID asset;
    Kiv::PString name;
    Kiv::String folder;
    bool open = false;
};

WEXAssetHandle WEXAssetHandle::Open(uint64_t daemonHandle, const KUID& asset, Kiv::PString name,
                                    Kiv::String folder, bool open, uint8_t flags) {
    WEXAssetHandle handle;
    if (daemonHandle == kNoDaemonHandle) return handle;
    handle.block_ = new Block;
    handle.block_->daemonHandle = daemonHandle;
    handle.block_->asset = asset;
    handle.block_->name = std::move(name);
    handle.block_->folder = std::move(folder);
    handle.block_->open = open;
    handle.flags_ = flags;
    return handle;
}

WEXAssetHandle::WEXAssetHandle(const WEXAssetHandle& other)
    : block_(other.block_), flags_(other.flags_) {
    if (block_ != nullptr) block_->count.fetch_add(1, std::memory_order_relaxed);
}

WEXAssetHandle::WEXAssetHandle(WEXAssetHandle&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)), flags_(other.flags_) {}

WEXAssetHandle& WEXAssetHandle::operator=(const WEXAssetHandle& other) {
    // Read before releasing: `other` may be this handle.
    Block* block = other.block_;
    uint8_t flags = other.flags_;
    if (block != nullptr) block->count.fetch_add(1, std::memory_order_relaxed);
    Release();
    block_ = block;
    flags_ = flags;
    return *this;
}

WEXAssetHandle& WEXAssetHandle::operator=(WEXAssetHandle&& other) noexcept {
    if (this != &other) {
        Release();
        block_ = std::exchange(other.block_, nullptr);
        flags_ = other.flags_;
    }
    return *this;
}

void WEXAssetHandle::Release() {
    Block* block = std::exchange(block_, nullptr);
    if (block == nullptr) return;
    if (block->count.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    Close(block->daemonHandle);
    delete block;
}

uint64_t WEXAssetHandle::GetDaemonHandle() const {
    return block_ ? block_->daemonHandle : kNoDaemonHandle;
}

KUID WEXAssetHandle::GetAsset() const {
    return block_ ? block_->asset : KUID::kNull;
}

Kiv::PString WEXAssetHandle::GetName() const {
    return block_ ? block_->name : Kiv::PString();
}

Kiv::String WEXAssetHandle::GetFolder() const {
    return block_ ? block_->folder : Kiv::String();
}

bool WEXAssetHandle::IsOpen() const {
    return block_ != nullptr && block_->open;
}

uint32_t WEXAssetHandle::GetHolderCount() const {
    return block_ ? block_->count.load(std::memory_order_acquire) : 0;
}

void WEXAssetHandle::SetOpened(Kiv::PString name, Kiv::String folder) {
    if (block_ == nullptr) return;
    block_->name = std::move(name);
    block_->folder = std::move(folder);
    block_->open = true;
}

void WEXAssetHandle::ClearOpen() {
    if (block_ != nullptr) block_->open = false;
}

void WEXAssetHandle::Close(uint64_t daemonHandle) {
    WEXPayload payload("WEXAssetHandle::Close");
    payload.WriteU64(daemonHandle);
    TBuffer reply;
    WEXTransact(kWEXRequestCloseHandle, payload, reply);
}
