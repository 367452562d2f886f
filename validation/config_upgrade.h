// Bringing a configuration written for an older build up to the conventions the templates
// expect, in memory, before it is checked: build 2.9's tag renames, merged category tags, mesh
// tables and lists built from the old per-kind tags and the removal of junk tags, then build
// 3.5's removal of empty category tags. Nothing is reported and nothing is written to disk.
#pragma once

#include <string_view>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

// Upgrades by the asset's build as the data manager holds it (below 2.90 both steps, below 3.50
// the second only).
void UpgradeConfig(TDBTagRef& soup);
// The rewrite to build 2.9's conventions.
void UpgradeConfigTo29(TDBTagRef& soup);

namespace DUVLib::upgrade {

// The rewrites by kind (step 11) and the two later steps that reuse their pieces.
void RewriteByKind(const TDBTagRef& config, const Kiv::PString& kind, const Kiv::PString& af);
void NameEffects(const TDBTagRef& config);
void MakeThumbnails(const TDBTagRef& config);

// The junk tags and old author tags (step 20), and the stray words, "asset-" tags, second junk
// list and malformed names (step 21).
void RemoveJunkAndRenameAuthors(const TDBTagRef& config);
void RemoveStrayAndMalformed(const TDBTagRef& config);
bool IsKnownTopLevelTag(const Kiv::PString& name);
void RemoveStrayDescriptionWords(const TDBTagRef& config);
void RemoveAssetPrefixedTags(const TDBTagRef& config);

}  // namespace DUVLib::upgrade
