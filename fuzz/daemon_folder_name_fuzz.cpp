// The daemon's turning of the names it finds in "local/" and "editing/" (anything a user or
// another program put there) into KUIDs: a name is an asset's only when it is exactly the name
// the daemon would give that asset's folder.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "platform/kiv/base/pstring.h"
#include "services/wexdaemon/asset_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view name(reinterpret_cast<const char*>(data), size);
    if (std::optional<KUID> kuid = wexd::KUIDFromFolderName(name)) {
        if (kuid->IsNull() || wexd::AssetFolderName(*kuid) != name) std::abort();
    }
    Kiv::PStringCache::CollectGarbage();
    return 0;
}
