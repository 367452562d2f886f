#include "mesh/mesh_statics.h"

#include "foundation/statics.h"

const Kiv::PString& AssetDataWord() {
    static const ProcessStatic<Kiv::PString> word("asset-data", "asset-data");
    return word.Get();
}

const Kiv::PString& LocallyModifiedWord() {
    static const ProcessStatic<Kiv::PString> word("locally-modified", "locally-modified");
    return word.Get();
}

WorldListMaps& GetWorldListMaps() {
    static ProcessStatic<WorldListMaps> maps("world-list maps");
    return maps.Get();
}

namespace {

// Builds the objects above before main.
[[maybe_unused]] const bool kBuilt = [] {
    GetWorldListMaps();
    AssetDataWord();
    LocallyModifiedWord();
    return true;
}();

}  // namespace
