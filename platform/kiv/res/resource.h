// Kiv::Resource and its types: a resource is one named item of a resource database (a mesh, a
// texture), made by the resource type registered for the end of its name ("im", "lm.txt",
// "convert-tex.txt"). Resource types are plug-in types of the engine's resource family (the
// family of the image plug-ins), registered by whoever provides them (the program's plug-in
// entry) and looked up when a database opens a resource.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/os/plugin.h"
#include "platform/kiv/os/uid.h"

namespace Kiv {

class ResourceDatabase;

class Resource {
public:
    // The database it belongs to (may be null for a resource made on its own), its name there
    // and the file it is read from.
    Resource(ResourceDatabase* database, const PString& name, std::string path)
        : database_(database), name_(name), path_(std::move(path)) {}
    virtual ~Resource() = default;
    Resource(const Resource&) = delete;
    Resource& operator=(const Resource&) = delete;

    ResourceDatabase* GetDatabase() const { return database_; }
    const PString& GetName() const { return name_; }
    const std::string& GetPath() const { return path_; }

private:
    ResourceDatabase* database_;
    PString name_;
    std::string path_;
};

// The family every resource type belongs to.
const UId& ResourceFamily();

class ResourceTypeBase : public PluginBase {
public:
    // Registered under its extension (the plug-in name) in `family`.
    ResourceTypeBase(const PString& extension, const UId& type, const UId& family)
        : PluginBase(family, extension.view()), type_(type) {}
    const UId& GetTypeId() const { return type_; }
    const PString& GetExtension() const { return GetName(); }
    // A new resource of the type.
    virtual std::unique_ptr<Resource> Create(ResourceDatabase* database, const PString& name,
                                             std::string path) const = 0;
    // The size of one resource object of the type.
    virtual size_t GetObjectSize() const = 0;

private:
    UId type_;
};

template <typename T>
class ResourceType final : public ResourceTypeBase {
public:
    using ResourceTypeBase::ResourceTypeBase;
    std::unique_ptr<Resource> Create(ResourceDatabase* database, const PString& name,
                                     std::string path) const override {
        return std::make_unique<T>(database, name, std::move(path));
    }
    size_t GetObjectSize() const override { return sizeof(T); }
};

// The registered type whose extension ends the name after a '.' (letter case ignored), the
// longest such extension winning ("a.lm.txt" is an "lm.txt", not a "txt"); null when none.
std::shared_ptr<ResourceTypeBase> FindResourceType(std::string_view name);

}  // namespace Kiv
