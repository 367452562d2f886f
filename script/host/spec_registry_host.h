// The script host's spec registry: the live specs in creation order, a hash of 4093 buckets
// keyed by the asset's three id words, the registered spec factories and the factory of the
// creation under way. One process-wide lock guards all of it; it is never held across a
// compile. Installed as the database link's registry at start-up (InstallScriptSpecRegistry).
#pragma once

#include <array>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "assetdb/spec_registry.h"
#include "script/host/asset_spec.h"

class ScriptSpecRegistry : public SpecRegistry {
public:
    static constexpr uint32_t kBuckets = 4093;

    ScriptSpecRegistry();
    ~ScriptSpecRegistry() override;

    // The link's registry when it is the script host's; null otherwise.
    static ScriptSpecRegistry* Get();
    static uint32_t BucketOf(const SpecAssetId& id);

    // The asset spec of the id, or null; no reference is taken.
    ZuravedavaSpec* Find(const SpecAssetId& id);
    ZuravedavaSpec* Find(const KUID& kuid) { return Find(SpecAssetId::Of(kuid)); }
    bool Insert(ZuravedavaSpec* spec);
    void Forget(const SpecAssetId& id);
    void Forget(const KUID& asset) override { Forget(SpecAssetId::Of(asset)); }
    // Forgets the asset spec when it is still the one registered under its id, and drops one of its
    // references either way.
    void Release(ZuravedavaSpec* spec);
    // Makes a spec with the factory registered under that name (letter case ignored) and
    // inserts it; null when no such factory is registered.
    ZuravedavaSpec* Create(const Kiv::PString& factory, const KUID& kuid, Kiv::String folder,
                           Kiv::String name, TDBTagRef config);
    // Reads the folder's configuration and creates its spec with the current factory; one
    // reference for the caller, or null.
    ZuravedavaSpec* LoadSpecFromFolder(std::string_view folder);
    // Deletes the specs nobody holds; true when one was deleted.
    bool Purge();
    void ReportLeaks() override;

    void RegisterFactory(KTSpecFactory* factory);
    void UnregisterFactory(KTSpecFactory* factory);
    void SetCurrentFactory(KTSpecFactory* factory);
    KTSpecFactory* CurrentFactory();

    size_t LiveCount();
    size_t HashedCount();

private:
    bool PurgeLocked();
    void ForgetLocked(const SpecAssetId& id);
    ZuravedavaSpec* FindLocked(const SpecAssetId& id);

    std::vector<ZuravedavaSpec*> live_;
    std::vector<KTSpecFactory*> factories_;
    // Each entry keeps the spec's id beside it, so a look-up reads no spec but the one found.
    struct Entry {
        SpecAssetId id;
        ZuravedavaSpec* spec;
    };
    std::array<std::vector<Entry>, kBuckets> buckets_;
    size_t hashed_ = 0;
    KTSpecFactory* current_ = nullptr;
};

// The one lock of the registries and their specs.
std::recursive_mutex& SpecLock();

// Makes the link's registry the script host's (start-up, before the link opens).
void InstallScriptSpecRegistry();
