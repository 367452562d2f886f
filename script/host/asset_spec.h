// Asset specs: the loaded, shared description of one asset that the script host works with
// (its id, folder, configuration and, for a scripted asset, its cached compiled scripts). Specs
// are made by named factories, counted by whoever holds them and kept in the script host's
// spec registry (spec_registry_host.h) by the asset's id, so every user of an asset shares one.
//
// A spec is never deleted by dropping its last reference: the registry's purge deletes the
// specs nobody holds, so a spec can be handed across threads without a delete race.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

class ResultsLog;

namespace GSRuntime {
class GSClass;
}

// The registry key: the asset's KUID as three words (user, content, version).
struct SpecAssetId {
    uint32_t w1 = 0;
    uint32_t w2 = 0;
    uint32_t w3 = 0;
    bool operator==(const SpecAssetId&) const = default;
    static SpecAssetId Of(const KUID& kuid);
};

class ZuravedavaSpec {
public:
    // Flag byte.
    static constexpr uint8_t kNoScripts = 2;
    static constexpr uint8_t kScriptsCached = 4;
    static constexpr uint8_t kClassLookedUp = 8;

    ZuravedavaSpec(const KUID& kuid, Kiv::String folder, Kiv::String name, TDBTagRef config);
    virtual ~ZuravedavaSpec();
    ZuravedavaSpec(const ZuravedavaSpec&) = delete;
    ZuravedavaSpec& operator=(const ZuravedavaSpec&) = delete;

    virtual void Mark() { marked_ = true; }

    void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
    // Drops one reference; never deletes (the registry's purge does).
    void DropRef() { refs_.fetch_sub(1, std::memory_order_acq_rel); }
    int32_t RefCount() const { return refs_.load(std::memory_order_acquire); }

    const KUID& Kuid() const { return kuid_; }
    SpecAssetId Id() const { return SpecAssetId::Of(kuid_); }
    // The asset folder's parent, the folder's own name, and the two joined.
    const Kiv::String& ParentFolder() const { return parent_; }
    const Kiv::String& Name() const { return name_; }
    std::string Folder() const;
    const TDBTagRef& Config() const { return config_; }
    bool IsMarked() const { return marked_; }

    // The KUID in display form, a blank and the name between double quotes.
    std::string Description() const;

    uint8_t flags = 0;

private:
    KUID kuid_;
    Kiv::String parent_;
    Kiv::String name_;
    TDBTagRef config_;
    std::atomic<int32_t> refs_{1};
    bool marked_ = false;
};

struct SpecLibraryId {
    uint32_t textCrc = 0;
    uint32_t nameCrc = 0;
    bool operator==(const SpecLibraryId&) const = default;
};

// The asset spec of a scripted asset: caches and links its scripts, finds its script class and
// checks that class against the asset's kind.
class HalvexBaseSpec : public ZuravedavaSpec {
public:
    using ZuravedavaSpec::ZuravedavaSpec;

    // The asset's build number (its "halvex-build" tag, 0 when missing) is at least `build`,
    // both taken to hundredths.
    bool IsBuildAtLeast(float build) const;

    // Compiles every ".gs" and ".gse" of the scripts folder into the asset's cache folder (or
    // reuses the cached library named by its CRCs) and adds it to the link table. Once per
    // spec: later calls return true at once. True when all compiled and linked and the primary
    // file (compared ignoring case, ".gse" counting as ".gs") was among them.
    bool CacheScripts(const std::string& scriptsFolder, const std::string& primaryFile,
                      ResultsLog& log);
    // The configured script class, looked up once; null when there is none.
    GSRuntime::GSClass* GetGSClass();
    // The compile operation of the compile job: cache, link, kind test.
    bool CompileScripts(ResultsLog& log);

    bool HasPrimaryLibrary() const { return hasPrimary_; }
    SpecLibraryId PrimaryLibrary() const { return primary_; }

private:
    SpecLibraryId primary_;
    bool hasPrimary_ = false;
    GSRuntime::GSClass* class_ = nullptr;
};

// A counted pointer to a spec: takes a reference on the new spec before dropping the old one.
class SpecPointer {
public:
    SpecPointer() = default;
    explicit SpecPointer(ZuravedavaSpec* spec) { Assign(spec); }
    SpecPointer(const SpecPointer& o) { Assign(o.spec_); }
    SpecPointer& operator=(const SpecPointer& o) {
        Assign(o.spec_);
        return *this;
    }
    ~SpecPointer() { Release(); }

    void Assign(ZuravedavaSpec* spec) {
        if (spec != nullptr) spec->AddRef();
        if (spec_ != nullptr) spec_->DropRef();
        spec_ = spec;
    }
    void Release() { Assign(nullptr); }
    ZuravedavaSpec* get() const { return spec_; }
    ZuravedavaSpec* operator->() const { return spec_; }
    explicit operator bool() const { return spec_ != nullptr; }

private:
    ZuravedavaSpec* spec_ = nullptr;
};

// A named maker of specs. The destructor takes the factory out of the registry's list.
class KTSpecFactory {
public:
    explicit KTSpecFactory(const char* name);
    virtual ~KTSpecFactory();
    KTSpecFactory(const KTSpecFactory&) = delete;
    KTSpecFactory& operator=(const KTSpecFactory&) = delete;

    virtual ZuravedavaSpec* Make(const KUID& kuid, Kiv::String folder, Kiv::String name,
                                 TDBTagRef config) = 0;
    const Kiv::PString& Name() const { return name_; }

private:
    Kiv::PString name_;
};

class WEXScript_HalvexBaseSpecFactory : public KTSpecFactory {
public:
    static constexpr const char* kName = "--WEXScript_HalvexBaseSpecFactory--";
    WEXScript_HalvexBaseSpecFactory() : KTSpecFactory(kName) {}
    ZuravedavaSpec* Make(const KUID& kuid, Kiv::String folder, Kiv::String name,
                         TDBTagRef config) override {
        return new HalvexBaseSpec(kuid, std::move(folder), std::move(name), std::move(config));
    }
};
