// Binary soup files on disk (".chump" and the other binary config files): read whole into a
// view, and written so that an existing file is replaced only by a complete new one.
#pragma once

#include <string_view>

#include "configdata/tdb_tag_ref.h"

// Opens the file and reads it (ReadTagTreeBinary): false when it cannot be opened or its header
// is refused; `out` is then empty.
bool ReadTagTreeBinaryFile(std::string_view path, TDBTagRef& out);

// Writes the tree to a temporary twin in the same folder, flushes it to the disk and renames it
// over `path` (WriteFileReplacing). False when any step failed; the file at `path` is then as
// it was and the twin is gone.
bool WriteTagTreeBinaryFile(const TDBTagRef& root, std::string_view path);
