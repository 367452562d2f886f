#include "assetdb/resource_db_registry.h"

#include <array>
#include <mutex>

#include "foundation/data_root.h"
#include "foundation/statics.h"
#include "platform/kiv/base/sync.h"

namespace {

struct Entry {
    Kiv::PString name;
    std::unique_ptr<Kiv::ResourceDatabase> database;
    uint32_t uses = 0;
};

struct Registry {
    Kiv::CriticalSection lock;
    std::array<Entry, kResourceDatabaseMax> entries;
    size_t count = 0;
    ResourceDatabaseFactory factory = nullptr;
};

Registry& TheRegistry() {
    static ProcessStatic<Registry> registry("resource-database registry");
    return registry.Get();
}

// The folder words, each its own interned object.
const Kiv::PString& BaseWord() {
    static ProcessStatic<Kiv::PString> word("folder word base", "base");
    return word.Get();
}
const Kiv::PString& DataWord() {
    static ProcessStatic<Kiv::PString> word("folder word data", "data");
    return word.Get();
}

[[maybe_unused]] const bool kBuilt = (TheRegistry(), BaseWord(), DataWord(), true);

Entry* FindByDatabase(Registry& r, const Kiv::ResourceDatabase* database) {
    if (database == nullptr) return nullptr;
    for (size_t i = 0; i < r.count; ++i)
        if (r.entries[i].database.get() == database) return &r.entries[i];
    return nullptr;
}

void PurgeLocked(Registry& r) {
    size_t i = 0;
    while (i < r.count) {
        Entry& e = r.entries[i];
        if (e.database != nullptr && e.uses == 0) {
            // The last entry moves into the freed place, which is then examined again.
            e = std::move(r.entries[r.count - 1]);
            r.entries[r.count - 1] = Entry();
            --r.count;
        } else {
            ++i;
        }
    }
}

}  // namespace

void SetResourceDatabaseFactory(ResourceDatabaseFactory factory) {
    Registry& r = TheRegistry();
    std::lock_guard<Kiv::CriticalSection> lock(r.lock);
    r.factory = factory;
}

Kiv::ResourceDatabase* AcquireResourceDatabase(const Kiv::PString& name,
                                               std::string_view folderPath) {
    Registry& r = TheRegistry();
    std::lock_guard<Kiv::CriticalSection> lock(r.lock);
    for (size_t i = 0; i < r.count; ++i) {
        if (r.entries[i].name == name) {
            ++r.entries[i].uses;
            return r.entries[i].database.get();
        }
    }
    if (r.count == kResourceDatabaseMax) PurgeLocked(r);
    if (r.count == kResourceDatabaseMax) return nullptr;
    std::unique_ptr<Kiv::ResourceDatabase> database =
        r.factory != nullptr ? r.factory(name, folderPath)
                             : std::make_unique<Kiv::ResourceDatabase>(name, folderPath);
    if (database == nullptr) return nullptr;
    Entry& e = r.entries[r.count++];
    e.name = name;
    e.database = std::move(database);
    e.uses = 1;
    return e.database.get();
}

void RetainResourceDatabase(Kiv::ResourceDatabase* database) {
    Registry& r = TheRegistry();
    std::lock_guard<Kiv::CriticalSection> lock(r.lock);
    if (Entry* e = FindByDatabase(r, database)) ++e->uses;
}

void ReleaseResourceDatabase(Kiv::ResourceDatabase* database) {
    Registry& r = TheRegistry();
    std::lock_guard<Kiv::CriticalSection> lock(r.lock);
    Entry* e = FindByDatabase(r, database);
    if (e != nullptr && e->uses > 0) --e->uses;
}

void PurgeResourceDatabases() {
    Registry& r = TheRegistry();
    std::lock_guard<Kiv::CriticalSection> lock(r.lock);
    PurgeLocked(r);
}

AssetResourceDatabase AcquireAssetResourceDatabase(const Kiv::PString& name) {
    if (name.IsNull() || name.IsEmpty()) return {nullptr, true};
    Kiv::File::Path folder;
    if (name == BaseWord())
        folder = GetInstallRoot().AddPath("Base");
    else if (name == DataWord())
        folder = GetInstallRoot().AddPath("Data");
    else
        folder = GetDataFolder(name.view());
    // A name from the daemon that is no single folder name (or no root known) opens nothing.
    if (folder.IsEmpty() || GetInstallRoot().IsEmpty()) return {nullptr, false};
    Kiv::ResourceDatabase* database = AcquireResourceDatabase(name, folder.view());
    return {database, database != nullptr};
}

void ReleaseAssetResourceDatabase(Kiv::ResourceDatabase* database) {
    ReleaseResourceDatabase(database);
}

Kiv::ResourceDatabase* AcquireResourceDatabaseContaining(std::string_view path,
                                                         std::string& relative) {
    Registry& r = TheRegistry();
    std::lock_guard<Kiv::CriticalSection> lock(r.lock);
    Entry* best = nullptr;
    for (size_t i = 0; i < r.count; ++i) {
        const Kiv::File::Path& folder = r.entries[i].database->GetFolder();
        if (folder.IsEmpty() || !IsPathInside(path, folder.view())) continue;
        if (best == nullptr || folder.Length() > best->database->GetFolder().Length())
            best = &r.entries[i];
    }
    if (best == nullptr) return nullptr;
    Kiv::File::Path inside{Kiv::File::Path(path).Normalize()};
    Kiv::File::Path folder = best->database->GetFolder();
    if (!inside.MakeRelativeTo(folder.Normalize().view())) return nullptr;
    relative = inside.str();
    ++best->uses;
    return best->database.get();
}

uint32_t ResourceDatabaseUseCount(const Kiv::ResourceDatabase* database) {
    Registry& r = TheRegistry();
    std::lock_guard<Kiv::CriticalSection> lock(r.lock);
    const Entry* e = FindByDatabase(r, database);
    return e != nullptr ? e->uses : 0;
}

size_t ResourceDatabaseCount() {
    Registry& r = TheRegistry();
    std::lock_guard<Kiv::CriticalSection> lock(r.lock);
    return r.count;
}
