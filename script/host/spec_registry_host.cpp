#include "script/host/spec_registry_host.h"

#include <strings.h>
#include <bit>

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "platform/kiv/base/path.h"
#include "script/host/compile_asset.h"
#include "validation/tag_vocabulary.h"

SpecMutex& SpecLock() {
    static SpecMutex lock;
    return lock;
}

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
constexpr auto kAcquire = std::memory_order_acquire;
constexpr auto kRelease = std::memory_order_release;

}  // namespace

ScriptSpecRegistry::ScriptSpecRegistry() {
    tables_.push_back(
        std::make_unique<Table>(static_cast<unsigned>(std::countr_zero(kInitialSlots))));
    table_.store(tables_.back().get(), kRelease);
}

ScriptSpecRegistry::~ScriptSpecRegistry() {
    ReportLeaks();
    std::lock_guard<SpecMutex> hold(SpecLock());
    // Specs still held are leaked on purpose (reported above): their holders may still read
    // them. Factories outlive the registry only in their owners' hands.
    live_.clear();
    hashed_ = 0;
    factories_.clear();
    current_ = nullptr;
}

ScriptSpecRegistry* ScriptSpecRegistry::Get() {
    return dynamic_cast<ScriptSpecRegistry*>(SpecRegistry::Instance());
}

uint32_t ScriptSpecRegistry::HomeSlot(const SpecAssetId& id, unsigned bits) {
    // One multiply over all three words, slot taken from the top bits: asset ids of one author
    // differ mostly in a run of content numbers, which a shift-and-xor keeps in the low bits and
    // a power-of-two mask would pile into a few clusters.
    const uint64_t key =
        ((uint64_t{id.w1} << 32) | id.w2) ^ (uint64_t{id.w3} * 0xC2B2AE3D27D4EB4Full);
    return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - bits));
}

ZuravedavaSpec* ScriptSpecRegistry::FindLocked(const SpecAssetId& id) {
    const int64_t slot = SlotOfLocked(id, nullptr);
    return slot < 0 ? nullptr
                    : table_.load(kRelaxed)->slots[static_cast<size_t>(slot)].spec.load(kRelaxed);
}

int64_t ScriptSpecRegistry::SlotOfLocked(const SpecAssetId& id, const ZuravedavaSpec* spec) const {
    // Never more than half full, so the probe always meets an empty slot.
    const Table& t = *table_.load(kRelaxed);
    for (uint32_t i = HomeSlot(id, t.bits);; i = (i + 1) & t.Mask()) {
        const Entry& e = t.slots[i];
        ZuravedavaSpec* here = e.spec.load(kRelaxed);
        if (here == nullptr) return -1;
        if (e.w1.load(kRelaxed) == id.w1 && e.w2.load(kRelaxed) == id.w2 &&
            e.w3.load(kRelaxed) == id.w3 && (spec == nullptr || here == spec))
            return i;
    }
}

void ScriptSpecRegistry::PlaceLocked(Table& t, const SpecAssetId& id, ZuravedavaSpec* spec) {
    uint32_t i = HomeSlot(id, t.bits);
    while (t.slots[i].spec.load(kRelaxed) != nullptr)
        i = (i + 1) & t.Mask();
    Entry& e = t.slots[i];
    e.w1.store(id.w1, kRelease);
    e.w2.store(id.w2, kRelease);
    e.w3.store(id.w3, kRelease);
    e.spec.store(spec, kRelease);
}

void ScriptSpecRegistry::EraseSlotLocked(uint32_t hole) {
    // Shift the rest of the run back over the hole (no tombstones), moving only entries whose
    // probe started at or before it, so every entry stays reachable and in its order.
    Table& t = *table_.load(kRelaxed);
    const uint32_t mask = t.Mask();
    for (uint32_t i = (hole + 1) & mask; t.slots[i].spec.load(kRelaxed) != nullptr;
         i = (i + 1) & mask) {
        Entry& from = t.slots[i];
        const SpecAssetId id{from.w1.load(kRelaxed), from.w2.load(kRelaxed),
                             from.w3.load(kRelaxed)};
        if (((i - HomeSlot(id, t.bits)) & mask) >= ((i - hole) & mask)) {
            Entry& to = t.slots[hole];
            to.spec.store(from.spec.load(kRelaxed), kRelease);
            to.w1.store(id.w1, kRelease);
            to.w2.store(id.w2, kRelease);
            to.w3.store(id.w3, kRelease);
            hole = i;
        }
    }
    t.slots[hole].spec.store(nullptr, kRelease);
    --hashed_;
}

