// authors and searchbycategory: two listings of the asset database printed to standard output,
// the distinct authors of the installed assets and the assets whose categories match an
// expression.
#include <memory>
#include <ostream>
#include <set>
#include <string>

#include "assetdb/asset_search.h"
#include "assetdb/author_cache.h"
#include "assetdb/filter_bool.h"
#include "assetdb/filter_group.h"
#include "assetdb/filter_string.h"
#include "assetdb/wex_client_assets.h"
#include "cli/command_handlers.h"

namespace {

// The assets whose authors are listed: installed, available here and enabled.
constexpr WEXBoolKeyword kAuthorsFilter[] = {kWEXLocal, kWEXLocallyAvailable, kWEXLocallyEnabled};

constexpr const char* kAllSourcesWord = "-a";

bool Search(CommandContext& context, const WEXFilterElementGroup& filter, KUIDBlockList& found) {
    if (WEXClient::SearchAssets(filter, found)) return true;
    AddCommandError(context.log, kSearchFailedMessage);
    return false;
}

}  // namespace

std::string CollectAuthorIds(const KUID& asset) {
    WEXAssetInfo info;
    if (!WEXClient::GetAssetInfo(asset, info, kWEXInfoEverything)) return {};
    return GetAuthorName(static_cast<int32_t>(info.authorId)).str();
}

int RunAuthorsCommand(CommandContext& context) {
    WEXFilterElementGroup filter;
    for (WEXBoolKeyword code : kAuthorsFilter)
        filter.Add(std::make_unique<WEXFilterElementBool>(code));
    KUIDBlockList found;
    if (!Search(context, filter, found)) return kCommandFailed;
    std::set<std::string> authors;
    for (const KUID& asset : found) {
        NoReplyMark mark;
        std::string author = CollectAuthorIds(asset);
        // A list missing the authors the daemon did not name would pass for the whole list.
        if (mark.Any()) {
            ReportNoReply(context.log, asset);
            return kCommandFailed;
        }
        if (!author.empty()) authors.insert(std::move(author));
    }
    for (const std::string& author : authors)
        context.out << author << '\n';
    context.out.flush();
    return 0;
}

int RunSearchByCategoryCommand(CommandContext& context) {
    // "-a" searches the content service's assets too, and the list follows it as typed.
    const bool allSources = context.argument == kAllSourcesWord;
    std::string list = context.argument;
    if (allSources) {
        list = context.argc > 3 && context.argv[3] != nullptr ? context.argv[3] : "";
        if (list.empty()) {
            AddCommandError(context.log, "Missing category parameter.");
            return kCommandFailed;
        }
    }
    for (char& c : list)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');

    WEXFilterElementGroup filter(
        std::make_unique<WEXFilterElementString>(kWEXCategoryList, Kiv::PString(list)));
    if (!allSources) filter.Add(std::make_unique<WEXFilterElementBool>(kWEXLocal));
    KUIDBlockList found;
    if (!Search(context, filter, found)) return kCommandFailed;

    context.out << "+ " << found.Count() << " : assets matching the specified criteria\n";
    uint32_t index = 0;
    for (const KUID& asset : found)
        context.out << "+ #" << index++ << " : " << asset.ToString().view() << '\n';
    context.out.flush();
    return 0;
}
