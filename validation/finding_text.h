// Finding texts: a message key ("$duv_container_missingtag") is looked up in the interface text
// and the localised text is filled with the names concerned. The localised texts are data a
// user can edit, so they are never handed to printf as they are: each conversion takes the next
// argument only when that argument is of its kind (text for "%s", a whole number for "%d", "%i",
// "%u", "%x", "%X", "%o", "%c", a real number for "%g", "%f", "%e" and their capitals); any
// other conversion, or one with no argument of its kind
// left, stays in the text as written, and "%n" is never honoured.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

struct FindingArg {
    FindingArg(std::string_view text) : isText(true), text(text) {}            // NOLINT
    FindingArg(const char* text) : isText(true), text(text ? text : "") {}     // NOLINT
    FindingArg(const Kiv::PString& text) : isText(true), text(text.view()) {}  // NOLINT
    FindingArg(const std::string& text) : isText(true), text(text) {}          // NOLINT
    FindingArg(int value) : isText(false), number(value) {}                    // NOLINT
    FindingArg(double value) : isText(false), isReal(true), real(value) {}     // NOLINT

    bool isText;
    bool isReal = false;
    std::string_view text;
    int64_t number = 0;
    double real = 0.0;
};

// The format filled as described above.
Kiv::String FormatFinding(std::string_view format, std::initializer_list<FindingArg> args);

// The localised text of the key (the key itself when the interface text lacks it), interned.
Kiv::PString LocalisedText(const char* key);
// The localised text of the key, filled with the arguments, interned.
Kiv::PString FindingText(const char* key, std::initializer_list<FindingArg> args);
