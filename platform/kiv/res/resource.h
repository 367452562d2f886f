// Kiv::Resource: one named file of a resource database (a mesh, a texture, an animation), made
// by the resource type registered for its extension and loaded when its owner asks. The mesh
// and texture code register their types; a name whose extension has no type, or whose file is
// not there, has no resource.
//
// What every resource shares: references (the last release deletes it), locks (a locked
// resource is in use and is not unloaded), and observers told when a load completes. The
// loaded tests answer the engine's codes: 0 loaded, 1 failed, 5 still loading.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/os/plugin.h"
#include "platform/kiv/os/uid.h"

namespace Kiv {

class ResourceDatabase;

class Resource {
public:
    Resource(const PString& name, ResourceDatabase* database) : name_(name), database_(database) {}
    virtual ~Resource() = default;
    Resource(const Resource&) = delete;
    Resource& operator=(const Resource&) = delete;

    const PString& GetName() const { return name_; }
    ResourceDatabase* GetDatabase() const { return database_; }

    // A new resource holds one reference; the last release deletes it.
    void AddReference() { refs_.fetch_add(1, std::memory_order_relaxed); }
    void ReleaseReference() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    int32_t GetReferenceCount() const { return refs_.load(std::memory_order_relaxed); }

    void Lock() { locks_.fetch_add(1, std::memory_order_relaxed); }
    void Unlock() { locks_.fetch_sub(1, std::memory_order_relaxed); }
    int32_t GetLockCount() const { return locks_.load(std::memory_order_relaxed); }

    // Loads what the resource needs beyond itself; false when something could not be loaded.
    virtual bool LoadAll() { return true; }
    // 0 when everything is loaded, 1 when something failed, 5 while something still loads.
    virtual uint32_t IsAllLoaded() const { return 0; }
    // The end of a load: the observers are told, in the order they were added.
    virtual void LoadComplete() {
        for (const Observer& o : observers_)
            o.notify(*this);
    }
    using ObserverFunction = std::function<void(Resource&)>;
    void AddObserver(const void* key, ObserverFunction notify) {
        observers_.push_back({key, std::move(notify)});
    }
    void RemoveObserver(const void* key) {
        std::erase_if(observers_, [key](const Observer& o) { return o.key == key; });
    }

private:
    struct Observer {
        const void* key;
        ObserverFunction notify;
    };
    PString name_;
    ResourceDatabase* database_;
    std::atomic<int32_t> refs_{1};
    std::atomic<int32_t> locks_{0};
    std::vector<Observer> observers_;
};

// A kind of resource: the file extension it serves (without the dot, compared ignoring case)
// and how one is made.
struct ResourceType {
    const char* extension = nullptr;
    Resource* (*create)(const PString& name, ResourceDatabase* database) = nullptr;
};

// Registers a type; a later registration for the same extension takes its place.
void RegisterResourceType(const ResourceType& type);
void UnregisterResourceType(std::string_view extension);
// The type serving that extension; null when none is registered.
const ResourceType* FindResourceType(std::string_view extension);
// The type serving a file name: the one with the longest extension the name ends with ("lm.txt"
// before "txt"); null when none does.
const ResourceType* FindResourceTypeFor(std::string_view name);

// A resource type as the engine's resource family lists it (the family that holds its image
// types too): by its extension, with the type's own UId. Two extensions may share a UId.
class ResourceTypePlugin : public PluginBase {
public:
    ResourceTypePlugin(std::string_view extension, const UId& uid)
        : PluginBase(ImagePluginFamily(), extension), uid_(uid) {}
    const UId& GetUId() const { return uid_; }

private:
    UId uid_;
};

// Lists the registered type of that extension in the resource family with its UId. False,
// listing nothing, when no type serves the extension or the family lists that name already.
bool ListResourceType(std::string_view extension, const UId& uid);

}  // namespace Kiv
