// The texts of the content-service listings: a listing line's escaping (line breaks and
// backslashes, so that one value prints on one line), the SQL text's escaping (so that a value
// from an asset's configuration cannot end its quoted string), and a KUID list joined for a
// listing line.
#pragma once

#include <string>
#include <string_view>

#include "configdata/kuid_list.h"
#include "platform/kiv/base/text.h"

// Each carriage return or line feed becomes backslash and "n" (a CR LF or LF CR pair counts as
// one); each backslash is doubled. A null text gives an empty string.
Kiv::String EscapeListingText(const char* text);
Kiv::String EscapeListingText(std::string_view text);

// A backslash before each backslash, single quote and double quote.
Kiv::String EscapeSQLText(std::string_view text);
// The same, appended to `out` (the SQL writer builds whole files this way).
void AppendEscapedSQLText(std::string& out, std::string_view text);

// Each KUID as "<kuid:%d:%d>" or "<kuid2:%d:%d:%d>", joined by ", "; empty for an empty list.
Kiv::String JoinKUIDTexts(const KUIDBlockList& list);
