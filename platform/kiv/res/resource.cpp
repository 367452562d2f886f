#include "platform/kiv/res/resource.h"

#include <mutex>
#include <string>
#include <vector>

#include "platform/kiv/base/file.h"
#include "platform/kiv/base/path.h"
#include "platform/kiv/base/text.h"
#include "platform/kiv/res/resource_database.h"

namespace Kiv {

namespace {

struct Registered {
    std::string extension;
    ResourceType type;
};

std::mutex gTypesLock;
std::vector<Registered>& Types() {
    static std::vector<Registered> types;
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

Resource* ResourceDatabase::FindResource(const PString& name, int /*mode*/) {
    const ResourceType* type = FindResourceTypeFor(name.view());
    if (type == nullptr || !File::IsPresent(name.view())) return nullptr;
    return type->create(name, this);
}

}  // namespace Kiv
