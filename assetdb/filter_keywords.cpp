#include "assetdb/filter_keywords.h"

#include <array>
#include <vector>

namespace {

constexpr const char* kStringNames[] = {"asset-name", "category-list", "era-list", "keyword-list",
                                        "region-list"};
constexpr const char* kIntNames[] = {"local-rating", "author", "version"};
constexpr const char* kTimestampNames[] = {"installation-timestamp", "modification-timestamp"};
constexpr const char* kAssetIDNames[] = {"asset-id", "profile-map"};
constexpr const char* kBoolNames[] = {"local",
                                      "vendrix",
                                      "location-unknown",
                                      "locally-available",
                                      "up-to-date",
                                      "obsolete",
                                      "locally-modified",
                                      "valid-name",
                                      "open-for-edit",
                                      "in-archive",
                                      "locally-enabled",
                                      "has-missing-dependencies",
                                      "has-faulty-dependencies",
                                      "faulty",
                                      "from-tintwerk",
                                      "builtin",
                                      "listing-privilege",
                                      "commit-privilege",
                                      "warnings",
                                      "has-script-source",
                                      "compatible",
                                      "in-base-content-set"};

constexpr size_t kFamilies = 5;

// Every name interned once, so that naming an element costs a copy of a handle.
struct InternedNames {
    std::array<std::vector<Kiv::PString>, kFamilies> byFamily;
    Kiv::PString unknown{"unknown"};

    InternedNames() {
        for (size_t f = 0; f < kFamilies; ++f) {
            for (const char* name : WEXFilterKeywordNames(static_cast<WEXFilterKeywordFamily>(f)))
                byFamily[f].emplace_back(name);
        }
    }
};

const InternedNames& Names() {
    static const InternedNames names;
    return names;
}

}  // namespace

std::span<const char* const> WEXFilterKeywordNames(WEXFilterKeywordFamily family) {
    switch (family) {
        case WEXFilterKeywordFamily::kString:
            return kStringNames;
        case WEXFilterKeywordFamily::kInt:
            return kIntNames;
        case WEXFilterKeywordFamily::kTimestamp:
            return kTimestampNames;
        case WEXFilterKeywordFamily::kAssetID:
            return kAssetIDNames;
        case WEXFilterKeywordFamily::kBool:
            return kBoolNames;
    }
    return {};
}

Kiv::PString WEXFilterKeywordName(WEXFilterKeywordFamily family, uint32_t code) {
    const InternedNames& names = Names();
    const auto& table = names.byFamily[static_cast<size_t>(family)];
    return code < table.size() ? table[code] : names.unknown;
}
