// The daemon's side of the asset search: a filter tree (the client's element classes, read by
// the client's reader) evaluated against the store's records. What each keyword means in this
// single-user local store:
//
//   groups        mode 0: any child holds; every other mode (the client always sends 1): all
//                 children hold. An empty group holds for every asset; a negated group holds
//                 where the same group without negation does not.
//   strings       "asset-name": the asset's name (its "username", else its "name") contains
//                 the value, ignoring letter case; a value given in double quotes must be the
//                 whole name. "category-list": a category expression matched (letter case
//                 kept) against the codes of the asset's kind followed by its "category-class"
//                 codes. "era-list", "region-list", "keyword-list": a category expression over
//                 the asset's "category-era", "category-region" or keyword text, ignoring
//                 letter case; in these lists and in their values, blanks and ',' separate like
//                 ';'. An empty value holds for every asset.
//   ints          "local-rating": 5 for a favourite (other assets are unrated and never match);
//                 "author": the KUID's user id; "version": the KUID's version.
//   timestamps    "installation-timestamp", "modification-timestamp": when the asset was
//                 installed and last changed (seconds since 1970).
//   asset ids     "asset-id": the asset is one of the set; "profile-map": the asset depends
//                 on one of the set.
//   bools         "local", "locally-available", "locally-enabled": installed here (a new asset
//                 that was never committed is not). "listing-privilege", "commit-privilege",
//                 "compatible": every asset of the store (its one user owns them all).
//                 "obsolete": another installed asset lists it as made obsolete. "up-to-date":
//                 no higher version of it is installed. "locally-modified", "open-for-edit",
//                 "faulty", "has-missing-dependencies": its status bits. "has-faulty-
//                 dependencies": a dependency is held only by a faulty asset. "valid-name": its
//                 name is not blank. "has-script-source": its config names a "script".
//                 "vendrix": the content service lists it. "location-unknown", "in-archive",
//                 "from-tintwerk", "builtin", "in-base-content-set", and "warnings" (no validation
//                 results are kept in this build): no asset. A keyword code outside the client's
//                 table: no asset.
//
// Assets the content service lists and this machine does not hold take part as records that
// are not installed, so "local" leaves them out and a search without it finds them.
//
// A bound given as included counts as in the range; a range whose low end lies above its high
// end holds nothing.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "assetdb/filter_element.h"
#include "services/wexdaemon/record_queries.h"

namespace wexd {

class FilterMatcher {
public:
    // `listed`: what the content service lists (none when null).
    explicit FilterMatcher(const RecordMap& records, const std::set<KUID>* listed = nullptr)
        : records_(records), listed_(listed) {}

    bool Matches(const WEXFilterElement& element, const AssetRecord& record);

private:
    bool MatchesBool(uint32_t code, const AssetRecord& record);
    // Results that look at every record, worked out once per search when first needed.
    const std::set<KUID>& Obsoleted();
    const std::string& CategoryCodes(const AssetRecord& record);

    const RecordMap& records_;
    const std::set<KUID>* listed_;
    std::optional<std::set<KUID>> obsoleted_;
    std::map<std::pair<std::string, std::string>, std::string> categoryCodes_;
};

// The KUIDs of the records the tree holds for, in KUID order. `offered` (when given) are the
// records of what the content service lists: those the store does not hold are searched too.
std::vector<KUID> SearchRecords(const RecordMap& records, const WEXFilterElement& root,
                                const RecordMap* offered = nullptr);

}  // namespace wexd
