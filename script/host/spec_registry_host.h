// The script host's asset spec registry: the live asset specs in creation order, a hash keyed by
// the asset's three id words, the registered asset spec factories and the factory of the creation
// under way. One process-wide lock guards all of it; it is never held across a compile. Installed
// as the database link's registry at start-up (InstallScriptSpecRegistry).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string_view>
#include <vector>

#include "assetdb/spec_registry.h"
#include "script/host/asset_spec.h"

class ScriptSpecRegistry : public SpecRegistry {
public:
    // Slots of the hash when the registry is made (a power of two); it doubles past half full.
    static constexpr uint32_t kInitialSlots = 4096;

    ScriptSpecRegistry();
    ~ScriptSpecRegistry() override;

    // The link's registry when it is the script host's; null otherwise.
    static ScriptSpecRegistry* Get();
    // The slot where the id's probe starts, in a hash of 2^bits slots.
    static uint32_t HomeSlot(const SpecAssetId& id, unsigned bits);

    // The asset spec of the id, or null; no reference is taken. A caller that keeps the asset spec
    // holds SpecLock() from the look-up until it has taken its reference.
    ZuravedavaSpec* Find(const SpecAssetId& id);
    ZuravedavaSpec* Find(const KUID& kuid) { return Find(SpecAssetId::Of(kuid)); }
    // Tests only: Find with `between` run after its unlocked probe and before the check that
    // nothing changed meanwhile, where another thread's change could land.
    ZuravedavaSpec* FindProbingForTesting(const SpecAssetId& id, void (*between)());
    bool Insert(ZuravedavaSpec* spec);
    void Forget(const SpecAssetId& id);
    void Forget(const KUID& asset) override { Forget(SpecAssetId::Of(asset)); }
    // Forgets the asset spec when it is still the one registered under its id, and drops one of its
    // references either way.
    void Release(ZuravedavaSpec* spec);
    // Makes an asset spec with the factory registered under that name (letter case ignored) and
    // inserts it; null when no such factory is registered.
    ZuravedavaSpec* Create(const Kiv::PString& factory, const KUID& kuid, Kiv::String folder,
                           Kiv::String name, TDBTagRef config);
    // Reads the folder's configuration and creates its asset spec with the current factory; one
    // reference for the caller, or null.
    ZuravedavaSpec* LoadSpecFromFolder(std::string_view folder);
    // Deletes the asset specs nobody holds; true when one was deleted.
    bool Purge();
    void ReportLeaks() override;

    void RegisterFactory(KTSpecFactory* factory);
    void UnregisterFactory(KTSpecFactory* factory);
    void SetCurrentFactory(KTSpecFactory* factory);
    KTSpecFactory* CurrentFactory();

    size_t LiveCount();
    size_t HashedCount();

private:
    template <typename Between>
    ZuravedavaSpec* FindProbing(const SpecAssetId& id, Between between);

    // Open addressing with linear probing in one flat array: a look-up reads a line or two of
    // slots and no asset spec but the one found, where a table of bucket lists would chase a
    // pointer per bucket. An empty slot has no asset spec. Entries of one id keep their insertion
    // order along the probe, so the first one inserted is the one found. The words are atomics
    // because Find reads them without the lock (see SpecMutex); writers change them only under it.
    struct Entry {
        std::atomic<uint32_t> w1{0}, w2{0}, w3{0};
        std::atomic<ZuravedavaSpec*> spec{nullptr};
    };
    struct Table {
        explicit Table(unsigned b) : bits(b), slots(new Entry[size_t{1} << b]) {}
        uint32_t Mask() const { return (uint32_t{1} << bits) - 1; }
        const unsigned bits;
        const std::unique_ptr<Entry[]> slots;
    };

    bool PurgeLocked();
    void ForgetLocked(const SpecAssetId& id);
    ZuravedavaSpec* FindLocked(const SpecAssetId& id);
    // The slot holding the first entry of the id (of that very asset spec when one is given),
    // or -1.
    int64_t SlotOfLocked(const SpecAssetId& id, const ZuravedavaSpec* spec) const;
    void EraseSlotLocked(uint32_t slot);
    static void PlaceLocked(Table& t, const SpecAssetId& id, ZuravedavaSpec* spec);
    void GrowLocked();

    std::vector<ZuravedavaSpec*> live_;
    std::vector<KTSpecFactory*> factories_;
    std::atomic<Table*> table_;
    // Tables outgrown stay until the registry goes: a Find may still be reading one.
    std::vector<std::unique_ptr<Table>> tables_;
    size_t hashed_ = 0;
    KTSpecFactory* current_ = nullptr;
};

// The one lock of the registries and their asset specs: a recursive mutex that also counts its
// outermost holds. The count is odd while a thread holds the lock, so a reader that saw the
// same even count before and after reading saw what it would have seen holding the lock.
class SpecMutex {
public:
    void lock() {
        mutex_.lock();
        if (depth_++ == 0)
            sequence_.store(sequence_.load(std::memory_order_relaxed) + 1,
                            std::memory_order_relaxed);
    }
    void unlock() {
        if (--depth_ == 0)
            sequence_.store(sequence_.load(std::memory_order_relaxed) + 1,
                            std::memory_order_release);
        mutex_.unlock();
    }
    // The count before an unlocked read; odd means held, and the reader must take the lock.
    uint64_t ReadBegin() const { return sequence_.load(std::memory_order_acquire); }
    // Whether nothing was changed under the lock since ReadBegin gave `begin`. The reads between
    // must be acquire loads, so that this load cannot be done before them.
    bool ReadValid(uint64_t begin) const {
        return sequence_.load(std::memory_order_relaxed) == begin;
    }

private:
    std::recursive_mutex mutex_;
    int depth_ = 0;  // only the holder touches it
    std::atomic<uint64_t> sequence_{0};
};

SpecMutex& SpecLock();

// Makes the link's registry the script host's (start-up, before the link opens).
void InstallScriptSpecRegistry();
