// The listing soup written as SQL text for the content service's tables, one batch at a time,
// into the listing output folder F:
//
//   F/kuids.txt                          every listed KUID text, one a line; appended to
//   F/SQL_Asset_<batch>.txt              one UPDATE of the asset's row per entry
//   F/SQL_AssetChild_<batch>.txt         the previous version of each versioned asset
//   F/SQL_AssetDependencies_<batch>.txt  its dependencies
//   F/SQL_AssetCategories_<batch>.txt    its category element ids
//   F/SQL_AssetCategoryElements_<batch>.txt  its category codes
//
// The four row files open with their INSERT line, also when no row follows; each row ends with
// ", \r\n", the last one too. Every text from a configuration is escaped for SQL. The SQL files
// are rewritten (each through a twin, so a failed batch keeps what was there); "kuids.txt"
// grows across batches and runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/text.h"

class ResultsLog;

// The process-wide listing output folder; the folder listing command sets it.
void SetListingOutputFolder(std::string_view folder);
Kiv::String GetListingOutputFolder();

// The six files' texts of one batch (entries "0", "1", ... up to the first missing number).
struct ListingSQLTexts {
    std::string kuids;
    std::string asset;
    std::string child;
    std::string dependencies;
    std::string categories;
    std::string categoryElements;
};
// `afterEntry`, when given, runs after each entry (the writer hands the texts on there); false
// from it stops the formatting.
void FormatListingSQL(const TDBTagRef& soup, ListingSQLTexts& out,
                      const std::function<bool(ListingSQLTexts&)>& afterEntry = {});

// Writes one batch into the listing output folder. False when a file cannot be opened or
// written: then the engine log has the three-line notice, `log` (when given) an error naming
// the folder, and no SQL file was changed.
bool WriteListingSQL(const TDBTagRef& soup, int batch, ResultsLog* log = nullptr);
