// Turning the name an asset's configuration gives into the name shown for it: surrounding
// blanks and one pair of quotes (ASCII, Windows-1252 typographic or UTF-8 typographic) go, and
// a name left empty becomes the interface text for "untitled".
#pragma once

#include "configdata/tdb_tag_ref.h"
#include "platform/kiv/base/text.h"

// The interface text of "$cm_general_untitled", looked up once, under the main-thread lock,
// and kept for the rest of the process.
Kiv::String UntitledAssetName();

// The name shown for an asset: the first non-empty of its "username", "name" and
// "asset-filename" texts; for a configuration of a build below 2.9 (or none) with every "_" as
// a space; then cleaned by CleanAssetName.
Kiv::String AssetDisplayName(const TDBTagRef& config);

// Trims spaces, tabs, CRs and LFs at both ends, then one opening quote at the start and one
// closing quote at the end; an empty result becomes UntitledAssetName().
Kiv::String CleanAssetName(const Kiv::String& text);

// Every "_" as a space.
Kiv::String UnderscoresToSpaces(const Kiv::String& text);

// The length of a quote character at `at`: 0, 1 or 3. A positive count reads forward from the
// first byte of `count` bytes; a negative count reads backward from the last byte of -count
// bytes. ASCII quotes count anywhere; Windows-1252 quotes (145-148) only when the next byte in
// the direction of reading exists and is below 128 (so that a UTF-8 continuation byte is not
// taken for one); UTF-8 opening quotes only forward and closing quotes only backward.
int QuoteLengthAt(const char* at, int count);
