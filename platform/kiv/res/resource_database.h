// The engine's resource database: the resources (meshes, textures, scripts) of one folder,
// known by an interned name. This stand-in records the name and the folder; the loaders of the
// mesh and texture code extend it (a derived class) as they need more.
#pragma once

#include <string>
#include <string_view>

#include "platform/kiv/base/path.h"
#include "platform/kiv/base/pstring.h"

namespace Kiv {

class ResourceDatabase {
public:
    ResourceDatabase(const PString& name, std::string_view folder) : name_(name), folder_(folder) {}
    virtual ~ResourceDatabase() = default;
    ResourceDatabase(const ResourceDatabase&) = delete;
    ResourceDatabase& operator=(const ResourceDatabase&) = delete;

    const PString& GetName() const { return name_; }
    // The folder as given, letter case kept.
    const File::Path& GetFolder() const { return folder_; }

private:
    PString name_;
    File::Path folder_;
};

}  // namespace Kiv
