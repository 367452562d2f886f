// Named values in message texts: a placeholder "$(" name ")" stands for the value of that name,
// whatever the letter case of the name in the text.
#pragma once

#include <string_view>

#include "platform/kiv/base/text.h"

// Replaces every placeholder "$(" name ")" in the text, the name matched ignoring letter case,
// by the value. The search resumes behind each inserted value, so a value that itself holds the
// placeholder is inserted as it is, never expanded again.
void SubstituteVariable(Kiv::String& text, std::string_view name, std::string_view value);
