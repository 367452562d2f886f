#include "services/wexdaemon/filter_match.h"

#include <algorithm>

#include "assetdb/category_match.h"
#include "assetdb/filter_asset_id.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_range.h"
#include "assetdb/filter_string.h"
#include "platform/kiv/base/text.h"
#include "services/wexdaemon/config_facts.h"

namespace wexd {

namespace {

// The asset's name as the search sees it.
const std::string& SearchName(const AssetRecord& record) {
    return record.config.name.empty() ? record.config.title : record.config.name;
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    return Kiv::ToLowerAscii(text).find(Kiv::ToLowerAscii(part)) != std::string::npos;
}

// A list or expression in lower case, with blanks and ',' made ';' (what separates entries).
std::string LowerList(std::string_view text) {
    std::string out = Kiv::ToLowerAscii(text);
    for (char& c : out)
        if (c == ',' || c == ' ' || c == '\t' || c == '\r' || c == '\n') c = ';';
    return out;
}

template <typename T>
bool InRange(T value, T low, T high, bool includesLow, bool includesHigh) {
    return (includesLow ? value >= low : value > low) &&
           (includesHigh ? value <= high : value < high);
}

constexpr int32_t kFavoriteRating = 5;

}  // namespace

const std::set<KUID>& FilterMatcher::Obsoleted() {
    if (!obsoleted_) obsoleted_ = ObsoletedAssets(records_);
    return *obsoleted_;
}

const std::string& FilterMatcher::CategoryCodes(const AssetRecord& record) {
    auto key = std::make_pair(record.config.kind, record.config.categoryClass);
    auto it = categoryCodes_.find(key);
    if (it == categoryCodes_.end())
        it = categoryCodes_.emplace(std::move(key), SearchCategoryCodes(record.config)).first;
    return it->second;
}

bool FilterMatcher::MatchesBool(uint32_t code, const AssetRecord& record) {
    switch (code) {
        case kWEXLocal:
        case kWEXLocallyAvailable:
        case kWEXLocallyEnabled:
            return record.installed;
        case kWEXListingPrivilege:
        case kWEXCommitPrivilege:
        case kWEXCompatible:
            return true;
        case kWEXObsolete:
            return Obsoleted().count(record.kuid) != 0;
        case kWEXUpToDate:
            return !HasHigherVersion(records_, record.kuid);
        case kWEXLocallyModified:
            return (record.statusA & kStatusALocallyModified) != 0;
        case kWEXOpenForEdit:
            return record.openForEdit;
        case kWEXFaulty:
            return IsFaulty(record);
        case kWEXHasMissingDependencies:
            return HasMissingDependencies(records_, record);
        case kWEXHasFaultyDependencies:
            return HasFaultyDependencies(records_, record);
        case kWEXValidName:
            return SearchName(record).find_first_not_of(" \t\r\n") != std::string::npos;
        case kWEXHasScriptSource:
            return record.config.hasScript;
        case kWEXVendrix:
            return listed_ != nullptr && listed_->count(record.kuid) != 0;
        default:
            // location-unknown, in-archive, from-tintwerk, builtin,
            // in-base-content-set, warnings, and codes outside the table.
            return false;
    }
}

bool FilterMatcher::Matches(const WEXFilterElement& element, const AssetRecord& record) {
    switch (element.TypeCode()) {
        case kWEXFilterTypeGroup: {
            const auto& group = static_cast<const WEXFilterElementGroup&>(element);
            bool holds = true;
            if (group.GetChildCount() != 0) {
                bool any = group.GetMode() == 0;
                holds = !any;
                for (size_t i = 0; i < group.GetChildCount(); ++i) {
                    if (Matches(group.GetChild(i), record) == any) {
                        holds = any;
                        break;
                    }
                }
            }
            return holds != group.IsNegated();
        }
        case kWEXFilterTypeString: {
            const auto& s = static_cast<const WEXFilterElementString&>(element);
            std::string_view value = s.GetValue().view();
            if (value.empty()) return true;
            switch (s.GetKeywordCode()) {
                case kWEXAssetName:
                    return s.IsExact() ? Kiv::EqualsIgnoreCase(SearchName(record), value)
                                       : ContainsIgnoringCase(SearchName(record), value);
                case kWEXCategoryList:
                    return MatchCategoryList(CategoryCodes(record).c_str(),
                                             std::string(value).c_str());
                case kWEXEraList:
                    return MatchCategoryList(LowerList(record.config.era).c_str(),
                                             LowerList(value).c_str());
                case kWEXRegionList:
                    return MatchCategoryList(LowerList(record.config.region).c_str(),
                                             LowerList(value).c_str());
                case kWEXKeywordList:
                    return MatchCategoryList(LowerList(record.keywords).c_str(),
                                             LowerList(value).c_str());
                default:
                    return false;
            }
        }
        case kWEXFilterTypeBool:
            return MatchesBool(static_cast<const WEXFilterElementBool&>(element).GetKeywordCode(),
                               record);
        case kWEXFilterTypeInt: {
            const auto& r = static_cast<const WEXFilterElementInt&>(element);
            int32_t value;
            switch (r.GetKeywordCode()) {
                case kWEXLocalRating:
                    if (!record.favorite) return false;
                    value = kFavoriteRating;
                    break;
                case kWEXAuthor:
                    value = record.kuid.userId;
                    break;
                case kWEXVersion:
                    value = record.kuid.version;
                    break;
                default:
                    return false;
            }
            return InRange(value, r.GetLow(), r.GetHigh(), r.IncludesLow(), r.IncludesHigh());
        }
        case kWEXFilterTypeTimestamp: {
            const auto& r = static_cast<const WEXFilterElementTimestamp&>(element);
            int64_t value;
            switch (r.GetKeywordCode()) {
                case kWEXInstallationTimestamp:
                    value = record.installedAt;
                    break;
                case kWEXModificationTimestamp:
                    value = record.modifiedAt;
                    break;
                default:
                    return false;
            }
            return InRange(value, r.GetLow(), r.GetHigh(), r.IncludesLow(), r.IncludesHigh());
        }
        case kWEXFilterTypeAssetID: {
            const auto& a = static_cast<const WEXFilterElementAssetID&>(element);
            std::span<const KUID> set = a.GetKUIDs();
            auto inSet = [&set](const KUID& k) {
                return std::binary_search(set.begin(), set.end(), k);
            };
            switch (a.GetKeywordCode()) {
                case kWEXAssetIDList:
                    return inSet(record.kuid);
                case kWEXProfileMap:
                    for (const KUID& need : record.config.dependencies)
                        if (inSet(need)) return true;
                    return false;
                default:
                    return false;
            }
        }
        default:
            return false;
    }
}

std::vector<KUID> SearchRecords(const RecordMap& records, const WEXFilterElement& root,
                                const RecordMap* offered) {
    std::set<KUID> listed;
    if (offered != nullptr)
        for (const auto& [kuid, record] : *offered)
            listed.insert(kuid);
    FilterMatcher matcher(records, &listed);
    std::vector<KUID> out;
    for (const auto& [kuid, record] : records)
        if (matcher.Matches(root, record)) out.push_back(kuid);
    if (offered != nullptr) {
        for (const auto& [kuid, record] : *offered)
            if (records.count(kuid) == 0 && matcher.Matches(root, record)) out.push_back(kuid);
        std::sort(out.begin(), out.end());
    }
    return out;
}

}  // namespace wexd
