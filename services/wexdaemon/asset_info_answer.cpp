#include "services/wexdaemon/asset_info_answer.h"

#include "services/wexdaemon/config_facts.h"

namespace wexd {

namespace {

// The rating the client reads for a favourite, and for an asset nobody rated.
constexpr uint8_t kFavoriteRating = 5;

}  // namespace

const std::string& AssetShownName(const AssetRecord& record) {
    return record.config.name.empty() ? record.config.title : record.config.name;
}

WEXAssetInfo MakeAssetInfo(const RecordMap& records, const AssetRecord& record,
                           const std::string& authorName) {
    const ConfigFacts& c = record.config;
    WEXAssetInfo info;
    info.asset = record.kuid;
    info.name = Kiv::String(AssetShownName(record));
    info.region = Kiv::String(c.region);
    info.keywords = Kiv::String(record.keywords);
    info.SetStatus(StatusBits(records, record));
    info.authorId = static_cast<uint32_t>(record.kuid.userId);
    if (!authorName.empty()) info.authorName = Kiv::PString(authorName);
    info.era = Kiv::String(c.era);
    std::string codes = CategoryClassCodes(c);
    if (!codes.empty()) info.categoryCodes = Kiv::PString(codes);
    info.userName = Kiv::String(c.name);
    info.rating = record.favorite ? kFavoriteRating : WEXAssetInfo::kNoRating;
    info.build = c.build;
    info.installedAt = record.installedAt > 0 ? static_cast<uint64_t>(record.installedAt) : 0;
    info.modifiedAt = record.modifiedAt > 0 ? static_cast<uint64_t>(record.modifiedAt) : 0;
    info.buildKnown = c.read;
    return info;
}

}  // namespace wexd
