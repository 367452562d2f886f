// The upgrade's cleaning of the top level: tags under names the templates never listed, stray
// words of a description written without quotes, "asset-" tags, junk words and malformed names,
// and author details under their old names. Only top-level tags are touched.
#include <span>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "configdata/tdb_container_tag.h"
#include "validation/config_upgrade.h"
#include "validation/data_manager.h"
#include "validation/upgrade_support.h"

namespace DUVLib::upgrade {

namespace {

constexpr const char* kFirstJunk[] = {
    "licence", "disclaimer:",  "licence:",    "licence:-", "name-ru",  "name-es", "name-fr",
    "name-pl", "name-de",      "name-it",     "name-cz",   "name-cn",  "name-nl", "name-hu",
    "origin",  "objremarks",   "origregion",  "orgname",   "origname", "orvel",   "company",
    "halvex",  "halvex_build", "train-build", "version",   "obsolete"};
static_assert(std::size(kFirstJunk) == 26);

constexpr const char* kSecondJunk[] = {"by",      "you",       "this", "the",       "these", "-",
                                       "all",     "copyright", "use",  "have",      "check", "only",
                                       "keep",    "for",       "in",   "alternate", "feel",  "no",
                                       "contact", "created",   "//",   ";",         "*"};
static_assert(std::size(kSecondJunk) == 23);

std::vector<Kiv::PString> Intern(std::span<const char* const> texts) {
    return std::vector<Kiv::PString>(texts.begin(), texts.end());
}

// Removes one tag of each name of the list, in the list's order.
void RemoveEach(const TDBTagRef& config, const std::vector<Kiv::PString>& words) {
    for (const Kiv::PString& word : words)
        TDBContainerTag::RemoveTag(config, word);
}

const std::vector<Kiv::PString>& FirstJunk() {
    static const std::vector<Kiv::PString> words = Intern(kFirstJunk);
    return words;
}

const std::vector<Kiv::PString>& SecondJunk() {
    static const std::vector<Kiv::PString> words = Intern(kSecondJunk);
    return words;
}

// An old author tag's text under its new name: always, or only where the new name is absent.
void Rename(TDBTagRef& config, Word from, Word to, bool overwrite) {
    if (!Has(config, from)) return;
    if (overwrite || !Has(config, to))
        TDBContainerTag::SetString(config, W(to), Text(config, from));
    Remove(config, from);
}

bool IsMalformed(std::string_view name) {
    if (name.find_first_of("\"'{}") != std::string_view::npos) return true;
    if (name.find_first_not_of('_') == std::string_view::npos) return true;
    return name.find_first_not_of("0123456789") == std::string_view::npos;
}

bool IsAssetPrefixed(std::string_view name) {
    constexpr std::string_view kPrefix = "asset-";
    if (name.size() <= kPrefix.size()) return name == kPrefix;
    return name.substr(0, kPrefix.size()) == kPrefix;
}

// Walks the top level from the last tag to the first (the count taken before the walk) and
// removes, by name, each tag the test picks.
template <typename Pick>
void RemoveBackwards(const TDBTagRef& config, Pick pick) {
    ChildWalk walk(config);
    for (uint32_t i = walk.Count(); i-- > 0;) {
        const Kiv::PString name = walk.NameAt(i);
        if (pick(name)) walk.RemoveFirst(name);
    }
    walk.Commit();
}

}  // namespace

bool IsKnownTopLevelTag(const Kiv::PString& name) {
    return DataManager::Instance().IsKnownTopLevelTag(name);
}

void RemoveJunkAndRenameAuthors(const TDBTagRef& config) {
    RemoveEach(config, FirstJunk());
    TDBTagRef tree = config;
    Rename(tree, Word::kAuteur, Word::kAuthor, true);
    Rename(tree, Word::kOrganization, Word::kOrganisation, false);
    Rename(tree, Word::kUserName, Word::kUsername, false);
    Rename(tree, Word::kName, Word::kUsername, false);
    Rename(tree, Word::kDescriptionColon, Word::kDescription, false);
}

void RemoveStrayDescriptionWords(const TDBTagRef& config) {
    ChildWalk walk(config);
    const uint32_t n = walk.Count();
    uint32_t i = 0;
    while (i < n && walk.NameAt(i) != W(Word::kDescription))
        ++i;
    if (i == n) return;
    std::vector<Kiv::PString> stray;
    for (++i; i < n; ++i) {
        const Kiv::PString& name = walk.NameAt(i);
        if (IsKnownTopLevelTag(name) || walk.IsContainerAt(i)) break;
        stray.push_back(name);
    }
    for (const Kiv::PString& name : stray)
        walk.RemoveFirst(name);
    walk.Commit();
}

void RemoveAssetPrefixedTags(const TDBTagRef& config) {
    Remove(config, Word::kAsset);
    RemoveBackwards(config, [](const Kiv::PString& name) {
        return !IsKnownTopLevelTag(name) && IsAssetPrefixed(name.view());
    });
}

void RemoveStrayAndMalformed(const TDBTagRef& config) {
    RemoveStrayDescriptionWords(config);
    RemoveAssetPrefixedTags(config);
    RemoveEach(config, SecondJunk());
    RemoveBackwards(config, [](const Kiv::PString& name) { return IsMalformed(name.view()); });
}

}  // namespace DUVLib::upgrade
