#include "cli/plugin_holder.h"

bool LookupPluginByUId(PluginHolder& holder, const Kiv::UId& family, std::string_view typeName) {
    holder = Kiv::PluginBase::LookupPluginType(family, typeName);
    return holder != nullptr;
}

void ReleasePluginHolder(PluginHolder& holder) {
    holder.reset();
}
