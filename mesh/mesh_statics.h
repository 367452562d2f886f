// Process-wide objects of the mesh resources, built before main and released at exit in the
// reverse order of construction (foundation/statics.h): the words the world lists and asset
// items compare by identity, and the world-list factory maps with their lock.
#pragma once

#include <cstdint>
#include <map>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/sync.h"

class WorldItemFactory;

// "asset-data" and "locally-modified".
const Kiv::PString& AssetDataWord();
const Kiv::PString& LocallyModifiedWord();

// The makers of world-list items: by 32-bit type code, in the order they registered (the first
// of a code is the one asked to make an item), and by interned name. Every use holds the lock.
struct WorldListMaps {
    Kiv::CriticalSection lock;
    std::multimap<uint32_t, WorldItemFactory*> byTypeCode;
    std::map<Kiv::PString, WorldItemFactory*> byName;
};
WorldListMaps& GetWorldListMaps();

// The two display formats and the dynamic-library object of the mesh resources join these
// statics once the display engine stand-in exists.
