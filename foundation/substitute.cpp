#include "foundation/substitute.h"

#include <string>

void SubstituteVariable(Kiv::String& text, std::string_view name, std::string_view value) {
    std::string placeholder = "$(";
    placeholder += name;
    placeholder += ')';
    size_t at = text.FindIgnoreCase(placeholder);
    if (at == Kiv::String::npos) return;

    // Built in one pass over the original: a match can only start behind the value inserted
    // before it, so searching the original text is the same as searching the growing one.
    std::string out;
    size_t done = 0;
    while (at != Kiv::String::npos) {
        out.append(text.view().substr(done, at - done));
        out.append(value);
        done = at + placeholder.size();
        at = text.FindIgnoreCase(placeholder, done);
    }
    out.append(text.view().substr(done));
    text = Kiv::String(std::move(out));
}
