#include "foundation/string_helpers.h"

#include <string>
#include <string_view>

void PStringRelease(Kiv::PString& handle) {
    handle = Kiv::PString();
}

Kiv::PString PStringConcat(const Kiv::PString& a, const Kiv::PString& b) {
    std::string joined(a.view());
    joined += b.view();
    return Kiv::PString(std::string_view(joined));
}

Kiv::PString PStringConcatText(const Kiv::PString& a, const char* text) {
    std::string joined(a.view());
    if (text != nullptr) joined += text;
    return Kiv::PString(std::string_view(joined));
}

Kiv::PString PStringTruncate(const Kiv::PString& s, size_t length) {
    if (s.IsNull() || length >= s.Length()) return s;
    return Kiv::PString(s.view().substr(0, length));
}

bool PStringEqualsNoCase(const Kiv::PString& s, const char* text) {
    return Kiv::EqualsIgnoreCase(s.view(), text == nullptr ? std::string_view() : text);
}

Kiv::AnsiString AnsiStringConcat(const Kiv::AnsiString& a, const Kiv::AnsiString& b) {
    return Kiv::AnsiString(a.str() + b.str());
}
