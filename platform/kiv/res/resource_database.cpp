#include "platform/kiv/res/resource_database.h"

#include "platform/kiv/base/text.h"

namespace Kiv {

bool ResourceDatabase::AddAlias(const PString& alias, std::string_view relativePath) {
    if (alias.view().empty() || relativePath.empty()) return false;
    std::lock_guard<std::mutex> hold(aliasLock_);
    return aliases_.emplace(ToLowerAscii(alias.view()), std::string(relativePath)).second;
}

bool ResourceDatabase::RemoveAlias(const PString& alias) {
    std::lock_guard<std::mutex> hold(aliasLock_);
    return aliases_.erase(ToLowerAscii(alias.view())) != 0;
}

std::unique_ptr<Resource> ResourceDatabase::OpenResource(std::string_view name) {
    std::shared_ptr<ResourceTypeBase> type = FindResourceType(name);
    if (type == nullptr) return nullptr;
    std::string relative(name);
    {
        std::lock_guard<std::mutex> hold(aliasLock_);
        auto it = aliases_.find(ToLowerAscii(name));
        if (it != aliases_.end()) relative = it->second;
    }
    File::Path path = folder_;
    path.AddPath(relative);
    return type->Create(this, PString(name), path.str());
}

}  // namespace Kiv
