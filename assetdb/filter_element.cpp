#include "assetdb/filter_element.h"

#include "foundation/tstream.h"

bool WEXFilterElement::Equals(const WEXFilterElement& other) const {
    return KeywordName() == other.KeywordName() && ValueText() == other.ValueText();
}

bool WEXFilterElementsEqual(const WEXFilterElement& a, const WEXFilterElement& b) {
    return a.Equals(b) && b.Equals(a);
}

bool WEXFilterWriteElement(TStream& stream, const WEXFilterElement* element) {
    if (element == nullptr) {
        stream.WriteU32(0u);
        return false;
    }
    if (stream.WriteU32(element->TypeCode()) != 4) return false;
    return element->Write(stream);
}

Kiv::PString WEXFilterValueText(std::string_view text) {
    return text.empty() ? Kiv::PString() : Kiv::PString(text);
}
