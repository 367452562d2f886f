// The words the archive code looks up in configurations and archives, interned once before
// main (foundation/statics.h) and compared by identity. Tag names are the lower-case spellings
// every configuration reader produces.
#pragma once

#include <array>

#include "platform/kiv/base/pstring.h"

struct CdpKeys {
    // Tags of an asset's configuration that dependency collection reads.
    Kiv::PString kind;
    Kiv::PString kuidTable;
    Kiv::PString obsoleteTable;
    Kiv::PString optionalKuidTable;
    Kiv::PString obsoletesKuid;
    Kiv::PString engine;
    Kiv::PString interior;
    // The single KUID tags that name a dependency, in the order they are added.
    std::array<Kiv::PString, 11> dependencyTags;
    // The kind of vehicle whose driven cars need a cab.
    Kiv::PString traincar;

    // Tags of an archive's root and of its asset entries.
    Kiv::PString kuid;
    Kiv::PString packageVersion;
    Kiv::PString assets;
    Kiv::PString contentsTable;
    Kiv::PString files;
    Kiv::PString compression;
    Kiv::PString dsid;
    Kiv::PString folderIcon;
    // The "kind" of an archive, and the "compression" texts extraction reads.
    Kiv::PString archive;
    Kiv::PString lzss;
    Kiv::PString filepath;
};

const CdpKeys& GetCdpKeys();
