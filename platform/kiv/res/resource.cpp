#include "platform/kiv/res/resource.h"

#include <list>
#include <mutex>
#include <string>

#include "platform/kiv/base/path.h"
#include "platform/kiv/base/text.h"

namespace Kiv {

namespace {

struct Registered {
    std::string extension;
    ResourceType type;
};

// A list: a type handed out stays where it is while others are registered or removed.
std::mutex gTypesLock;
std::list<Registered>& Types() {
    static std::list<Registered> types;
    return types;
}

}  // namespace

void RegisterResourceType(const ResourceType& type) {
    if (type.extension == nullptr || type.create == nullptr) return;
    std::lock_guard<std::mutex> hold(gTypesLock);
    for (Registered& r : Types())
        if (EqualsIgnoreCase(r.extension, type.extension)) {
            r.type = type;
            return;
        }
    Types().push_back({type.extension, type});
}

void UnregisterResourceType(std::string_view extension) {
    std::lock_guard<std::mutex> hold(gTypesLock);
    auto& types = Types();
    for (auto it = types.begin(); it != types.end(); ++it)
        if (EqualsIgnoreCase(it->extension, extension)) {
            types.erase(it);
            return;
        }
}

const ResourceType* FindResourceType(std::string_view extension) {
    std::lock_guard<std::mutex> hold(gTypesLock);
    for (const Registered& r : Types())
        if (EqualsIgnoreCase(r.extension, extension)) return &r.type;
    return nullptr;
}

bool ListResourceType(std::string_view extension, const UId& uid) {
    if (FindResourceType(extension) == nullptr) return false;
    return PluginBase::RegisterPluginType(std::make_shared<ResourceTypePlugin>(extension, uid));
}

const ResourceType* FindResourceTypeFor(std::string_view name) {
    const File::Path path(name);
    std::lock_guard<std::mutex> hold(gTypesLock);
    const Registered* best = nullptr;
    for (const Registered& r : Types())
        if (path.IsExt(r.extension) &&
            (best == nullptr || r.extension.size() > best->extension.size()))
            best = &r;
    return best != nullptr ? &best->type : nullptr;
}

}  // namespace Kiv
