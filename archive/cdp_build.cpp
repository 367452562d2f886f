// Building CDP archives: dependency and obsolete collection.
#include "archive/cdp_build.h"

#include <unordered_set>
#include <vector>

#include "archive/cdp_keys.h"
#include "configdata/tdb_container_tag.h"
#include "foundation/statics.h"

namespace {

// The cab a driven car without an interior of its own is shown with.
constexpr KUID kDefaultInterior(-10, 172, 127);

// What one collection adds to a list: each non-null KUID offered that the list and the
// refused KUIDs do not hold, once, in the order offered. Nothing reaches the list before the
// whole addition is known to fit, so a refused collection leaves it as it was.
class Additions {
public:
    Additions(const KUIDBlockList& list, const KUIDBlockList& refused) : list_(list) {
        held_.reserve(size_t{list.Count()} + refused.Count());
        Hold(list);
        Hold(refused);
    }

    void Offer(const KUID& kuid) {
        if (!kuid.IsNull() && held_.insert(kuid).second) fresh_.push_back(kuid);
    }
    void Offer(const KUIDBlockList& kuids) {
        for (const KUID& k : kuids)
            Offer(k);
    }

    // False, with the list untouched, when it would hold more than maxKUIDs.
    bool AppendTo(KUIDBlockList& list, uint32_t maxKUIDs) const {
        uint32_t count = list_.Count();
        if (count > maxKUIDs || fresh_.size() > maxKUIDs - count) return false;
        for (const KUID& k : fresh_)
            list.Append(k);
        return true;
    }

private:
    void Hold(const KUIDBlockList& kuids) {
        for (const KUID& k : kuids)
            held_.insert(k);
    }

    const KUIDBlockList& list_;
    std::unordered_set<KUID, KUIDHash> held_;
    std::vector<KUID> fresh_;
};

Kiv::PString TooManyError(const char* what, uint32_t maxKUIDs) {
    return Kiv::PString::Printf("Unable to collect %s: the list would hold more than %u KUIDs",
                                what, maxKUIDs);
}

}  // namespace

Kiv::PString CdpCollectDependencies(const KUID& asset, const TDBTagRef& config,
                                    KUIDBlockList& dependencies, uint32_t maxKUIDs) {
    const CdpKeys& keys = GetCdpKeys();

    // What the configuration names anywhere. A tree too deep to search whole would give a
    // list that silently misses dependencies.
    KUIDBlockList named;
    if (!TDBContainerTag::CollectAllKUIDs(config, named)) {
        return Kiv::PString::Printf(
            "Unable to collect the dependencies of %s: its configuration nests deeper than %u "
            "levels",
            asset.ToString().c_str(), kMaxTagTreeDepth);
    }
    KUIDBlockList table;
    TDBContainerTag::CollectChildKUIDs(TDBContainerTag::GetContainer(config, keys.kuidTable),
                                       table);

    // What the asset is, replaces or may do without is not a dependency. "obsoletes-kuid" is
    // the one-entry form of "obsolete-table" (both are the asset's obsoletes), so it is left
    // out as well: an archive must not ask for what its own content replaces.
    KUIDBlockList refused;
    TDBContainerTag::CollectChildKUIDs(TDBContainerTag::GetContainer(config, keys.obsoleteTable),
                                       refused);
    TDBContainerTag::CollectChildKUIDs(
        TDBContainerTag::GetContainer(config, keys.optionalKuidTable), refused);
    refused.Append(TDBContainerTag::GetKUID(config, keys.obsoletesKuid, KUID::kNull));
    refused.Append(asset);

    Additions additions(dependencies, refused);
    additions.Offer(named);
    additions.Offer(table);
    // Single tags read loosely, so "1:2" names a KUID here though the whole-tree search takes
    // only keyword forms.
    for (const Kiv::PString& tag : keys.dependencyTags)
        additions.Offer(TDBContainerTag::GetKUID(config, tag, KUID::kNull));
    if (TDBContainerTag::GetString(config, keys.kind).EqualsIgnoreCase(keys.traincar) &&
        TDBContainerTag::GetInt(config, keys.engine, -1) == 1 &&
        TDBContainerTag::GetKUID(config, keys.interior, KUID::kNull).IsNull()) {
        additions.Offer(kDefaultInterior);
    }
    if (!additions.AppendTo(dependencies, maxKUIDs)) return TooManyError("dependencies", maxKUIDs);
    return EmptyPString();
}

Kiv::PString CdpCollectObsoletes(const TDBTagRef& config, KUIDBlockList& obsoletes,
                                 uint32_t maxKUIDs) {
    const CdpKeys& keys = GetCdpKeys();
    KUIDBlockList table;
    TDBContainerTag::CollectChildKUIDs(TDBContainerTag::GetContainer(config, keys.obsoleteTable),
                                       table);
    Additions additions(obsoletes, KUIDBlockList());
    additions.Offer(table);
    additions.Offer(TDBContainerTag::GetKUID(config, keys.obsoletesKuid, KUID::kNull));
    if (!additions.AppendTo(obsoletes, maxKUIDs)) return TooManyError("obsoletes", maxKUIDs);
    return EmptyPString();
}
