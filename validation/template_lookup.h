// Reading the merged templates: the definition of an asset kind, the template entry of a plain
// tag (own entries first, then the inherited definitions, then the tag arrays), and the asset's
// build compared in whole hundredths.
#pragma once

#include <vector>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

namespace DUVLib {

class Container;

// A usable template entry: not null, not the shared null node, of a non-zero type.
bool IsValidEntry(const TDBTagRef& entry);

// The asset's build (held by the data manager) is at least the version, in whole hundredths.
bool IsBuildAtLeast(float version);

// The top-level definition of the kind (lower-cased) when it may serve as an asset kind; loads
// the templates when the first look finds none. Empty otherwise.
TDBTagRef FindKindDefinition(Kiv::PString kind);

// The template entry of a plain tag: the definition's own entry, then each inherited
// definition's entry or tag array, then the definition's tag array. `check` is the root of the
// check under way (for the per-check entries of obsolete tags); null reads the templates alone.
TDBTagRef FindTagTemplate(const Kiv::PString& name, const TDBTagRef& definition,
                          const std::vector<TDBTagRef>& inherited, Container* check);

}  // namespace DUVLib
