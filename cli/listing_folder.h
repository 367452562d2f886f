// The walk of vdxparsefolder: a folder tree of asset folders, each listed once (from its
// "config.chump", else its "config.txt"; a folder with neither is walked into), the listing
// records gathered in a soup and written as SQL text in batches: a batch is written once it
// holds more than 1000 records, before the next entry is looked at, and what is left at the
// end. Names beginning with "." and symbolic links are never followed.
#pragma once

#include <functional>
#include <string>

#include "configdata/tdb_tag_ref.h"

class ResultsLog;

struct FolderListing {
    TDBTagRef soup;
    uint32_t counter = 0;  // records in the soup
    int batch = 0;         // the next batch's number
    bool failed = false;   // an asset or a batch failed
};

// Lists one asset from its config file: adds its record (if any) to the soup as entry
// "<counter>" and counts it.
using ListOneAsset = std::function<void(const std::string& configPath, FolderListing& run)>;

// Walks the folder. False when the listing output cannot be written.
void ListFolderAssets(const std::string& folder, FolderListing& run, const ListOneAsset& one,
                      ResultsLog& log);
// The last batch, when records wait.
void FinishFolderListing(FolderListing& run, ResultsLog& log);

// The listing output folder: "Halvex Asset Parse" in the data root.
std::string ListingOutputFolder();
