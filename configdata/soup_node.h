// Making nodes of the read view from the chunks of a loaded binary soup, and finding which
// chunk of which file a view node stands for.
#pragma once

#include <cstdint>

#include "configdata/soup_format.h"
#include "configdata/tdb_binary_file.h"

// Where a view node sits in its file: its chunk's position (TDBSoupOverlay::kRootChunk for
// the root view) and the key of the run holding that chunk.
struct SoupNodeLocation {
    uint32_t chunk;
    uint32_t runKey;
};

// A new node for a chunk of the run `runKey`, by its type byte:
//   0            a container view over the chunk's data;
//   1, 2, 13, 4  int, float, KUID and raw values over the loaded bytes (numbers whose start is
//                not 4-byte aligned are copied to an aligned block first);
//   12           raw bytes whose start moves up to the next 16-byte boundary (none when the
//                data is shorter than the move);
//   3            text: in a version-0 file converted from the local code page to UTF-8; given
//                a NUL when its last byte is not one;
//   other        an empty value (type 0).
TDBTagRef MakeSoupNode(const CountedRef<TDBBinaryFile>& file, const SoupChunk& chunk,
                       uint32_t runKey);

// The node for the chunk at a known position of the body (or the root view for kRootChunk).
TDBTagRef MakeSoupNodeAt(const CountedRef<TDBBinaryFile>& file, uint32_t chunk, uint32_t runKey);

// The body block and location of a view node (a TDBBinarySoup or a TDBDataChunk); null for any
// other node. The block stands for the file: a node holds it, so no other file can have it.
const TDBSoupBody* FindSoupNodeLocation(const ACSChunk* node, SoupNodeLocation& location);
