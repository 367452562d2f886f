#include "platform/kiv/res/resource_database.h"

#include "platform/kiv/base/file.h"
#include "platform/kiv/base/text.h"
#include "platform/kiv/res/resource.h"

namespace Kiv {

Resource* ResourceDatabase::FindResource(const PString& name, int /*mode*/) {
    const ResourceType* type = FindResourceTypeFor(name.view());
    if (type == nullptr || !File::IsPresent(GetFileOf(name.view()))) return nullptr;
    return type->create(name, this);
}

bool ResourceDatabase::AddAlias(const PString& alias, std::string_view path) {
    if (alias.view().empty() || path.empty()) return false;
    std::lock_guard<std::mutex> hold(aliasLock_);
    return aliases_.emplace(ToLowerAscii(alias.view()), std::string(path)).second;
}

bool ResourceDatabase::RemoveAlias(const PString& alias) {
    std::lock_guard<std::mutex> hold(aliasLock_);
    return aliases_.erase(ToLowerAscii(alias.view())) != 0;
}

std::string ResourceDatabase::GetFileOf(std::string_view name) {
    std::lock_guard<std::mutex> hold(aliasLock_);
    auto it = aliases_.find(ToLowerAscii(name));
    return it != aliases_.end() ? it->second : std::string(name);
}

}  // namespace Kiv