void ScriptSpecRegistry::GrowLocked() {
    const Table& old = *table_.load(kRelaxed);
    tables_.push_back(std::make_unique<Table>(old.bits + 1));
    Table& grown = *tables_.back();
    // Start after an empty slot so that every run is re-placed from its first entry on, which
    // keeps entries of one id in their order. The new table is nobody else's until published.
    const uint32_t mask = old.Mask();
    uint32_t start = 0;
    while (old.slots[start].spec.load(kRelaxed) != nullptr)
        ++start;
    for (uint32_t k = 1; k <= mask + 1; ++k) {
        const Entry& e = old.slots[(start + k) & mask];
        if (ZuravedavaSpec* spec = e.spec.load(kRelaxed))
            PlaceLocked(grown, {e.w1.load(kRelaxed), e.w2.load(kRelaxed), e.w3.load(kRelaxed)},
                        spec);
    }
    table_.store(&grown, kRelease);
}

// Read without taking the lock when nobody holds it: a look-up is the registry's hot path, and
// the lock's two atomic operations cost more than the probe. The answer is the one a look-up
// under the lock would have given at that moment; when the lock was held or taken meanwhile,
// the look-up is done again under it. The probe reads only the table, never an asset spec, and a
// table outgrown meanwhile is kept, so a read that raced a change touches no freed memory.
ZuravedavaSpec* ScriptSpecRegistry::Find(const SpecAssetId& id) {
    return FindProbing(id, [] {});
}

ZuravedavaSpec* ScriptSpecRegistry::FindProbingForTesting(const SpecAssetId& id,
                                                          void (*between)()) {
    return FindProbing(id, between);
}

template <typename Between>
ZuravedavaSpec* ScriptSpecRegistry::FindProbing(const SpecAssetId& id, Between between) {
    SpecMutex& lock = SpecLock();
    const uint64_t begin = lock.ReadBegin();
    if ((begin & 1) == 0) {
        const Table& t = *table_.load(kAcquire);
        const uint32_t mask = t.Mask();
        uint32_t i = HomeSlot(id, t.bits);
        // Bounded: a read racing a change may see a run that never ends.
        for (uint32_t n = 0; n <= mask; ++n, i = (i + 1) & mask) {
            const Entry& e = t.slots[i];
            ZuravedavaSpec* here = e.spec.load(kAcquire);
            if (here == nullptr) {
                between();
                if (lock.ReadValid(begin)) return nullptr;
                break;
            }
            if (e.w1.load(kAcquire) == id.w1 && e.w2.load(kAcquire) == id.w2 &&
                e.w3.load(kAcquire) == id.w3) {
                between();
                if (lock.ReadValid(begin)) return here;
                break;
            }
        }
    }
    std::lock_guard<SpecMutex> hold(lock);
    return FindLocked(id);
}

bool ScriptSpecRegistry::Insert(ZuravedavaSpec* spec) {
    std::lock_guard<SpecMutex> hold(SpecLock());
    live_.push_back(spec);
    if ((hashed_ + 1) * 2 > (size_t{1} << table_.load(kRelaxed)->bits)) GrowLocked();
    PlaceLocked(*table_.load(kRelaxed), spec->Id(), spec);
    ++hashed_;
    return true;
}

void ScriptSpecRegistry::ForgetLocked(const SpecAssetId& id) {
    const int64_t slot = SlotOfLocked(id, nullptr);
    if (slot >= 0) EraseSlotLocked(static_cast<uint32_t>(slot));
}

void ScriptSpecRegistry::Forget(const SpecAssetId& id) {
    std::lock_guard<SpecMutex> hold(SpecLock());
    ForgetLocked(id);
}

