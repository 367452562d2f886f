#include "script/host/spec_registry_host.h"

#include <strings.h>
#include <algorithm>

#include "configdata/config_file.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/logging.h"
#include "platform/kiv/base/path.h"
#include "script/host/compile_asset.h"
#include "validation/tag_vocabulary.h"

std::recursive_mutex& SpecLock() {
    static std::recursive_mutex lock;
    return lock;
}

ScriptSpecRegistry::ScriptSpecRegistry() = default;

ScriptSpecRegistry::~ScriptSpecRegistry() {
    ReportLeaks();
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    // Specs still held are leaked on purpose (reported above): their holders may still read
    // them. Factories outlive the registry only in their owners' hands.
    live_.clear();
    for (auto& bucket : buckets_)
        bucket.clear();
    hashed_ = 0;
    factories_.clear();
    current_ = nullptr;
}

ScriptSpecRegistry* ScriptSpecRegistry::Get() {
    return dynamic_cast<ScriptSpecRegistry*>(SpecRegistry::Instance());
}

uint32_t ScriptSpecRegistry::BucketOf(const SpecAssetId& id) {
    return ((id.w2 << 5) ^ id.w3 ^ id.w1) % kBuckets;
}

ZuravedavaSpec* ScriptSpecRegistry::FindLocked(const SpecAssetId& id) {
    for (const Entry& e : buckets_[BucketOf(id)])
        if (e.id == id) return e.spec;
    return nullptr;
}

ZuravedavaSpec* ScriptSpecRegistry::Find(const SpecAssetId& id) {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    return FindLocked(id);
}

bool ScriptSpecRegistry::Insert(ZuravedavaSpec* spec) {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    live_.push_back(spec);
    const SpecAssetId id = spec->Id();
    buckets_[BucketOf(id)].push_back({id, spec});
    ++hashed_;
    return true;
}

void ScriptSpecRegistry::ForgetLocked(const SpecAssetId& id) {
    auto& bucket = buckets_[BucketOf(id)];
    auto it =
        std::find_if(bucket.begin(), bucket.end(), [&](const Entry& e) { return e.id == id; });
    if (it == bucket.end()) return;
    bucket.erase(it);
    --hashed_;
}

void ScriptSpecRegistry::Forget(const SpecAssetId& id) {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    ForgetLocked(id);
}

void ScriptSpecRegistry::Release(ZuravedavaSpec* spec) {
    if (spec == nullptr) return;
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    if (FindLocked(spec->Id()) == spec) ForgetLocked(spec->Id());
    spec->DropRef();
}

ZuravedavaSpec* ScriptSpecRegistry::Create(const Kiv::PString& factory, const KUID& kuid,
                                           Kiv::String folder, Kiv::String name, TDBTagRef config) {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
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
        // A spec nobody holds may still sit in the hash (released without Release): take it
        // out there too before it goes.
        auto& bucket = buckets_[BucketOf(spec->Id())];
        auto it = std::find_if(bucket.begin(), bucket.end(),
                               [&](const Entry& e) { return e.spec == spec; });
        if (it != bucket.end()) {
            bucket.erase(it);
            --hashed_;
        }
        delete spec;
        deleted = true;
    }
    live_.swap(kept);
    return deleted;
}

bool ScriptSpecRegistry::Purge() {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    return PurgeLocked();
}

void ScriptSpecRegistry::ReportLeaks() {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    while (PurgeLocked()) {
    }
    if (live_.empty()) return;
    LogOutputf("Leaked specs:");
    for (ZuravedavaSpec* spec : live_)
        LogOutputf("  (%4d) - %s", spec->RefCount(), spec->Description().c_str());
}

void ScriptSpecRegistry::RegisterFactory(KTSpecFactory* factory) {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    factories_.push_back(factory);
}

void ScriptSpecRegistry::UnregisterFactory(KTSpecFactory* factory) {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    std::erase(factories_, factory);
    if (current_ == factory) current_ = nullptr;
}

void ScriptSpecRegistry::SetCurrentFactory(KTSpecFactory* factory) {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    current_ = factory;
}

KTSpecFactory* ScriptSpecRegistry::CurrentFactory() {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    return current_;
}

size_t ScriptSpecRegistry::LiveCount() {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    return live_.size();
}

size_t ScriptSpecRegistry::HashedCount() {
    std::lock_guard<std::recursive_mutex> hold(SpecLock());
    return hashed_;
}

void InstallScriptSpecRegistry() {
    SetSpecRegistryFactory(
        []() -> std::unique_ptr<SpecRegistry> { return std::make_unique<ScriptSpecRegistry>(); });
}
