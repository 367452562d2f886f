// Building CDP archives in memory: what each contained asset needs from outside the archive
// and what it makes obsolete, gathered from its configuration into the KUID lists that become
// the archive's "kuid-table" and "obsolete-table". The database daemon answers an asset's
// dependency and obsolete queries with the same rules.
//
// The lists are ordered and hold each KUID once: adding a KUID a list holds already does
// nothing. Configurations come from users' files, so collection is bounded: it takes time and
// memory in proportion to the configuration, searches containers no deeper than
// kMaxTagTreeDepth, and never lets a list grow past kCdpMaxListKUIDs. A configuration outside
// those bounds gets an error text and leaves the list as it was.
#pragma once

#include <cstdint>

#include "configdata/kuid.h"
#include "configdata/kuid_list.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

// The most KUIDs a collection leaves in a list: 8 MiB as a KUID list on the daemon link, and
// far more than the largest real asset names (a big route lists some tens of thousands).
constexpr uint32_t kCdpMaxListKUIDs = 1u << 20;

// Adds to `dependencies` what the asset needs: every KUID its configuration names anywhere
// (KUID values, and texts in a keyword form such as "kuid:1:2"), every entry of its
// "kuid-table", its single dependency tags ("alias", "bogey", "interior", ...), and the
// default interior <kuid:-10:172> for a driven "traincar" that names none; less its own KUID,
// what it makes obsolete ("obsolete-table", "obsoletes-kuid") and what it can do without
// ("optional-kuid-table"). Returns the empty text on success; an error text, with the list
// unchanged, when the configuration nests deeper than kMaxTagTreeDepth or the list would hold
// more than `maxKUIDs`.
Kiv::PString CdpCollectDependencies(const KUID& asset, const TDBTagRef& config,
                                    KUIDBlockList& dependencies,
                                    uint32_t maxKUIDs = kCdpMaxListKUIDs);

// Adds to `obsoletes` what the asset makes obsolete: its "obsolete-table", then its
// "obsoletes-kuid". Returns the empty text on success; an error text, with the list unchanged,
// when the list would hold more than `maxKUIDs`.
Kiv::PString CdpCollectObsoletes(const TDBTagRef& config, KUIDBlockList& obsoletes,
                                 uint32_t maxKUIDs = kCdpMaxListKUIDs);
