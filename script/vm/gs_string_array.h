// Script strings and arrays: native objects that carry their own script instance (owner =
// the object itself, no class, one member word), so references to them count like any other.
// Both are made in the current context's registry (in none when no context is current).
// Sizes are capped so that no script value can ask for more memory than the machine will give
// one value, and the bytes of all strings and array elements together are held to one budget
// of 256 MiB: a refused size is the caller's ER_ArrayOutOfBounds or ER_StringOutOfBounds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/kiv/base/pstring.h"
#include "platform/kiv/base/text.h"
#include "script/vm/gs_object.h"

namespace GSRuntime {

class GSString final : public GSObjectReference {
public:
    static constexpr size_t kMaxLength = size_t{64} << 20;

    GSString() : GSString(std::string_view()) {}
    explicit GSString(std::string_view text);
    explicit GSString(const char* text) : GSString(std::string_view(text ? text : "")) {}
    explicit GSString(const Kiv::String& text) : GSString(std::string_view(text.str())) {}
    explicit GSString(const Kiv::PString& text) : GSString(text.view()) {}
    explicit GSString(const GSString& other) : GSString(std::string_view(other.text)) {}
    ~GSString() override;

    Ref GetInstance() const override { return instance_; }
    // A new string's reference (count 1); 0 when the memory cannot be had.
    static Ref Make(std::string_view text);
    // The string behind a reference that a verified program holds as a string.
    static GSString* From(Ref r) { return static_cast<GSString*>(GetOwner(r)); }

    // Replaces bytes [from, to) by `other` (null removes them): a negative `from` counts as 0,
    // a negative `to` or one beyond the length as the length; `to` below `from` is refused.
    bool Splice(int32_t from, int32_t to, const GSString* other);

    std::string text;

private:
    // Takes from the budget what a text of `length` bytes needs beyond what is charged.
    bool ChargeUpTo(size_t length);

    Ref instance_ = 0;
    size_t charged_ = 0;  // bytes taken from the budget, given back when the string goes
};

class GSArray final : public GSObjectReference {
public:
    static constexpr uint32_t kMaxElements = 1u << 24;

    GSArray(GSContext* context, uint8_t elementKind);
    ~GSArray() override;

    Ref GetInstance() const override { return instance_; }
    // A new empty array's reference (count 1); 0 when the memory cannot be had.
    static Ref Make(GSContext* context, uint8_t elementKind);
    static GSArray* From(Ref r) { return static_cast<GSArray*>(GetOwner(r)); }

    // n below 1 empties the array (its references released); n above the count grows it with
    // zero words; a smaller n keeps every element. False when the storage cannot be had.
    bool Resize(int32_t n);
    bool Splice(int32_t from, int32_t to, const GSArray* other);
    bool CopyRange(const GSArray* source, int32_t from, int32_t to);
    // Reference arrays only, clipped to the count.
    void ReleaseRange(uint32_t from, uint32_t to);
    void AddReferenceRange(uint32_t from, uint32_t to);

    uint32_t* elements = nullptr;
    uint32_t count = 0;
    uint8_t elementKind = 0;  // 1: script references

private:
    Ref instance_ = 0;
};

// Sets the budget of all script strings and array elements together and returns the one it
// replaces: tests reach it with small values.
size_t SetValueBudgetForTesting(size_t bytes);
// The bytes the budget has given out.
size_t ValueBytesInUse();

}  // namespace GSRuntime
