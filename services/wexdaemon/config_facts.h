// What the daemon caches from an asset's config, so that asset records answer the information
// request and the search without reading configs: its names, kind, category texts, the build
// it was made for, whether it names a script, and its dependency and obsolete lists by the
// rules the archive builder uses.
#pragma once

#include <string>

#include "configdata/kuid.h"
#include "configdata/tdb_tag_ref.h"
#include "services/wexdaemon/asset_record.h"

namespace wexd {

// A record holds at most this many dependencies (or obsoletes) of one asset; a config naming
// more is taken as faulty and keeps none, so that one hostile config cannot bloat the index.
constexpr uint32_t kMaxCachedKUIDs = 1u << 16;

// The facts of the asset `kuid` from its config; faulty when the config names another KUID or
// its lists cannot be collected.
ConfigFacts FactsFromConfig(const KUID& kuid, const TDBTagRef& config);

// The facts of the config in the folder; when it cannot be read, facts with `read` false and
// `faulty` set, and the reason in `error`.
ConfigFacts ReadConfigFacts(const KUID& kuid, const std::string& folder, int64_t& stamp,
                            std::string& error);

// The asset's category codes: its "category-class" list, or the codes an old one-class code
// ("AA", "BIN") stands for with its kind.
std::string CategoryClassCodes(const ConfigFacts& facts);
// What a category expression is matched against: the codes of its kind, then its class codes.
std::string SearchCategoryCodes(const ConfigFacts& facts);

}  // namespace wexd
