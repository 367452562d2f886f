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

// The codes an asset's "category-class" text stands for: an old single class code through the
// class table (when it has a row for the kind), else the text itself as a code list.
Kiv::String CategoryClassCodes(const char* kind, const char* categoryClass);

// Every code an asset carries: its kind's codes, then those of its category class not among
// them yet. What searches and the script kind test match against.
Kiv::String AssetCategoryCodes(const char* kind, const char* categoryClass);
