// Requests that open, create, commit, revert and delete assets, and the folder of an opened
// asset. An opened asset is held by a WEXAssetHandle; the last copy of it closes the daemon's
// handle. A commit or delete the daemon confirms drops the asset's cached spec.
#pragma once

#include <cstdint>
#include <string_view>

#include "assetdb/asset_handle.h"
#include "configdata/kuid.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

class ResultsLog;

namespace WEXClient {

// Opens the asset for editing: a handle (open flag set, with the asset's name and the folder
// of its editable copy, and the caller's flag byte), and that folder in `folder` when given.
// An empty handle when the daemon opened nothing, answered without a handle, or cannot be
// reached. The flag is the daemon's.
WEXAssetHandle OpenAssetForEdit(const KUID& asset, bool flag, uint8_t handleFlags = 0,
                                Kiv::String* folder = nullptr);

// Creates an asset under the given name: a handle on the KUID the daemon made, with its name
// and folder (open flag clear). An empty handle as above; a name over 65,535 bytes is refused
// with a warning.
WEXAssetHandle CreateAsset(const KUID& asset, bool flag, std::string_view name,
                           uint8_t handleFlags = 0);

// The folder of the opened asset, and its name when asked. A handle that is open answers from
// its block; otherwise the daemon is asked and its answer stored in the block, which is then
// open. True when the folder is not empty. An empty handle gives false, no name and an empty
// path; a daemon that cannot be reached gives false with both left as they were.
bool GetHandlePath(WEXAssetHandle& handle, Kiv::String& path, Kiv::PString* name = nullptr);

// Reverts the opened asset to its stored state: the daemon's answer. The handle is released
// afterwards in any case. False without an asset on the handle or without an answer.
bool RevertAsset(WEXAssetHandle& handle, ResultsLog* log);

// Commits the opened asset: true when committed, with the daemon's second answer in `second`
// when given. The open flag is cleared in any case; after a commit the handle's flag byte is
// cleared and the asset's cached spec dropped. False without an asset on the handle or
// without an answer. The flags word is the daemon's.
bool CommitAsset(WEXAssetHandle& handle, uint32_t flags, bool* second, ResultsLog* log);

// Deletes the asset: the daemon's answer; after a delete the asset's cached spec is dropped.
// False without an answer.
bool DeleteAsset(const KUID& asset, bool flag, ResultsLog* log);

}  // namespace WEXClient
