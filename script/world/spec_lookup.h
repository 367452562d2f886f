// The asset specs the script world reads: found in the script host's registry by KUID, or loaded
// from the folder the database names for the asset (a handle opened and dropped at once), and
// whether such an asset is locally modified.
#pragma once

#include "configdata/kuid.h"
#include "script/host/asset_spec.h"

namespace HalvexWorld {

// The asset's spec with a reference held by the pointer; empty when the registry has none and
// none can be loaded.
SpecPointer FindOrLoadSpec(const KUID& kuid);
// Drops the pointer's reference.
void DropSpec(SpecPointer& spec);
// Whether the asset spec's asset is locally modified, as the database answers now.
bool SpecIsLocallyModified(const SpecPointer& spec);

}  // namespace HalvexWorld
