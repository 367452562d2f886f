// The older form of the index file "assets.wbi": every asset record and the daemon's counters
// in one binary soup, rewritten whole after every change. The index is now an SQLite database
// (index_database.h); an index of this form is read once at start-up and converted, and the
// writer stays for making such files in tests.
//
//   "format"           int 1
//   "next-content-id"  int: the next content id handed out for a new KUID
//   "next-handle"      int[2]: the next editing handle, low word first
//   "assets"           container of "asset" containers, each:
//       "kuid" KUID, "name" text, "status" int[4] (groups A to D), "favorite" int,
//       "keywords" text, "installed" int (1 when its folder is in local/), "editing" int (1
//       while open for edit), "validation" int, "config-stamp", "installed-at",
//       "modified-at" int[2] (low word first);
//       and what it caches from the config: "cache" int (the cache version that read it),
//       "title", "kind", "category-class", "category-region", "category-era" text, "build"
//       float, "config" int (bits: 1 read, 2 faulty, 4 names a script), "dependencies" and
//       "obsoletes" KUID (8 bytes each, several in one tag)
//
// Missing optional tags take their defaults; an asset entry without a usable "kuid" is
// dropped (its folder, when there is one, is adopted again at start-up). An entry without a
// current "cache" has its config read again at start-up, so tags added here later reach
// every record.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "configdata/tdb_tag_ref.h"
#include "services/wexdaemon/asset_record.h"

namespace wexd {

constexpr int32_t kIndexFormat = 1;

struct IndexCounters {
    int32_t nextContentId = 1;
    uint64_t nextHandle = 1;
    bool operator==(const IndexCounters&) const = default;
};

struct IndexContents {
    std::map<KUID, AssetRecord> records;
    IndexCounters counters;
};

TDBTagRef IndexToSoup(const IndexContents& index);
// False (with a reason) when the soup is not an index of this format; entries that cannot be
// used are skipped and counted in *skipped.
bool IndexFromSoup(const TDBTagRef& root, IndexContents& out, std::string& why,
                   size_t* skipped = nullptr);

enum class IndexLoad { kLoaded, kMissing, kCorrupt };
IndexLoad LoadSoupIndexFile(const std::string& path, IndexContents& out, std::string& why,
                            size_t* skipped = nullptr);

}  // namespace wexd
