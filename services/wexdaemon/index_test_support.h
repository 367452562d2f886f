// Test support for the index: a sample of records with every field set, and one with none.
#pragma once

#include "services/wexdaemon/asset_index.h"

namespace indextest {

inline wexd::IndexContents Sample() {
    wexd::IndexContents index;
    index.counters.nextContentId = 4000;
    index.counters.nextHandle = 0x100000002ULL;
    wexd::AssetRecord full;
    full.kuid = KUID(5, 6, 3);
    full.config.name = "Goods shed";
    full.statusA = 0x8D;
    full.statusB = 2;
    full.statusC = 7;
    full.statusD = 1;
    full.favorite = true;
    full.keywords = "brick red";
    full.openForEdit = true;
    full.validation = 1;
    full.configStamp = 1700000000123456789LL;
    full.installedAt = 1700000000;
    full.modifiedAt = 1800000000;
    full.installed = true;
    full.cache = wexd::kRecordCacheVersion;
    full.config.title = "goods_shed";
    full.config.kind = "buildable";
    full.config.categoryClass = "BD;IND";
    full.config.region = "AU";
    full.config.era = "1950s;1960s";
    full.config.build = 3.105f;
    full.config.read = true;
    full.config.hasScript = true;
    full.config.dependencies = {KUID(1, 2), KUID(-10, 172, 127), KUID(1, 3, 4)};
    full.config.obsoletes = {KUID(5, 6, 2)};
    wexd::AssetRecord plain;
    plain.kuid = KUID(-7, 1, 127);
    index.records[full.kuid] = full;
    index.records[plain.kuid] = plain;
    return index;
}

}  // namespace indextest
