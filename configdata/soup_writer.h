// The writer of the binary soup: any ACSChunk tree (editable or a read view with its overlay)
// to the "ACS$" form, through its child count and indexed children.
#pragma once

#include "configdata/tdb_tag_ref.h"
#include "foundation/tstream.h"

// Writes the header and the root's children at the stream's position (an empty reference
// gives the 16-byte header of an empty soup). Children with no name, or a name of more than
// 254 bytes, are left out and their siblings written. False, with nothing written, when the
// tree nests deeper than kMaxTagTreeDepth or the body would exceed the largest size a reader
// accepts; false too when the stream did not take every byte.
bool WriteTagTreeBinary(const TDBTagRef& root, TStream& stream);
