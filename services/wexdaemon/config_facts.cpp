#include "services/wexdaemon/config_facts.h"

#include "archive/cdp_build.h"
#include "assetdb/asset_build_version.h"
#include "assetdb/category_codes.h"
#include "assetdb/category_match.h"
#include "configdata/tdb_container_tag.h"
#include "services/wexdaemon/config_source.h"
#include "services/wexdaemon/daemon_log.h"

namespace wexd {

namespace {

struct Tags {
    Kiv::PString username{"username"};
    Kiv::PString name{"name"};
    Kiv::PString kind{"kind"};
    Kiv::PString categoryClass{"category-class"};
    Kiv::PString region{"category-region"};
    Kiv::PString era{"category-era"};
    Kiv::PString script{"script"};
};

const Tags& T() {
    static const Tags* tags = new Tags;
    return *tags;
}

std::string Text(const TDBTagRef& config, const Kiv::PString& name) {
    if (!TDBContainerTag::HasTag(config, name)) return {};
    return std::string(TDBContainerTag::GetString(config, name).view());
}

std::vector<KUID> ToVector(const KUIDBlockList& list) {
    std::vector<KUID> out;
    out.reserve(list.Count());
    for (const KUID& k : list)
        out.push_back(k);
    return out;
}

}  // namespace

ConfigFacts FactsFromConfig(const KUID& kuid, const TDBTagRef& config) {
    const Tags& t = T();
    ConfigFacts f;
    f.read = true;
    f.name = Text(config, t.username);
    f.title = Text(config, t.name);
    f.kind = Text(config, t.kind);
    f.categoryClass = Text(config, t.categoryClass);
    f.region = Text(config, t.region);
    f.era = Text(config, t.era);
    f.hasScript = !Text(config, t.script).empty();
    f.build = GetAssetBuildVersion(config);
    f.faulty = !(ConfigKUID(config) == kuid);

    KUIDBlockList dependencies;
    KUIDBlockList obsoletes;
    Kiv::PString error = CdpCollectDependencies(kuid, config, dependencies, kMaxCachedKUIDs);
    if (error.IsEmpty()) error = CdpCollectObsoletes(config, obsoletes, kMaxCachedKUIDs);
    if (!error.IsEmpty()) {
        DaemonLog("%s: %s", kuid.ToString().c_str(), error.c_str());
        f.faulty = true;
        return f;
    }
    f.dependencies = ToVector(dependencies);
    f.obsoletes = ToVector(obsoletes);
    dependencies.FreeAll();
    obsoletes.FreeAll();
    return f;
}

ConfigFacts ReadConfigFacts(const KUID& kuid, const std::string& folder, int64_t& stamp,
                            std::string& error) {
    AssetConfig config;
    if (!ReadAssetConfig(folder, config, error)) {
        stamp = AssetConfigStamp(folder);
        ConfigFacts f;
        f.faulty = true;
        return f;
    }
    stamp = config.stamp;
    return FactsFromConfig(kuid, config.root);
}

std::string CategoryClassCodes(const ConfigFacts& facts) {
    return std::string(
        ::CategoryClassCodes(facts.kind.c_str(), facts.categoryClass.c_str()).view());
}

std::string SearchCategoryCodes(const ConfigFacts& facts) {
    return std::string(AssetCategoryCodes(facts.kind.c_str(), facts.categoryClass.c_str()).view());
}

}  // namespace wexd
