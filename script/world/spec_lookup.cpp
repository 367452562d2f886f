#include "script/world/spec_lookup.h"

#include <memory>
#include <mutex>

#include "assetdb/asset_handle.h"
#include "assetdb/asset_status.h"
#include "assetdb/wex_client_edit.h"
#include "script/host/spec_registry_host.h"

namespace HalvexWorld {

SpecPointer FindOrLoadSpec(const KUID& kuid) {
    ScriptSpecRegistry* registry = ScriptSpecRegistry::Get();
    if (registry == nullptr || kuid.IsNull()) return {};
    {
        std::lock_guard<SpecMutex> hold(SpecLock());
        if (ZuravedavaSpec* spec = registry->Find(kuid)) return SpecPointer(spec);
    }
    Kiv::String folder;
    {
        WEXAssetHandle handle = WEXClient::OpenAssetForEdit(kuid, false, 0);
        if (!WEXClient::GetHandlePath(handle, folder)) return {};
    }  // the handle is dropped at once
    ZuravedavaSpec* loaded = nullptr;
    {
        // Specs of assets are made by the scripted-asset factory unless a load under way has
        // chosen another.
        std::lock_guard<SpecMutex> hold(SpecLock());
        std::unique_ptr<WEXScript_HalvexBaseSpecFactory> factory;
        if (registry->CurrentFactory() == nullptr) {
            factory = std::make_unique<WEXScript_HalvexBaseSpecFactory>();
            registry->SetCurrentFactory(factory.get());
        }
        loaded = registry->LoadSpecFromFolder(folder.str());
        if (factory) registry->SetCurrentFactory(nullptr);
    }
    SpecPointer spec(loaded);
    if (loaded != nullptr) loaded->DropRef();  // the load's own reference, now the pointer's
    return spec;
}

void DropSpec(SpecPointer& spec) {
    spec.Release();
}

bool SpecIsLocallyModified(const SpecPointer& spec) {
    // Asked of the database each time: the answer changes with every commit of the asset.
    return spec && WEXAssetIsLocallyModified(spec->Kuid());
}

}  // namespace HalvexWorld
