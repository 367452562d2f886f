#include "platform/kiv/os/plugin.h"

#include <algorithm>
#include <mutex>

namespace Kiv {
namespace {

struct Registry {
    std::mutex lock;
    std::vector<std::shared_ptr<PluginBase>> types;
};

// Never destroyed: plug-in libraries may unregister from their own static destructors, which
// can run after this file's.
Registry& GetRegistry() {
    static Registry* registry = new Registry;
    return *registry;
}

auto Matching(const UId& family, const PString& lowerName) {
    return [&family, &lowerName](const std::shared_ptr<PluginBase>& t) {
        return t->GetFamily() == family && t->GetName().ToLower() == lowerName;
    };
}

}  // namespace

PluginBase::PluginBase(const UId& family, std::string_view name)
    : family_(family), name_(PStringCache::Create(name)) {}

PluginBase::~PluginBase() = default;

bool PluginBase::RegisterPluginType(std::shared_ptr<PluginBase> type) {
    if (!type) return false;
    Registry& r = GetRegistry();
    std::lock_guard<std::mutex> hold(r.lock);
    PString lower = type->GetName().ToLower();
    if (std::any_of(r.types.begin(), r.types.end(), Matching(type->GetFamily(), lower)))
        return false;
    r.types.push_back(std::move(type));
    return true;
}

bool PluginBase::UnregisterPluginType(const UId& family, std::string_view name) {
    Registry& r = GetRegistry();
    PString lower = PStringCache::Create(name).ToLower();
    std::shared_ptr<PluginBase> removed;  // released outside the lock
    {
        std::lock_guard<std::mutex> hold(r.lock);
        auto it = std::find_if(r.types.begin(), r.types.end(), Matching(family, lower));
        if (it == r.types.end()) return false;
        removed = std::move(*it);
        r.types.erase(it);
    }
    return true;
}

std::shared_ptr<PluginBase> PluginBase::LookupPluginType(const UId& family, std::string_view name) {
    Registry& r = GetRegistry();
    PString lower = PStringCache::Create(name).ToLower();
    std::lock_guard<std::mutex> hold(r.lock);
    auto it = std::find_if(r.types.begin(), r.types.end(), Matching(family, lower));
    return it == r.types.end() ? nullptr : *it;
}

std::vector<std::shared_ptr<PluginBase>> PluginBase::ListPluginTypes(const UId& family) {
    Registry& r = GetRegistry();
    std::vector<std::shared_ptr<PluginBase>> found;
    std::lock_guard<std::mutex> hold(r.lock);
    for (const auto& t : r.types)
        if (t->GetFamily() == family) found.push_back(t);
    return found;
}

const UId& ImagePluginFamily() {
    static const UId family = *UId::Parse("4C414E80-BBDA-11d4-9AD7-0001025364B8");
    return family;
}

}  // namespace Kiv