void ScriptSpecRegistry::Release(ZuravedavaSpec* spec) {
    if (spec == nullptr) return;
    std::lock_guard<SpecMutex> hold(SpecLock());
    if (FindLocked(spec->Id()) == spec) ForgetLocked(spec->Id());
    spec->DropRef();
}

ZuravedavaSpec* ScriptSpecRegistry::Create(const Kiv::PString& factory, const KUID& kuid,
                                           Kiv::String folder, Kiv::String name, TDBTagRef config) {
    std::lock_guard<SpecMutex> hold(SpecLock());
    for (KTSpecFactory* f : factories_) {
        if (strcasecmp(f->Name().c_str(), factory.c_str()) != 0) continue;
        ZuravedavaSpec* spec = f->Make(kuid, std::move(folder), std::move(name), std::move(config));
        if (spec != nullptr) Insert(spec);
        return spec;
    }
    return nullptr;
}

ZuravedavaSpec* ScriptSpecRegistry::LoadSpecFromFolder(std::string_view folder) {
    TDBTagRef config;
    if (!LoadAssetConfig(folder, config)) return nullptr;
    Kiv::File::Path path(folder);
    path.RemoveTrailingSeparator();
    Kiv::String name(path.GetFileName());
    Kiv::String parent(path.GetFolder());
    KUID kuid = TDBContainerTag::GetKUID(config, Voc(TagWord::kKuid), KUID());
    KTSpecFactory* factory = CurrentFactory();
    if (factory == nullptr) return nullptr;
    return Create(factory->Name(), kuid, std::move(parent), std::move(name), std::move(config));
}

bool ScriptSpecRegistry::PurgeLocked() {
    bool deleted = false;
    std::vector<ZuravedavaSpec*> kept;
    kept.reserve(live_.size());
    for (ZuravedavaSpec* spec : live_) {
        if (spec->RefCount() > 0) {
            kept.push_back(spec);
            continue;
        }
        // An asset spec nobody holds may still sit in the hash (released without Release): take it
        // out there too before it goes.
        const int64_t slot = SlotOfLocked(spec->Id(), spec);
        if (slot >= 0) EraseSlotLocked(static_cast<uint32_t>(slot));
        delete spec;
        deleted = true;
    }
    live_.swap(kept);
    return deleted;
}

bool ScriptSpecRegistry::Purge() {
    std::lock_guard<SpecMutex> hold(SpecLock());
    return PurgeLocked();
}

void ScriptSpecRegistry::ReportLeaks() {
    std::lock_guard<SpecMutex> hold(SpecLock());
    while (PurgeLocked()) {
    }
    if (live_.empty()) return;
    LogOutputf("Leaked specs:");
    for (ZuravedavaSpec* spec : live_)
        LogOutputf("  (%4d) - %s", spec->RefCount(), spec->Description().c_str());
}

void ScriptSpecRegistry::RegisterFactory(KTSpecFactory* factory) {
    std::lock_guard<SpecMutex> hold(SpecLock());
    factories_.push_back(factory);
}

void ScriptSpecRegistry::UnregisterFactory(KTSpecFactory* factory) {
    std::lock_guard<SpecMutex> hold(SpecLock());
    std::erase(factories_, factory);
    if (current_ == factory) current_ = nullptr;
}

void ScriptSpecRegistry::SetCurrentFactory(KTSpecFactory* factory) {
    std::lock_guard<SpecMutex> hold(SpecLock());
    current_ = factory;
}

KTSpecFactory* ScriptSpecRegistry::CurrentFactory() {
    std::lock_guard<SpecMutex> hold(SpecLock());
    return current_;
}

size_t ScriptSpecRegistry::LiveCount() {
    std::lock_guard<SpecMutex> hold(SpecLock());
    return live_.size();
}

size_t ScriptSpecRegistry::HashedCount() {
    std::lock_guard<SpecMutex> hold(SpecLock());
    return hashed_;
}

void InstallScriptSpecRegistry() {
    SetSpecRegistryFactory(
        []() -> std::unique_ptr<SpecRegistry> { return std::make_unique<ScriptSpecRegistry>(); });
}
