// Category lists and category expressions. Assets carry short category codes (TR, LOC, ELEC)
// joined into lists with ";". An expression tests such a list: alternatives separated by "|",
// each an AND of codes separated by ";", a code negated by a leading "-" (again by a second
// one). Codes compare byte for byte, letter case included. A null text is a missing one,
// which is not the same as an empty one.
#pragma once

#include "platform/kiv/base/text.h"

// True when the list holds the token (up to its first ";", "|" or end) as a whole entry; a
// token with leading "-"s gives the negated test. The list ends at its first "|".
bool CategoryListContains(const char* list, const char* token);

// True when the list satisfies the expression. A missing expression holds; otherwise a missing
// list fails; an empty expression, or an alternative without tokens, holds.
bool MatchCategoryList(const char* list, const char* expression);

// The token at the text: the characters up to the first ";", "|" or end.
Kiv::String NextCategoryToken(const char* text);

// Appends the token (up to its first ";", "|" or end) to a ";"-list; a token that is empty or
// begins with ";" or "|" is not appended.
void AppendCategoryToken(Kiv::String& out, const char* token);

// out = base, then once each every category of the ";"-list `categories`, prefixed with "#"
// and not in the list yet. A "|" in `categories` separates like ";".
void BuildCategoryFilterText(Kiv::String& out, const char* base, const char* categories);
