// Dependency and obsolete collection over any configuration a user's "config.txt" can hold.
// The lists must come out without null or repeated KUIDs, never naming the asset itself nor
// anything it makes obsolete as a dependency, and a collection must never fail on a tree the
// text parser made (it nests no deeper than the search goes).
#include <cstdint>
#include <cstdlib>
#include <unordered_set>

#include "archive/cdp_build.h"
#include "configdata/tdb_container_tag.h"
#include "fuzz/config_text_fuzz_support.h"

namespace {

using KUIDSet = std::unordered_set<KUID, KUIDHash>;

KUIDSet CheckedSet(const KUIDBlockList& list) {
    KUIDSet set;
    for (const KUID& k : list)
        if (k.IsNull() || !set.insert(k).second) std::abort();
    return set;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TDBTagRef config = textfuzz::Parse(data, size);
    KUID asset = TDBContainerTag::GetKUID(config, Kiv::PString("kuid"), KUID::kNull);

    KUIDBlockList dependencies;
    if (!CdpCollectDependencies(asset, config, dependencies).IsEmpty()) std::abort();
    KUIDBlockList obsoletes;
    if (!CdpCollectObsoletes(config, obsoletes).IsEmpty()) std::abort();

    KUIDSet needed = CheckedSet(dependencies);
    KUIDSet replaced = CheckedSet(obsoletes);
    if (needed.count(asset) != 0) std::abort();
    for (const KUID& k : replaced)
        if (needed.count(k) != 0) std::abort();
    return 0;
}
