// The engine's resource database: the resources (meshes, textures, scripts) of one folder,
// known by an interned name. This stand-in records the name and the folder; the loaders of the
// mesh and texture code extend it (a derived class) as they need more.
#pragma once

#include <string>
#include <string_view>

#include "platform/kiv/base/path.h"
#include "platform/kiv/base/pstring.h"

namespace Kiv {

class Resource;

class ResourceDatabase {
public:
    ResourceDatabase(const PString& name, std::string_view folder) : name_(name), folder_(folder) {}
    virtual ~ResourceDatabase() = default;
    ResourceDatabase(const ResourceDatabase&) = delete;
    ResourceDatabase& operator=(const ResourceDatabase&) = delete;

    const PString& GetName() const { return name_; }
    // The folder as given, letter case kept.
    const File::Path& GetFolder() const { return folder_; }

    // A new reference to the resource of that file (a path), made by the type registered for
    // its extension; null when no type serves it or the file is not there. The mode is the
    // engine's lookup mode; every lookup here loads when the resource is asked to.
    Resource* FindResource(const PString& name, int mode);

private:
    PString name_;
    File::Path folder_;
};

}  // namespace Kiv
