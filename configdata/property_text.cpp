#include "configdata/property_text.h"

#include <cstdlib>
#include <string>

#include "foundation/statics.h"

bool TextMeansTrue(const char* text) {
    if (text == nullptr) return false;
    // The words are interned once for the whole process, so a lower-cased text is matched by
    // identity.
    Kiv::PString lowered = Kiv::PString(text).ToLower();
    for (const Kiv::PString& word : BooleanTrueWords()) {
        if (lowered == word) return true;
    }
    return false;
}

Kiv::String FourCCTextBinding::ToText() const {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        char c = static_cast<char>((*field_ >> shift) & 0xFF);
        if (c == '\0') break;
        text += c;
    }
    return Kiv::String(std::move(text));
}

void FourCCTextBinding::SetFromText(const char* text) {
    if (text == nullptr) return;
    uint32_t code = 0;
    bool ended = false;
    for (int i = 0; i < 4; ++i) {
        if (!ended && text[i] == '\0') ended = true;
        code = (code << 8) | static_cast<uint8_t>(ended ? ' ' : text[i]);
    }
    *field_ = code;
}

Kiv::String IntTextBinding::ToText() const {
    return Kiv::String::Printf("%d", *field_);
}

void IntTextBinding::SetFromText(const char* text) {
    if (text == nullptr) {
        *field_ = 0;
        return;
    }
    long value = std::strtol(text, nullptr, 10);
    if (value > INT32_MAX) value = INT32_MAX;
    if (value < INT32_MIN) value = INT32_MIN;
    *field_ = static_cast<int32_t>(value);
}

Kiv::String FloatTextBinding::ToText() const {
    return Kiv::String::Printf("%g", static_cast<double>(*field_));
}

void FloatTextBinding::SetFromText(const char* text) {
    *field_ = text == nullptr ? 0.0f : static_cast<float>(std::atof(text));
}

Kiv::String BoolTextBinding::ToText() const {
    return Kiv::String(*field_ ? "true" : "false");
}

void BoolTextBinding::SetFromText(const char* text) {
    *field_ = TextMeansTrue(text) ? 1 : 0;
}

void FlagTextBinding::SetFromText(const char* text) {
    if (TextMeansTrue(text))
        *word_ |= mask_;
    else
        *word_ &= ~mask_;
}

Kiv::String NamedEntryTextBinding::ToText() const {
    NamedTextEntry entry{name_, Kiv::String(), false};
    target_->ExchangeNamedEntry(entry);
    return entry.value;
}

void NamedEntryTextBinding::SetFromText(const char* text) {
    NamedTextEntry entry{name_, Kiv::String(text), true};
    target_->ExchangeNamedEntry(entry);
}
