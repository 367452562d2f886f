// Text bindings: a text form bound to one field of some other record (an integer, a float, a
// four-character code, a bool, a bit of a flag word, or a named entry of another object), so
// such records can be set from text and shown as text without knowing their layout.
//
// A binding holds a pointer to its field and never owns it; the field must outlive the
// binding. An absent text (null) sets the binding's own default, as each class says.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"

class TextBinding {
public:
    TextBinding() = default;
    TextBinding(const TextBinding&) = delete;
    TextBinding& operator=(const TextBinding&) = delete;
    virtual ~TextBinding() = default;

    virtual Kiv::String ToText() const = 0;
    virtual void SetFromText(const char* text) = 0;
};

// True when the text, lower-cased, is one of the words "true", "1" or "t"; false for
// anything else and for an absent text.
bool TextMeansTrue(const char* text);

// A four-character code: the four bytes of a word, most significant first. Text shorter than
// four characters is padded with blanks, longer text is cut to four; an absent text leaves
// the code unchanged.
class FourCCTextBinding : public TextBinding {
public:
    explicit FourCCTextBinding(uint32_t* field) : field_(field) {}
    // A zero byte ends the text, as it would a C string.
    Kiv::String ToText() const override;
    void SetFromText(const char* text) override;

private:
    uint32_t* field_;
};

// A signed 32-bit integer in decimal; text that does not start with a number, and an absent
// text, give 0, and values beyond the 32-bit range are held at its ends.
class IntTextBinding : public TextBinding {
public:
    explicit IntTextBinding(int32_t* field) : field_(field) {}
    Kiv::String ToText() const override;
    void SetFromText(const char* text) override;

private:
    int32_t* field_;
};

// A 32-bit float, shown with "%g"; an absent text gives 0.0.
class FloatTextBinding : public TextBinding {
public:
    explicit FloatTextBinding(float* field) : field_(field) {}
    Kiv::String ToText() const override;
    void SetFromText(const char* text) override;

private:
    float* field_;
};

// A one-byte bool shown as "true" or "false"; set to 1 by the true words, else 0.
class BoolTextBinding : public TextBinding {
public:
    explicit BoolTextBinding(uint8_t* field) : field_(field) {}
    Kiv::String ToText() const override;
    void SetFromText(const char* text) override;

private:
    uint8_t* field_;
};

// Bits of a flag word: the true words set every bit of the mask, anything else clears them.
// It is an input-only binding; its text is empty.
class FlagTextBinding : public TextBinding {
public:
    FlagTextBinding(uint32_t* word, uint32_t mask) : word_(word), mask_(mask) {}
    Kiv::String ToText() const override { return Kiv::String(); }
    void SetFromText(const char* text) override;

private:
    uint32_t* word_;
    uint32_t mask_;
};

// One named entry passed between a binding and the object that keeps the values.
struct NamedTextEntry {
    Kiv::PString name;
    Kiv::String value;
    // True when the object is to store the value; false when it is asked to fill it in.
    bool store = false;
};

// An object whose values are reached by name.
class NamedTextTarget {
public:
    virtual ~NamedTextTarget() = default;
    // Stores entry.value under entry.name when entry.store is set; otherwise puts the value
    // held under that name into entry.value (left empty when there is none).
    virtual void ExchangeNamedEntry(NamedTextEntry& entry) = 0;
};

// A named entry of another object. The direction travels with the entry, so setting an
// entry to the empty text stores it rather than being taken for a question.
class NamedEntryTextBinding : public TextBinding {
public:
    NamedEntryTextBinding(Kiv::PString name, NamedTextTarget* target)
        : name_(std::move(name)), target_(target) {}
    Kiv::String ToText() const override;
    // An absent text stores the empty text.
    void SetFromText(const char* text) override;

private:
    Kiv::PString name_;
    NamedTextTarget* target_;
};
