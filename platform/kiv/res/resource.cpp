#include "platform/kiv/res/resource.h"

#include "platform/kiv/base/text.h"

namespace Kiv {

const UId& ResourceFamily() {
    return ImagePluginFamily();
}

std::shared_ptr<ResourceTypeBase> FindResourceType(std::string_view name) {
    std::shared_ptr<ResourceTypeBase> best;
    size_t bestLength = 0;
    for (const std::shared_ptr<PluginBase>& type : PluginBase::ListPluginTypes(ResourceFamily())) {
        auto resourceType = std::dynamic_pointer_cast<ResourceTypeBase>(type);
        if (resourceType == nullptr) continue;
        const std::string_view extension = resourceType->GetExtension().view();
        if (extension.empty() || extension.size() + 1 > name.size()) continue;
        const size_t dot = name.size() - extension.size() - 1;
        if (name[dot] != '.' || !EqualsIgnoreCase(name.substr(dot + 1), extension)) continue;
        if (extension.size() > bestLength) {
            best = std::move(resourceType);
            bestLength = extension.size();
        }
    }
    return best;
}

}  // namespace Kiv
