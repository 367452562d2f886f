#include "assetdb/asset_status.h"

#include "assetdb/wex_client_assets.h"

namespace {

// One query: the field groups it asks for, and its answer without a reply.
struct StatusQuery {
    uint32_t mask;
    WEXAssetStatus bit;
    bool unreachable;
};

constexpr StatusQuery kBuiltIn{0, kWEXStatusBuiltIn, false};
constexpr StatusQuery kLocallyModified{kWEXInfoStatus, kWEXStatusLocallyModified, true};
constexpr StatusQuery kInstalled{kWEXInfoStatus, kWEXStatusInstalled, true};
constexpr StatusQuery kFaulty{kWEXInfoStatus, kWEXStatusFaulty, true};
constexpr StatusQuery kMissingDependencies{kWEXInfoStatus, kWEXStatusMissingDependencies, true};
constexpr StatusQuery kScriptCacheBlocked{kWEXInfoStatus, kWEXStatusScriptCacheBlocked, true};

bool Ask(const KUID& asset, const StatusQuery& query) {
    WEXAssetInfo info;
    if (!WEXClient::GetAssetInfo(asset, info, query.mask)) return query.unreachable;
    return info.Has(query.bit);
}

Kiv::String AskText(const KUID& asset, uint32_t mask, Kiv::String WEXAssetInfo::*field) {
    WEXAssetInfo info;
    if (!WEXClient::GetAssetInfo(asset, info, mask)) return {};
    return std::move(info.*field);
}

// The letters in print order: a bit of the record, or a query of its own.
struct StatusLetter {
    char letter;
    WEXAssetStatus bit;
    bool (*query)(const KUID& asset);
};

bool MissingDependencies(const KUID& asset) {
    return WEXAssetHasMissingDependencies(asset, false);
}

constexpr StatusLetter kLetters[] = {
    {'E', kWEXStatusOpenForEdit, nullptr},      {'I', kWEXStatusInstalled, nullptr},
    {'A', kWEXStatusArchived, nullptr},         {'D', kWEXStatusOnVendrix, nullptr},
    {'L', kWEXStatusLocallyModified, nullptr},  {'M', WEXAssetStatus{}, &MissingDependencies},
    {'F', WEXAssetStatus{}, &WEXAssetIsFaulty},
};

}  // namespace

Kiv::String WEXGetAssetName(const KUID& asset) {
    return AskText(asset, kWEXInfoNames, &WEXAssetInfo::name);
}

Kiv::String WEXGetAssetRegion(const KUID& asset) {
    return AskText(asset, kWEXInfoCategories, &WEXAssetInfo::region);
}

Kiv::String WEXGetAssetKeywords(const KUID& asset) {
    return AskText(asset, kWEXInfoCategories, &WEXAssetInfo::keywords);
}

Kiv::String WEXGetAssetEra(const KUID& asset) {
    return AskText(asset, kWEXInfoCategories, &WEXAssetInfo::era);
}

bool WEXAssetIsBuiltIn(const KUID& asset) {
    return Ask(asset, kBuiltIn);
}

bool WEXAssetIsLocallyModified(const KUID& asset) {
    return Ask(asset, kLocallyModified);
}

bool WEXAssetIsInstalled(const KUID& asset) {
    return Ask(asset, kInstalled);
}

bool WEXAssetIsFaulty(const KUID& asset) {
    return Ask(asset, kFaulty);
}

bool WEXAssetHasMissingDependencies(const KUID& asset, bool onlyInstalled) {
    WEXAssetInfo info;
    if (!WEXClient::GetAssetInfo(asset, info, kMissingDependencies.mask))
        return kMissingDependencies.unreachable;
    if (onlyInstalled && !info.Has(kWEXStatusInstalled)) return true;
    return info.Has(kMissingDependencies.bit);
}

bool WEXAssetIsScriptCacheBlocked(const KUID& asset) {
    return Ask(asset, kScriptCacheBlocked);
}

Kiv::String WEXAssetStatusLetters(const WEXAssetInfo& info) {
    Kiv::String letters;
    for (const StatusLetter& l : kLetters) {
        bool holds = l.query ? l.query(info.asset) : info.Has(l.bit);
        letters += holds ? l.letter : static_cast<char>(l.letter - 'A' + 'a');
    }
    return letters;
}
