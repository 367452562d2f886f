// Turning what an asset is into the filter codes of category lists, through the vocabulary
// tables: its kind and sub-kinds (asset lists of the script world), or an old category-class
// code (the config upgrader).
#pragma once

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

// The codes of the first category-class row whose kind fits (either kind empty, or equal
// ignoring case) and whose class code equals `classCode` ignoring case; empty when none does.
// A null kind counts as empty.
Kiv::String ParseCategoryClass(const char* kind, const char* classCode);

// The codes of the first kind row whose kind is this interned kind and whose sub-kind
// expression is empty or holds for the asset's sub-kind list; empty when none does. A null
// sub-kind list is missing, so only rows without a sub-kind expression can match it.
Kiv::String KindToFilterCodes(const Kiv::PString& kind, const Kiv::PString& subKinds);
