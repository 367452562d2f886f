// The plug-in type start-up looks up and keeps for the whole run: the engine's image codec for
// "bmp". Until the materials code registers image codecs the lookup finds nothing, and start-up
// goes on without one.
#pragma once

#include <memory>
#include <string_view>

#include "platform/kiv/os/plugin.h"

using PluginHolder = std::shared_ptr<Kiv::PluginBase>;

// Looks up the type of that family and name into the holder (emptied when there is none);
// true when one was found.
bool LookupPluginByUId(PluginHolder& holder, const Kiv::UId& family, std::string_view typeName);

// Lets go of the holder's type.
void ReleasePluginHolder(PluginHolder& holder);
