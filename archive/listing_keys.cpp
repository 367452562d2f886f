#include "archive/listing_keys.h"

#include <string>

#include "foundation/statics.h"

namespace {

ListingKeys MakeKeys() {
    using W = Kiv::PString;
    ListingKeys k;
    k.kuid = W("kuid");
    k.asset = W("asset");
    k.deps = W("deps");
    k.cats = W("cats");
    k.catEls = W("cat_els");
    k.assetTypeId = W("assettypeid");
    k.title = W("title");
    k.description = W("description");
    k.downloadPath = W("downloadpath");
    k.fileSize = W("filesize");
    k.productVersion = W("productversion");
    k.categoryClass = W("category-class");
    return k;
}

}  // namespace

const ListingKeys& GetListingKeys() {
    static const ProcessStatic<ListingKeys> keys("listing keys", MakeKeys());
    return keys.Get();
}

Kiv::PString ListingNumberName(uint32_t n) {
    return Kiv::PString(std::to_string(n));
}

namespace {

// Builds the words before main.
[[maybe_unused]] const bool kBuilt = [] {
    GetListingKeys();
    return true;
}();

}  // namespace
