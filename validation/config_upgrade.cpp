#include "validation/config_upgrade.h"

#include <string>

#include "configdata/tdb_container_tag.h"
#include "platform/kiv/base/text.h"
#include "validation/data_manager.h"
#include "validation/upgrade_support.h"

using namespace DUVLib::upgrade;

namespace {

constexpr int kBuild29 = 290;
constexpr int kBuild35 = 350;

bool EqualsNoCase(const Kiv::PString& a, const Kiv::PString& b) {
    return Kiv::EqualsIgnoreCase(a.view(), b.view());
}

// Numbered category tags ("category-region-0", "-1", ...) into one list joined by ";". A missing
// tag 0 is passed over; any later gap ends the list, leaving the tags after it as they are.
template <typename Shape>
void MergeNumbered(TDBTagRef& config, const char* format, Word target, Shape shape) {
    const FirstChildIndex index(config);
    std::string merged;
    std::vector<TDBTagRef> taken;
    for (int i = 0;; ++i) {
        const TDBTagRef node = index.Find(Kiv::PString::Printf(format, i));
        const Kiv::PString text = NodeText(node);
        if (text.IsEmpty()) {
            if (i == 0) continue;
            break;
        }
        if (!merged.empty()) merged += ';';
        merged += shape(std::string(text.view()));
        taken.push_back(node);
    }
    if (taken.empty()) return;
    RemoveNodes(config, taken);
    TDBContainerTag::SetString(config, W(target), Kiv::PString(merged));
}

// Step 7: a colour needs three parts; what is left after two are taken must not be empty.
void CheckRgb(const TDBTagRef& config) {
    if (!Has(config, Word::kRgb)) return;
    std::string_view rest = Text(config, Word::kRgb).view();
    for (int part = 0; part < 2; ++part) {
        const size_t comma = rest.find(',');
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    if (rest.empty()) Remove(config, Word::kRgb);
}

// Step 15: a sound list of bare file names becomes one of numbered texts.
void RebuildSoundLists(const TDBTagRef& config) {
    const TDBTagRef soundscript = TDBContainerTag::GetContainer(config, W(Word::kSoundscript));
    const uint32_t entries = TDBContainerTag::CountChildren(soundscript);
    for (uint32_t i = 0; i < entries; ++i) {
        const TDBTagRef entry = TDBContainerTag::GetContainerAt(soundscript, i);
        if (!Has(entry, Word::kSound)) continue;
        const TDBTagRef sound = TDBContainerTag::GetContainer(entry, W(Word::kSound));
        if (!sound) continue;
        const TDBTagRef rebuilt = NewContainer();
        const uint32_t n = sound->GetChildCount();
        for (uint32_t j = 0; j < n; ++j) {
            Kiv::PString name;
            TDBTagRef child;
            sound->GetChildAt(j, name, child);
            const Kiv::PString text = NodeText(child);
            if (text.IsEmpty())
                AddText(rebuilt, Kiv::PString::Printf("%u", j), name);
            else
                AddText(rebuilt, name, text);
        }
        Put(entry, W(Word::kSound), rebuilt);
    }
}

// Step 17: an era, a class code that fits the kind, and a region, for whatever lacks them.
void CategoryDefaults(TDBTagRef& config, const Kiv::PString& kind) {
    if (Text(config, Word::kCategoryEra).IsEmpty())
        TDBContainerTag::SetString(config, W(Word::kCategoryEra), W(Word::k1800s));

    // Without the category-class table (no database client below) a code cannot be judged,
    // and is left as it is rather than replaced unseen.
    if (auto lookup = DUVLib::GetAssetFolderServices().categoryClass) {
        const Kiv::PString code = Text(config, Word::kCategoryClass);
        if (lookup(kind.c_str(), code.c_str()).IsEmpty())
            TDBContainerTag::SetString(config, W(Word::kCategoryClass), W(Word::kZX));
    }

    const Kiv::PString region = Text(config, Word::kCategoryRegion);
    bool worldwide = region.IsEmpty();
    for (const char* any : {"EU", "any region in the world", "World Trees", "ALL"})
        worldwide = worldwide || Kiv::EqualsIgnoreCase(region.view(), any);
    if (worldwide) TDBContainerTag::SetString(config, W(Word::kCategoryRegion), W(Word::kZeroZero));
}

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

std::string Plural(std::string text) {
    if (text.back() != 's') text += 's';
    return text;
}

}  // namespace

void UpgradeConfig(TDBTagRef& soup) {
    DUVLib::DataManager& manager = DUVLib::DataManager::Instance();
    // A tree with nothing loaded, or a value in place of a container, has nothing to upgrade.
    if (soup.IsEmpty() || soup.IsNullChunk() || soup->GetType() != kTagContainer) return;
    const int n = static_cast<int>(static_cast<double>(manager.GetBuild()) * 100.0);
    if (n < kBuild29) {
        UpgradeConfigTo29(soup);
        TDBContainerTag::SetFloat(soup, W(Word::kHalvexBuild), 2.9f);
    }
    if (n < kBuild35) {
        for (Word category : {Word::kCategoryRegion, Word::kCategoryEra})
            if (Has(soup, category) && Text(soup, category).IsEmpty()) Remove(soup, category);
    }
}

void UpgradeConfigTo29(TDBTagRef& config) {
    // 1: the user name from "name", else from the asset's file name.
    if (Text(config, Word::kUsername).IsEmpty()) {
        const Kiv::PString name = Text(config, Word::kName);
        const Kiv::PString file = Text(config, Word::kAssetFilename);
        if (!name.IsEmpty()) {
            TDBContainerTag::SetString(config, W(Word::kUsername), name);
            Remove(config, Word::kName);
        } else if (!file.IsEmpty()) {
            TDBContainerTag::SetString(config, W(Word::kUsername), file);
        }
    }
    // 2: a map's null region (the kind compared as written).
    if (Text(config, Word::kKind) == W(Word::kMap) &&
        GetKuid(config, W(Word::kRegion)) == KUID::kNull)
        Remove(config, Word::kRegion);
    // 3: what tools left behind.
    for (Word w : {Word::kThumbnail, Word::kDotCache, Word::kUnderFilename, Word::kUnderDir})
        Remove(config, w);
    // 4, 5: numbered regions and eras.
    MergeNumbered(config, "category-region-%d", Word::kCategoryRegion, Upper);
    MergeNumbered(config, "category-era-%d", Word::kCategoryEra, Plural);
    // 6, 7.
    if (Text(config, Word::kLicense).IsEmpty()) Remove(config, Word::kLicense);
    CheckRgb(config);
    // 8: the old names of the script and its class.
    if (Has(config, Word::kScriptlibrary)) {
        TDBContainerTag::SetString(config, W(Word::kScript), Text(config, Word::kScriptlibrary));
        Remove(config, Word::kScriptlibrary);
    }
    if (Has(config, Word::kClasslibrary)) {
        TDBContainerTag::SetString(config, W(Word::kClass), Text(config, Word::kClasslibrary));
        Remove(config, Word::kClasslibrary);
    }
    // 9: a script path without extension would get ".gs", but the old builds never kept it.
    // 10.
    const Kiv::PString af = Text(config, Word::kAssetFilename);
    Remove(config, Word::kAssetFilename);
    const Kiv::PString kind = Text(config, Word::kKind);
    // 11.
    RewriteByKind(config, kind, af);
    // 12.
    Remove(config, Word::kFontsize);
    Remove(config, Word::kFontcolor);
    // 13.
    if (Has(config, Word::kMeshTable)) {
        Remove(config, Word::kNight);
        NameEffects(config);
    }
    // 14.
    Remove(config, Word::kType);
    if (!EqualsNoCase(kind, W(Word::kMap))) Remove(config, Word::kRegion);
    // 15.
    RebuildSoundLists(config);
    // 16.
    if (EqualsNoCase(kind, W(Word::kMospeedboard)) ||
        (Has(config, Word::kTrackside) && !EqualsNoCase(kind, W(Word::kMosignal))))
        Remove(config, Word::kFunction);
    // 17, 18.
    CategoryDefaults(config, kind);
    MakeThumbnails(config);
    // 19: comment tags.
    for (Word w : {Word::kSemicolon, Word::kQuote, Word::kRem})
        Remove(config, w);
    // 20, 21.
    RemoveJunkAndRenameAuthors(config);
    RemoveStrayAndMalformed(config);
    // The old builds also cut the user name at its first line end without keeping the result;
    // the name is left as it is.
}
