// The tag names of the listing soup, interned once before main and compared by identity.
#pragma once

#include <cstdint>

#include "platform/kiv/base/pstring.h"

struct ListingKeys {
    Kiv::PString kuid;
    Kiv::PString asset;
    Kiv::PString deps;
    Kiv::PString cats;
    Kiv::PString catEls;
    Kiv::PString assetTypeId;
    Kiv::PString title;
    Kiv::PString description;
    Kiv::PString downloadPath;
    Kiv::PString fileSize;
    Kiv::PString productVersion;
    // Read from the asset's configuration.
    Kiv::PString categoryClass;
};

const ListingKeys& GetListingKeys();

// The name of the n-th numbered entry: "%d" of n.
Kiv::PString ListingNumberName(uint32_t n);
