// Packing the files of an asset for an archive: a folder on disk, or a "files" tree of raw
// bytes, becomes a "files" tree whose every file is in the stored LZSS form (cdp_file_data.h),
// the form of an asset entry whose "compression" is "LZSS".
#pragma once

#include <string_view>

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/pstring.h"

// The folder's files and sub-folders, in name order. Symbolic links are left out (they could
// lead anywhere); so are entries other than files and folders. An error text, `files` then
// empty, when a folder cannot be listed, a file cannot be read or is too large to pack, a name
// is longer than an archive stores, or folders nest deeper than kMaxFolderDepth.
Kiv::PString CdpPackFolder(std::string_view folder, TDBTagRef& files);

// A new tree like `raw` with each raw value (type 2) packed; folders are copied, other values
// shared. An error text, `packed` then empty, when a file is too large to pack or the tree
// nests deeper than kMaxTagTreeDepth.
Kiv::PString CdpPackFiles(const TDBTagRef& raw, TDBTagRef& packed);
