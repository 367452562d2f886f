// The listing soup: one entry per listed asset, numbered "0", "1", ... in listing order, each
// holding what the content service's tables need of it:
//
//   "kuid"     KUID        the asset
//   "asset"    container   "assettypeid" int, "title" text (its name), "description" text,
//                          "downloadpath" text ("kuid2_%d_%d_%d.cdp", "kuid_%d_%d.cdp" for
//                          version 0), "filesize" int (the installed folder's size),
//                          "productversion" float (its build), "kuid" text ("%d:%d:%d", or
//                          "%d:%d" for version 0)
//   "deps"     container   "0", "1", ...: each dependency's KUID text as "kuid" above
//   "cats"     container   "0", "1", ...: category element ids of its "category-class" tokens,
//                          then of its region and era tokens (those the service knows)
//   "cat_els"  container   "0", "1", ...: the tokens of its category codes
#pragma once

#include <string>

#include "configdata/kuid.h"
#include "configdata/kuid_list.h"
#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/text.h"

struct WEXAssetInfo;

// "%d:%d:%d" (user, content, version) when the version is above 0, else "%d:%d".
std::string ListingKUIDText(const KUID& asset);
// The archive name the service downloads: "kuid2_%d_%d_%d.cdp", or "kuid_%d_%d.cdp" for
// version 0.
std::string ListingDownloadPath(const KUID& asset);

// What a listing entry is made of, gathered from the daemon or given by a test.
struct ListingFacts {
    TDBTagRef config;  // the asset's configuration ("category-class" is read)
    Kiv::String description;
    KUIDBlockList dependencies;
};

// Fills `entry` (made a container when empty) from the asset's record and the facts.
void FillListingRecord(const KUID& asset, const WEXAssetInfo& info, const ListingFacts& facts,
                       TDBTagRef& entry);

// Fills `entry` asking the daemon for the asset's configuration, description and dependency
// list.
void BuildListingRecord(const KUID& asset, const WEXAssetInfo& info, TDBTagRef& entry);
