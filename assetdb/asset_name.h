// Turning the name an asset's configuration gives into the name shown for it: surrounding
// blanks and one pair of quotes (ASCII, Windows-1252 typographic or UTF-8 typographic) go, and
// a name left empty becomes the interface text for "untitled".
#pragma once

#include "platform/kiv/base/text.h"

// The interface text of a message key ("$..."). Interface texts are another piece of the
// config layer; until start-up installs their lookup here, a key yields itself, just as a key
// without a translation does.
using AssetNameTextLookup = Kiv::String (*)(const char* key);
void SetAssetNameTextLookup(AssetNameTextLookup lookup);

// The interface text of "$cm_general_untitled".
Kiv::String UntitledAssetName();

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
