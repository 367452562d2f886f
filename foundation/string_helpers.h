// Helpers over the engine's interned strings and owned text: release a handle, join, cut and
// compare without regard to letter case. A null handle counts as the empty text wherever a
// text is read, so none of them fails on one.
#pragma once

#include <cstddef>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

// Drops the handle's reference; the handle becomes null.
void PStringRelease(Kiv::PString& handle);
// A new interned string: a + b.
Kiv::PString PStringConcat(const Kiv::PString& a, const Kiv::PString& b);
// A new interned string: a + text (a null text adds nothing).
Kiv::PString PStringConcatText(const Kiv::PString& a, const char* text);
// The string cut to its first `length` bytes; the same string when it is not longer. A null
// handle stays null.
Kiv::PString PStringTruncate(const Kiv::PString& s, size_t length);
// Whether the string equals the text, ignoring ASCII letter case; null handles and null
// texts count as empty.
bool PStringEqualsNoCase(const Kiv::PString& s, const char* text);
// A new text: a + b.
Kiv::AnsiString AnsiStringConcat(const Kiv::AnsiString& a, const Kiv::AnsiString& b);
