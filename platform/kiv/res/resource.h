// Kiv::Resource: one named file of a resource database (a mesh, a texture, an animation), made
// by the resource type registered for its extension and loaded when its owner asks. The mesh
// and texture code register their types; a name whose extension has no type, or whose file is
// not there, has no resource.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "platform/kiv/base/pstring.h"

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

private:
    PString name_;
    ResourceDatabase* database_;
    std::atomic<int32_t> refs_{1};
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

}  // namespace Kiv
