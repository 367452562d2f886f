// WEXAssetHandle: a shared handle on an asset that the daemon opened for this program (for
// editing, or by creating it). Copies share one block holding a count, the daemon's 64-bit
// handle, the asset's KUID, its name, the folder of its editable copy and the open flag; the
// last copy to go closes the daemon's handle (one close request) and frees the block. Each
// copy also carries a flag byte of its own that the opening caller chooses.
//
// The count may be changed from any thread; the block's other fields are read and set by the
// request wrappers of the thread that uses the handle.
#pragma once

#include <cstdint>

#include "configdata/kuid.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

class WEXAssetHandle {
public:
    // The daemon's answer when no asset was opened.
    static constexpr uint64_t kNoDaemonHandle = 0xFFFFFFFFFFFFFFFFull;

    // An empty handle: holds no block, and releasing it sends nothing.
    WEXAssetHandle() = default;
    // A handle on what the daemon opened, the block's only holder; an empty handle when the
    // daemon handle is kNoDaemonHandle.
    static WEXAssetHandle Open(uint64_t daemonHandle, const KUID& asset, Kiv::PString name,
                               Kiv::String folder, bool open, uint8_t flags);

    WEXAssetHandle(const WEXAssetHandle& other);
    WEXAssetHandle(WEXAssetHandle&& other) noexcept;
    // Takes the other block before releasing its own, so assigning a copy of the same block
    // never closes it.
    WEXAssetHandle& operator=(const WEXAssetHandle& other);
    WEXAssetHandle& operator=(WEXAssetHandle&& other) noexcept;
    ~WEXAssetHandle() { Release(); }

    // Drops this copy's hold; the last one closes the daemon's handle. The handle is empty
    // afterwards.
    void Release();
    // Shares the other's block (the engine's Copy).
    void Copy(const WEXAssetHandle& other) { *this = other; }

    bool IsValid() const { return block_ != nullptr; }
    // kNoDaemonHandle for an empty handle.
    uint64_t GetDaemonHandle() const;
    // The null KUID, no name, an empty folder and a clear open flag for an empty handle.
    KUID GetAsset() const;
    Kiv::PString GetName() const;
    Kiv::String GetFolder() const;
    bool IsOpen() const;
    // Holders of the block (0 for an empty handle).
    uint32_t GetHolderCount() const;

    uint8_t GetFlags() const { return flags_; }
    void SetFlags(uint8_t flags) { flags_ = flags; }

    // Stores the daemon's answer for the asset's name and folder and marks it open. Nothing
    // on an empty handle.
    void SetOpened(Kiv::PString name, Kiv::String folder);
    // Clears the open flag. Nothing on an empty handle.
    void ClearOpen();

    // Sends the daemon the close request for that handle; the reply is not read.
    static void Close(uint64_t daemonHandle);

private:
    struct Block;
    Block* block_ = nullptr;
    uint8_t flags_ = 0;
};
