#include "archive/listing_record.h"

#include "archive/listing_keys.h"
#include "archive/listing_vocabulary.h"
#include "assetdb/asset_info.h"
#include "assetdb/wex_client_assets.h"
#include "configdata/tdb_container_tag.h"

std::string ListingKUIDText(const KUID& asset) {
    if (asset.version > 0)
        return Kiv::String::Printf("%d:%d:%d", asset.userId, asset.contentId, asset.version).str();
    return Kiv::String::Printf("%d:%d", asset.userId, asset.contentId).str();
}

std::string ListingDownloadPath(const KUID& asset) {
    if (asset.version > 0)
        return Kiv::String::Printf("kuid2_%d_%d_%d.cdp", asset.userId, asset.contentId,
                                   asset.version)
            .str();
    return Kiv::String::Printf("kuid_%d_%d.cdp", asset.userId, asset.contentId).str();
}

namespace {

// Appends each ";"-token of the text whose element id is known, as the next numbered child.
void AppendCategoryIds(TDBTagRef& cats, const Kiv::String& text) {
    for (const Kiv::String& token : text.Token(";")) {
        int id = ListingCategoryElementId(token.view());
        if (id == 0) continue;
        TDBContainerTag::SetInt(cats, ListingNumberName(TDBContainerTag::CountChildren(cats)), id);
    }
}

}  // namespace

void FillListingRecord(const KUID& asset, const WEXAssetInfo& info, const ListingFacts& facts,
                       TDBTagRef& entry) {
    const ListingKeys& k = GetListingKeys();
    entry.EnsureContainer();
    TDBContainerTag::SetKUID(entry, k.kuid, asset);

    TDBTagRef record;
    record.EnsureContainer();
    TDBContainerTag::SetInt(record, k.assetTypeId, ListingAssetTypeId(info));
    TDBContainerTag::SetString(record, k.title, Kiv::PString(info.name.view()));
    TDBContainerTag::SetString(record, k.description, Kiv::PString(facts.description.view()));
    TDBContainerTag::SetString(record, k.downloadPath, Kiv::PString(ListingDownloadPath(asset)));
    TDBContainerTag::SetInt(record, k.fileSize, static_cast<int32_t>(info.fileSize));
    TDBContainerTag::SetFloat(record, k.productVersion, info.build);
    TDBContainerTag::SetString(record, k.kuid, Kiv::PString(ListingKUIDText(asset)));
    TDBContainerTag::SetContainer(entry, k.asset, record);

    TDBTagRef deps;
    deps.EnsureContainer();
    uint32_t n = 0;
    for (const KUID& dependency : facts.dependencies)
        TDBContainerTag::SetString(deps, ListingNumberName(n++),
                                   Kiv::PString(ListingKUIDText(dependency)));
    TDBContainerTag::SetContainer(entry, k.deps, deps);

    TDBTagRef cats;
    cats.EnsureContainer();
    AppendCategoryIds(
        cats, Kiv::String(TDBContainerTag::GetString(facts.config, k.categoryClass).view()));
    // Region before era.
    AppendCategoryIds(cats, Kiv::String::Printf("%s;%s", info.region.c_str(), info.era.c_str()));
    TDBContainerTag::SetContainer(entry, k.cats, cats);

    TDBTagRef elements;
    elements.EnsureContainer();
    n = 0;
    for (const Kiv::String& token : Kiv::String(info.categoryCodes.view()).Token(";"))
        TDBContainerTag::SetString(elements, ListingNumberName(n++), Kiv::PString(token.view()));
    TDBContainerTag::SetContainer(entry, k.catEls, elements);
}

void BuildListingRecord(const KUID& asset, const WEXAssetInfo& info, TDBTagRef& entry) {
    ListingFacts facts;
    facts.config = WEXClient::GetAssetConfig(asset);
    facts.description = WEXClient::GetAssetDescription(asset);
    WEXClient::GetDependencyList(0, asset, facts.dependencies);
    FillListingRecord(asset, info, facts, entry);
}
