// The fixed vocabulary of assets: which filter codes (the short category codes of category
// lists) an asset's kind and sub-kinds stand for, which codes an old category-class code
// stands for, and the tag names and interface-text keys the asset helpers read. Each table
// ends with a sentinel row whose text columns are empty; lookups stop there. The tables are
// built once, before the program's entry, and never change.
#pragma once

#include <cstddef>
#include <span>

#include "platform/kiv/base/pstring.h"

// Kind (and sub-kinds) to filter codes. The first matching row wins, so the order matters.
struct KindFilterRow {
    Kiv::PString kind;
    // A category expression over the asset's sub-kind list; empty matches any.
    Kiv::PString subKinds;
    const char* codes;
};

// Category class to filter codes. The first row whose kind fits and whose class code is the
// one asked for wins.
struct CategoryClassRow {
    const char* kind;  // empty: any kind
    const char* classCode;
    const char* codes;
};

// The rows, sentinel included.
std::span<const KindFilterRow> KindFilterTable();
std::span<const CategoryClassRow> CategoryClassTable();

// The asset tag names and interface-text keys, in table order.
enum AssetTagIndex : size_t {
    kTagUsername,
    kTagUsernameAgain,
    kTagDescription,
    kTagDescriptionAgain,
    kTagKind,
    kTagRegion,
    kTagKuid,
    kTagKuidTable,
    kTagOptionalKuidTable,
    kTagEmpty1,
    kTagEmpty2,
    kTagEmpty3,
    kTagEmpty4,
    kTagEmpty5,
    kTagObsoleteTable,
    kTagName,
    kTagNameAgain,
    kTagStringTable,
    kTagStringTableAgain,
    kTagCategoryRegion,
    kTagAssetFilename,
    kTagHalvexBuild,
    kTagData,
    kKeyMainLanguage,
    kKeyMiscNoname,
    kKeyMiscCustom,
    kKeyMiscDefault,
    kKeyMainDescriptionLanguage,
    kKeyNwmpNameDefault,
    kKeyNwmpProfileDefault,
    kKeyMainDefunctNameLanguage,
    kKeyMainStringtableLanguage,
    kAssetTagCount
};

std::span<const Kiv::PString> AssetTagTable();
const Kiv::PString& AssetTag(AssetTagIndex which);
