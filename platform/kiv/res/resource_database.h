// The engine's resource database: the resources (meshes, textures, scripts) of one folder,
// known by an interned name. This stand-in records the name and the folder, makes resources
// through the types registered for their extensions, and keeps aliases: a further name for a
// file, under which it opens as the alias's type (texture conversion opens a description as a
// "convert-tex.txt" resource without renaming it). The loaders of the mesh and texture code
// extend it (a derived class) as they need more.
#pragma once

#include <map>
#include <mutex>
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
    // its extension; null when no type serves it or the file is not there. An alias opens the
    // file it names. The mode is the engine's lookup mode; every lookup here loads when the
    // resource is asked to.
    Resource* FindResource(const PString& name, int mode);

    // Gives the file `path` the further name `alias` (both paths). False when the alias is in
    // use (letter case ignored) or either text is empty.
    bool AddAlias(const PString& alias, std::string_view path);
    bool RemoveAlias(const PString& alias);
    // The file a resource name reads: the aliased file, or else the name itself.
    std::string GetFileOf(std::string_view name);

private:
    PString name_;
    File::Path folder_;
    std::mutex aliasLock_;
    std::map<std::string, std::string> aliases_;  // lower-case alias to path
};

}  // namespace Kiv
