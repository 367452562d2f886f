// The engine's resource database: the resources (meshes, textures, scripts) of one folder,
// known by an interned name. It records the name and the folder, opens resources by their
// names through the registered resource types, and keeps aliases: a further name for a file
// of the folder, under which it opens as the alias's type (texture conversion opens a
// description as a "convert-tex.txt" resource without renaming it).
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/kiv/base/path.h"
#include "platform/kiv/base/pstring.h"
#include "platform/kiv/res/resource.h"

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

    // Gives the file at `relativePath` (inside the folder) the further name `alias`. False when
    // the alias is in use (letter case ignored) or either text is empty.
    bool AddAlias(const PString& alias, std::string_view relativePath);
    bool RemoveAlias(const PString& alias);

    // A new resource of the type registered for the name's extension, on the alias's file or
    // else the file of that name in the folder; null when no type fits. The file is read by
    // the resource's own load.
    std::unique_ptr<Resource> OpenResource(std::string_view name);

private:
    PString name_;
    File::Path folder_;
    std::mutex aliasLock_;
    std::map<std::string, std::string> aliases_;  // lower-case alias to relative path
};

}  // namespace Kiv
